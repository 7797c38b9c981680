// Application icons from desktop entries and icon themes (see XdgApplicationIcons.h).

#include "platform/x11/XdgApplicationIcons.h"

#include "platform/x11/XdgKeyFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

// Desktop entries and index.theme files are a few kilobytes; icons rarely pass a megabyte.
constexpr std::size_t kMaxTextFileBytes = 256 * 1024;
constexpr std::size_t kMaxIconFileBytes = 8 * 1024 * 1024;
// Folders under applications/ are followed this deep (desktop file IDs of subfolders).
constexpr int kMaxEntryDepth = 3;
constexpr std::size_t kMaxEntries = 20000;
constexpr const char* kExtensions[] = {"png", "svg", "xpm"};

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

bool sameText(const std::string& a, const std::string& b) {
    return !a.empty() && lowered(a) == lowered(b);
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The file's bytes when it is a regular file of at most maxBytes. Opened without blocking and
// checked after opening, so a FIFO put in its place never stalls the read.
std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::optional<std::string> bytes;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
        static_cast<std::size_t>(info.st_size) <= maxBytes) {
        std::string data(static_cast<std::size_t>(info.st_size), '\0');
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t got = read(fd, data.data() + done, data.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        data.resize(done);
        bytes = std::move(data);
    }
    close(fd);
    return bytes;
}

long long modificationStamp(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return -1;
    return static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

int number(const KeyFileGroup& keys, const char* key, int fallback) {
    const auto found = keys.find(key);
    if (found == keys.end())
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(found->second.c_str(), &end, 10);
    return end != found->second.c_str() && value > 0 && value < 100000 ? int(value) : fallback;
}

std::string extensionOf(const std::string& path) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return lowered(path.substr(dot + 1));
}

} // namespace

XdgIconPlaces XdgIconPlaces::fromEnvironment(std::string themeName) {
    XdgIconPlaces places;
    const char* home = std::getenv("HOME");
    places.home = home ? home : "";
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/')
        places.dataDirs.push_back(dataHome);
    else if (!places.home.empty())
        places.dataDirs.push_back(places.home + "/.local/share");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    for (const auto& dir : splitKeyFileList(dirs, ':')) {
        if (dir[0] == '/')
            places.dataDirs.push_back(dir);
    }
    places.themeName = std::move(themeName);
    return places;
}

XdgApplicationIcons::XdgApplicationIcons(XdgIconPlaces places, IconFileDecoder decoder)
    : places_(std::move(places)), decoder_(std::move(decoder)) {}

void XdgApplicationIcons::refreshEntriesIfChanged() {
    std::vector<long long> stamps;
    for (const auto& dir : places_.dataDirs)
        stamps.push_back(modificationStamp(dir + "/applications"));
    if (entriesRead_ && stamps == applicationDirStamps_)
        return;
    applicationDirStamps_ = std::move(stamps);
    readEntries();
    // What installed or removed an application may have brought or taken its icons as well.
    icons_.clear();
    genericIcons_.clear();
    listings_.clear();
    themes_.clear();
}

