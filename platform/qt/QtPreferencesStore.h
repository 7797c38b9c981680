#pragma once
// The preferences store on QSettings: an INI file, by default
// $XDG_CONFIG_HOME/corvane/corvane.conf (~/.config when the variable is unset).
//
// INI keeps no types, so every value is read back from its text, in this process exactly as
// after a restart:
//   - exactly "true" or "false" is a boolean; any other text ("yes", "1", "TRUE") is not one;
//   - a text that parses completely as a finite decimal number ("2", "-0.5", "1e3") is a number;
//   - any other text is a string; a list or other structured value is an OtherValue.
// So a string stored as "true" or "42" reads back as a boolean or a number; Corvane stores no
// such string (its strings are hotkey mode names).
//
// A path that is not a regular file (a FIFO, a device, a socket, a directory) is never opened,
// read or written: it means defaults, with one log line, checked again at every read and write.
// A file that cannot be read or parsed means defaults: every key reads as absent, and the file
// is never written, so a hand-edited file the user may want to repair is not overwritten.
// Changes made in such a session are kept in memory until Corvane quits. Each successful write
// is flushed to disk at once.

#include "platform/Preferences.h"

#include <QString>
#include <QVariant>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

class QSettings;

namespace corvane {

class SystemLog;

// A value as QSettings stores it: strings as strings, Bools as Bools, numbers as doubles, and
// an OtherValue as its description.
QVariant toQVariant(const PropertyValue& value);

// Whether a settings format keeps each value's type (the native format on macOS: a Bool, a
// number, and a string whatever its text) or only text (INI: read back by the rules above).
enum class StoredTypes { kept, textOnly };

// A value as QSettings hands it back: absent when invalid; a Bool, a number (as a double) or a
// string by `types`; a list or any other type an OtherValue (the list's items joined with
// ", ", else the type's name).
PropertyValue fromQVariant(const QVariant& variant, StoredTypes types);

class QtPreferencesStore : public PreferencesStore {
  public:
    QtPreferencesStore(const QString& filePath, SystemLog& log);
    ~QtPreferencesStore() override;

    static QString defaultFilePath();

    PropertyValue objectForKey(const std::string& key) const override;
    void setObject(const std::string& key, const PropertyValue& value) override;

    // False when the file was unreadable or corrupt and the store runs on defaults.
    bool isBackedByFile() const { return settings_ != nullptr; }

    // What stat tells of the file's identity and last change; all zero when there is none.
    struct FileStamp {
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, modifiedSeconds = 0, modifiedNanoseconds = 0, changedSeconds = 0,
                     changedNanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
    };

  private:
    // False, with one log line per store, while the path is something other than a regular file.
    // Stamps the file as found.
    bool isUsableFile() const;
    void logOnce(const std::string& line);

    QString filePath_;
    SystemLog& log_;
    std::unique_ptr<QSettings> settings_;
    std::map<std::string, PropertyValue> unsaved_; // used only when the file is not usable
    bool hasLoggedWriteFailure_ = false;
    mutable bool hasLoggedNotAFile_ = false;
    mutable FileStamp stamp_;                      // as isUsableFile last found the file
    mutable std::optional<FileStamp> syncedStamp_; // as it was at the last sync
};

} // namespace corvane
