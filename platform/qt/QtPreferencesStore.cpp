#include "platform/qt/QtPreferencesStore.h"

#include "platform/SystemLog.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <sys/stat.h>

namespace corvane {

namespace {

std::string toStd(const QString& text) {
    return text.toStdString();
}

// Only a regular file (or none yet) is ever opened: opening a FIFO blocks until some writer
// comes, and a device, socket or directory holds no preferences. Asked before every read and
// write, since the path can change kind while Corvane runs. stat() follows a symbolic link to
// what it names.
bool isRegularOrAbsent(const QString& path, QtPreferencesStore::FileStamp& stamp) {
    struct stat info = {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0) {
        stamp = {};
        return errno == ENOENT || errno == ENOTDIR;
    }
    stamp = {info.st_dev,          info.st_ino,         info.st_size,        info.st_mtim.tv_sec,
             info.st_mtim.tv_nsec, info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
    return S_ISREG(info.st_mode);
}

// A file the parser would silently half-read: NUL bytes or text that is not UTF-8 are signs
// of a damaged file rather than of preferences.
bool looksDamaged(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray bytes = file.readAll();
    if (bytes.contains('\0'))
        return true;
    const QString decoded = QString::fromUtf8(bytes);
    return decoded.toUtf8() != bytes;
}

// How a text stored without its type reads back (see QtPreferencesStore.h).
PropertyValue valueFromText(const QString& text) {
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    const std::string bytes = toStd(text);
    double number = 0;
    const char* end = bytes.data() + bytes.size();
    auto [stop, error] = std::from_chars(bytes.data(), end, number);
    if (!bytes.empty() && error == std::errc{} && stop == end && std::isfinite(number))
        return number;
    return bytes;
}

} // namespace

QVariant toQVariant(const PropertyValue& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return QString::fromStdString(*text);
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag;
    if (const auto* number = std::get_if<double>(&value))
        return *number;
    if (const auto* other = std::get_if<OtherValue>(&value))
        return QString::fromStdString(other->description);
    return {};
}

PropertyValue fromQVariant(const QVariant& variant, StoredTypes types) {
    if (!variant.isValid())
        return std::monostate{};
    const int type = variant.typeId();
    if (type == QMetaType::QStringList) // as INI reads an unquoted value with commas
        return OtherValue{toStd(variant.toStringList().join(QStringLiteral(", ")))};
    const bool isNumber = type == QMetaType::Double || type == QMetaType::Float ||
                          type == QMetaType::Int || type == QMetaType::UInt ||
                          type == QMetaType::LongLong || type == QMetaType::ULongLong;
    if (!isNumber && type != QMetaType::Bool && type != QMetaType::QString)
        return OtherValue{variant.typeName()};
    if (types == StoredTypes::textOnly)
        return valueFromText(variant.toString());
    if (type == QMetaType::Bool)
        return variant.toBool();
    if (isNumber)
        return variant.toDouble();
    return toStd(variant.toString());
}

QtPreferencesStore::QtPreferencesStore(const QString& filePath, SystemLog& log)
    : filePath_(filePath), log_(log) {
    if (!isUsableFile())
        return;
    if (looksDamaged(filePath_)) {
        log_.log("Corvane: preferences file " + toStd(filePath_) +
                 " is unreadable or damaged; using defaults and leaving it untouched");
        return;
    }
    auto settings = std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
    if (settings->status() != QSettings::NoError) {
        log_.log("Corvane: preferences file " + toStd(filePath_) +
                 " could not be read; using defaults and leaving it untouched");
        return;
    }
    settings_ = std::move(settings);
}

QtPreferencesStore::~QtPreferencesStore() = default;

QString QtPreferencesStore::defaultFilePath() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/corvane/corvane.conf");
}

bool QtPreferencesStore::isUsableFile() const {
    if (isRegularOrAbsent(filePath_, stamp_))
        return true;
    if (!hasLoggedNotAFile_) {
        hasLoggedNotAFile_ = true;
        log_.log("Corvane: preferences file " + toStd(filePath_) +
                 " is not a regular file; using defaults and leaving it untouched");
    }
    return false;
}

PropertyValue QtPreferencesStore::objectForKey(const std::string& key) const {
    if (!settings_ || !isUsableFile()) {
        auto found = unsaved_.find(key);
        return found == unsaved_.end() ? PropertyValue{} : found->second;
    }
    // QSettings answers from its cache until synced; sync() re-reads the file when it changed
    // on disk, so a preference edited outside Corvane applies at the next read. It takes a lock
    // file to do so, which costs more than the rest of a key press: only a file whose stamp
    // moved since the last sync is synced again.
    if (!syncedStamp_ || *syncedStamp_ != stamp_) {
        settings_->sync();
        syncedStamp_ = stamp_;
    }
    // A value this session wrote is still typed in QSettings' cache: read through its text, so
    // that this session answers as the next one will.
    return fromQVariant(settings_->value(QString::fromStdString(key)), StoredTypes::textOnly);
}

void QtPreferencesStore::setObject(const std::string& key, const PropertyValue& value) {
    if (!settings_ || !isUsableFile()) {
        if (isAbsent(value))
            unsaved_.erase(key);
        else
            unsaved_[key] = value;
        return;
    }
    const QString qkey = QString::fromStdString(key);
    if (isAbsent(value))
        settings_->remove(qkey);
    else
        settings_->setValue(qkey, toQVariant(value));
    QDir().mkpath(QFileInfo(filePath_).absolutePath());
    settings_->sync();
    syncedStamp_.reset();
    if (settings_->status() != QSettings::NoError)
        logOnce("Corvane: could not save preferences to " + toStd(filePath_));
}

void QtPreferencesStore::logOnce(const std::string& line) {
    if (hasLoggedWriteFailure_)
        return;
    hasLoggedWriteFailure_ = true;
    log_.log(line);
}

} // namespace corvane