void XdgApplicationIcons::readEntries() {
    entriesRead_ = true;
    entries_.clear();
    std::set<std::string> seen; // IDs, hidden or not: the first data directory wins
    std::function<void(const std::string&, const std::string&, int)> scan =
        [&](const std::string& folder, const std::string& idPrefix, int depth) {
            DIR* dir = opendir(folder.c_str());
            if (!dir)
                return;
            std::vector<std::string> names;
            while (const dirent* item = readdir(dir)) {
                const std::string name = item->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            closedir(dir);
            std::sort(names.begin(), names.end());
            for (const auto& name : names) {
                const std::string path = folder + "/" + name;
                struct stat info {};
                if (stat(path.c_str(), &info) != 0 || entries_.size() >= kMaxEntries)
                    continue;
                if (S_ISDIR(info.st_mode) && depth < kMaxEntryDepth) {
                    scan(path, idPrefix + name + "-", depth + 1);
                    continue;
                }
                constexpr std::string_view suffix = ".desktop";
                if (!S_ISREG(info.st_mode) || name.size() <= suffix.size() ||
                    name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
                    continue;
                const std::string id = idPrefix + name.substr(0, name.size() - suffix.size());
                if (!seen.insert(id).second)
                    continue;
                const auto text = readRegularFile(path, kMaxTextFileBytes);
                if (!text)
                    continue;
                auto keys = keyFileGroup(*text, "Desktop Entry");
                if (keys["Hidden"] == "true")
                    continue;
                entries_.push_back({id, keys["StartupWMClass"], keys["Icon"]});
            }
        };
    for (const auto& dir : places_.dataDirs)
        scan(dir + "/applications", "", 0);
}

const XdgApplicationIcons::Entry*
XdgApplicationIcons::entryFor(const std::string& windowClass,
                              const std::string& classInstance) const {
    auto find = [this](auto matches) -> const Entry* {
        for (const Entry& entry : entries_) {
            if (matches(entry))
                return &entry;
        }
        return nullptr;
    };
    auto lastPart = [](const std::string& id) { return id.substr(id.rfind('.') + 1); };
    const Entry* entry =
        find([&](const Entry& e) { return sameText(e.startupWmClass, windowClass); });
    for (const std::string& name : {windowClass, classInstance}) {
        if (!entry)
            entry = find([&](const Entry& e) { return sameText(name, e.id); });
    }
    for (const std::string& name : {windowClass, classInstance}) {
        if (!entry)
            entry = find([&](const Entry& e) { return sameText(name, lastPart(e.id)); });
    }
    return entry;
}

std::vector<std::string> XdgApplicationIcons::iconBaseDirs() const {
    std::vector<std::string> bases;
    if (!places_.home.empty())
        bases.push_back(places_.home + "/.icons");
    for (const auto& dir : places_.dataDirs)
        bases.push_back(dir + "/icons");
    return bases;
}

const XdgApplicationIcons::Theme* XdgApplicationIcons::theme(const std::string& name) {
    if (auto known = themes_.find(name); known != themes_.end())
        return known->second ? &*known->second : nullptr;
    std::optional<Theme>& slot = themes_[name];
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return nullptr;
    std::optional<std::string> index;
    Theme theme;
    for (const auto& base : iconBaseDirs()) {
        const std::string root = base + "/" + name;
        struct stat info {};
        if (stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            continue;
        theme.roots.push_back(root);
        if (!index)
            index = readRegularFile(root + "/index.theme", kMaxTextFileBytes);
    }
    if (!index)
        return nullptr;
    auto groups = keyFileGroups(*index);
    auto& header = groups["Icon Theme"];
    theme.inherits = splitKeyFileList(header["Inherits"], ',');
    std::vector<std::string> paths = splitKeyFileList(header["Directories"], ',');
    for (const auto& scaled : splitKeyFileList(header["ScaledDirectories"], ','))
        paths.push_back(scaled);
    for (const auto& path : paths) {
        const auto& keys = groups[path];
        Theme::Directory directory;
        directory.path = path;
        directory.size = number(keys, "Size", 0);
        if (directory.size == 0)
            continue;
        directory.scale = number(keys, "Scale", 1);
        directory.minSize = number(keys, "MinSize", directory.size);
        directory.maxSize = number(keys, "MaxSize", directory.size);
        directory.threshold = number(keys, "Threshold", 2);
        const auto type = keys.find("Type");
        if (type != keys.end() && type->second == "Fixed")
            directory.type = Theme::Directory::Type::fixed;
        else if (type != keys.end() && type->second == "Scalable")
            directory.type = Theme::Directory::Type::scalable;
        theme.directories.push_back(directory);
    }
    slot = std::move(theme);
    return &*slot;
}

const std::set<std::string>& XdgApplicationIcons::listing(const std::string& folder) {
    auto [known, isNew] = listings_.try_emplace(folder);
    if (!isNew)
        return known->second;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* item = readdir(dir))
            known->second.insert(item->d_name);
        closedir(dir);
    }
    return known->second;
}

std::optional<std::string> XdgApplicationIcons::lookupInTheme(const std::string& name,
                                                              const std::string& themeName,
                                                              int scale,
                                                              std::vector<std::string>& visited) {
    if (std::find(visited.begin(), visited.end(), themeName) != visited.end())
        return std::nullopt; // an inheritance loop, or a theme already searched
    visited.push_back(themeName);
    const Theme* found = theme(themeName);
    if (!found)
        return std::nullopt;
    using Type = Theme::Directory::Type;
    const int size = 48;
    // How far a directory's icons are from 48 points at the scale, in pixels; 0 when it holds
    // that size.
    auto distance = [&](const Theme::Directory& d) {
        const int wanted = size * scale;
        int low = d.size * d.scale;
        int high = low;
        if (d.type == Type::scalable) {
            low = d.minSize * d.scale;
            high = d.maxSize * d.scale;
        } else if (d.type == Type::threshold) {
            low = (d.size - d.threshold) * d.scale;
            high = (d.size + d.threshold) * d.scale;
        }
        return wanted < low ? low - wanted : wanted > high ? wanted - high : 0;
    };
    std::optional<std::string> closest;
    int closestDistance = INT_MAX;
    for (const auto& directory : found->directories) {
        // An exact size at another scale is still not a match.
        const int away = distance(directory) + (directory.scale == scale ? 0 : 1);
        if (away >= closestDistance)
            continue;
        for (const auto& root : found->roots) {
            const std::string folder = root + "/" + directory.path;
            const auto& names = listing(folder);
            for (const char* extension : kExtensions) {
                const std::string file = name + "." + extension;
                if (away < closestDistance && names.count(file) &&
                    isRegularFile(folder + "/" + file)) {
                    closest = folder + "/" + file;
                    closestDistance = away;
                }
            }
        }
        if (closestDistance == 0)
            return closest;
    }
    if (closest)
        return closest;
    for (const auto& parent : found->inherits) {
        if (auto path = lookupInTheme(name, parent, scale, visited))
            return path;
    }
    return std::nullopt;
}

std::optional<std::string> XdgApplicationIcons::themedIconFile(const std::string& name, int scale) {
    if (name.empty() || name.find('/') != std::string::npos)
        return std::nullopt;
    std::vector<std::string> visited;
    for (const std::string& themeName : {places_.themeName, std::string("hicolor")}) {
        if (auto path = lookupInTheme(name, themeName, scale, visited))
            return path;
    }
    std::vector<std::string> bases = iconBaseDirs();
    bases.push_back("/usr/share/pixmaps");
    for (const auto& base : bases) {
        for (const char* extension : kExtensions) {
            const std::string path = base + "/" + name + "." + extension;
            if (isRegularFile(path))
                return path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> XdgApplicationIcons::iconFileFor(const std::string& windowClass,
                                                            const std::string& classInstance,
                                                            int scale) {
    refreshEntriesIfChanged();
    const Entry* entry = entryFor(windowClass, classInstance);
    if (!entry || entry->icon.empty())
        return std::nullopt;
    if (entry->icon[0] == '/')
        return isRegularFile(entry->icon) ? std::optional(entry->icon) : std::nullopt;
    std::string name = entry->icon;
    const std::string extension = extensionOf(name);
    if (std::find(std::begin(kExtensions), std::end(kExtensions), extension) !=
        std::end(kExtensions))
        name.resize(name.size() - extension.size() - 1); // "foo.png" names the icon "foo"
    return themedIconFile(name, scale);
}

ImageRef XdgApplicationIcons::decodeFile(const std::string& path, int pixels) const {
    if (!decoder_)
        return nullptr;
    const auto bytes = readRegularFile(path, kMaxIconFileBytes);
    if (!bytes)
        return nullptr;
    ImageRef image = decoder_(*bytes, extensionOf(path), pixels);
    if (image && (image->width <= 0 || image->height <= 0 ||
                  image->argb.size() != std::size_t(image->width) * image->height))
        return nullptr;
    return image;
}

ImageRef XdgApplicationIcons::genericIcon(int scale, int pixels) {
    ImageRef& icon = genericIcons_[pixels];
    if (icon)
        return icon;
    if (auto path = themedIconFile("application-x-executable", scale))
        icon = decodeFile(*path, pixels);
    if (!icon)
        icon = drawnApplicationIcon(pixels);
    return icon;
}

ImageRef XdgApplicationIcons::iconFor(const std::string& windowClass,
                                      const std::string& classInstance, double devicePixelRatio) {
    const double ratio = devicePixelRatio >= 1 && devicePixelRatio <= 8 ? devicePixelRatio : 1;
    const int scale = int(std::ceil(ratio - 0.01));
    const int pixels = int(std::lround(48 * ratio));
    refreshEntriesIfChanged();
    const auto key = std::tuple(windowClass, classInstance, pixels);
    if (auto known = icons_.find(key); known != icons_.end())
        return known->second;
    ImageRef icon;
    if (auto path = iconFileFor(windowClass, classInstance, scale))
        icon = decodeFile(*path, pixels);
    if (!icon)
        icon = genericIcon(scale, pixels);
    icons_[key] = icon;
    return icon;
}

void XdgApplicationIcons::prepare(double devicePixelRatio) {
    iconFor({}, {}, devicePixelRatio);
    std::vector<std::string> pending{"hicolor", places_.themeName};
    std::set<std::string> seen;
    while (!pending.empty()) {
        const std::string name = std::move(pending.back());
        pending.pop_back();
        const Theme* found = seen.insert(name).second ? theme(name) : nullptr;
        if (!found)
            continue;
        for (const auto& directory : found->directories) {
            for (const auto& root : found->roots)
                listing(root + "/" + directory.path);
        }
        pending.insert(pending.end(), found->inherits.begin(), found->inherits.end());
    }
}

ImageRef drawnApplicationIcon(int pixels) {
    const int side = std::clamp(pixels, 16, 1024);
    auto image = std::make_shared<Image>();
    image->width = side;
    image->height = side;
    image->argb.assign(std::size_t(side) * side, 0);
    // A window: a light body under a darker title bar, with rounded corners, inset a little.
    const double inset = side / 12.0;
    const double radius = side / 10.0;
    const double left = inset, right = side - inset, top = inset * 1.5, bottom = side - inset * 1.5;
    const double bar = top + side / 6.0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            if (px < left || px > right || py < top || py > bottom)
                continue;
            const double cx = std::clamp(px, left + radius, right - radius);
            const double cy = std::clamp(py, top + radius, bottom - radius);
            if (std::hypot(px - cx, py - cy) > radius)
                continue;
            image->argb[std::size_t(y) * side + x] = py < bar ? 0xFF5A6472u : 0xFFD9DEE5u;
        }
    }
    return image;
}

} // namespace corvane
