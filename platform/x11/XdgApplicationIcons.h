#pragma once
// Application icons for windows that carry none (no _NET_WM_ICON: xev, xterm, older toolkits),
// found the freedesktop way:
// - the desktop entry of the window's WM_CLASS: under $XDG_DATA_HOME/applications, then each
//   $XDG_DATA_DIRS/applications (an earlier directory's entry hides a later one with the same
//   desktop file ID), the entry whose StartupWMClass is the class, else the one whose ID is the
//   class or the instance, else the one whose ID's last dot-separated part is (reverse-DNS IDs
//   such as org.example.Viewer); all compared case-insensitively, Hidden entries skipped;
// - its Icon key: an absolute path as it is; else a name looked up in the icon theme (the
//   user's theme, the themes it inherits from, then hicolor; the directory whose size is nearest
//   48 points at the screen's scale; PNG, SVG or XPM), else directly in $HOME/.icons, the data
//   directories' icons folders and /usr/share/pixmaps;
// - else the theme's generic "application-x-executable", else a plain window glyph drawn here.
//
// Lookups are remembered per WM_CLASS and scale: the applications folders are read once, each
// theme folder is listed once when first searched, and all of it again when an applications
// folder changes (an application was installed or removed). Only regular
// files are read, and only up to a size, so a FIFO or a device named like an icon cannot block
// or flood Corvane. Decoding image files is the caller's (the Qt side has the codecs); this
// file is plain C++.

#include "platform/Image.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace corvane {

// Decodes an image file's bytes to an image about pixels on its longer side. format is the
// file's extension in lower case ("png", "svg", "xpm"). Null when the bytes are not an image.
using IconFileDecoder =
    std::function<ImageRef(const std::string& bytes, const std::string& format, int pixels)>;

struct XdgIconPlaces {
    // $XDG_DATA_HOME, then each of $XDG_DATA_DIRS, in that order.
    std::vector<std::string> dataDirs;
    std::string home; // $HOME, for ~/.icons; empty for none
    // The user's icon theme; empty for hicolor alone.
    std::string themeName;

    // From the environment, with the XDG base directory defaults.
    static XdgIconPlaces fromEnvironment(std::string themeName);
};

class XdgApplicationIcons {
  public:
    XdgApplicationIcons(XdgIconPlaces places, IconFileDecoder decoder);

    // Reads the desktop entries, the icon themes' folders and the generic icon now, so that
    // the first switch does not.
    void prepare(double devicePixelRatio);
    // The application's icon, else the generic one; never null.
    ImageRef iconFor(const std::string& windowClass, const std::string& classInstance,
                     double devicePixelRatio);

    // The search alone: the icon file of the class's desktop entry, if any.
    std::optional<std::string> iconFileFor(const std::string& windowClass,
                                           const std::string& classInstance, int scale);
    // The file a themed icon name stands for at 48 points and the given scale, if any.
    std::optional<std::string> themedIconFile(const std::string& name, int scale);

  private:
    struct Entry {
        std::string id; // desktop file ID, e.g. "org.example.Viewer"
        std::string startupWmClass;
        std::string icon;
    };
    struct Theme {
        struct Directory {
            std::string path; // relative to the theme's folder
            int size = 0, scale = 1, minSize = 0, maxSize = 0, threshold = 2;
            enum class Type { fixed, scalable, threshold } type = Type::threshold;
        };
        std::vector<std::string> roots; // the theme's folder under each icon base directory
        std::vector<Directory> directories;
        std::vector<std::string> inherits;
    };

    void refreshEntriesIfChanged();
    void readEntries();
    const Entry* entryFor(const std::string& windowClass, const std::string& classInstance) const;
    const Theme* theme(const std::string& name);
    std::optional<std::string> lookupInTheme(const std::string& name, const std::string& themeName,
                                             int scale, std::vector<std::string>& visited);
    // The names in an icon folder, read once (empty for a folder that does not exist).
    const std::set<std::string>& listing(const std::string& folder);
    std::vector<std::string> iconBaseDirs() const;
    ImageRef decodeFile(const std::string& path, int pixels) const;
    ImageRef genericIcon(int scale, int pixels);

    XdgIconPlaces places_;
    IconFileDecoder decoder_;
    std::vector<Entry> entries_;
    bool entriesRead_ = false;
    std::vector<long long> applicationDirStamps_;
    std::map<std::string, std::optional<Theme>> themes_;
    std::map<std::string, std::set<std::string>> listings_;
    std::map<std::tuple<std::string, std::string, int>, ImageRef> icons_;
    std::map<int, ImageRef> genericIcons_;
};

// A plain window glyph pixels × pixels: the icon of last resort.
ImageRef drawnApplicationIcon(int pixels);

} // namespace corvane
