// Application icons from desktop entries and icon themes, in a private set of data folders.

#include "platform/x11/XdgApplicationIcons.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

namespace fs = std::filesystem;

class XdgIcons : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("corvane-icons-" + std::to_string(getpid()));
        fs::remove_all(root);
        // Desktop entries: a user one hides the system one of the same ID.
        write("user/applications/viewer.desktop", "[Desktop Entry]\nIcon=viewer\n");
        write("sys/applications/viewer.desktop", "[Desktop Entry]\nIcon=hicolor-only\n");
        write("sys/applications/b3d.desktop",
              "[Desktop Action New]\nIcon=wrong\n[Desktop Entry]\nStartupWMClass=Blender\n"
              "Icon=blender\n");
        write("sys/applications/org.example.Editor.desktop",
              "[Desktop Entry]\nIcon=" + (root / "abs/editor.png").string() + "\n");
        write("sys/applications/suite/calc.desktop", "[Desktop Entry]\nIcon=calc.png\n");
        write("sys/applications/gone.desktop", "[Desktop Entry]\nHidden=true\nIcon=viewer\n");
        write("sys/applications/inherited.desktop", "[Desktop Entry]\nIcon=parent-only\n");
        write("sys/applications/legacy.desktop", "[Desktop Entry]\nIcon=legacy\n");
        write("sys/applications/small.desktop", "[Desktop Entry]\nIcon=small\n");
        write("sys/applications/piped.desktop", "[Desktop Entry]\nIcon=piped\n");
        write("sys/applications/loop.desktop", "[Desktop Entry]\nIcon=nowhere\n");
        write("abs/editor.png", "editor");
        // The user's theme, its parent (which inherits back: a loop), and hicolor.
        write("sys/icons/Test/index.theme",
              "[Icon Theme]\nInherits=Parent\nDirectories=16/apps,48/apps,48@2/apps,svg/apps\n"
              "[16/apps]\nSize=16\nType=Fixed\n[48/apps]\nSize=48\nType=Fixed\n"
              "[48@2/apps]\nSize=48\nScale=2\nType=Fixed\n"
              "[svg/apps]\nSize=64\nMinSize=8\nMaxSize=512\nType=Scalable\n");
        write("sys/icons/Test/16/apps/viewer.png", "viewer 16");
        write("sys/icons/Test/48/apps/viewer.png", "viewer 48");
        write("sys/icons/Test/48@2/apps/viewer.png", "viewer 96");
        write("sys/icons/Test/svg/apps/blender.svg", "blender");
        write("sys/icons/Test/16/apps/calc.png", "calc 16");
        write("sys/icons/Test/16/apps/small.png", "small");
        write("sys/icons/Parent/index.theme",
              "[Icon Theme]\nInherits=Test\nDirectories=apps\n[apps]\nSize=48\n");
        write("sys/icons/Parent/apps/parent-only.png", "parent");
        write("sys/icons/hicolor/index.theme",
              "[Icon Theme]\nDirectories=48x48/apps\n[48x48/apps]\nSize=48\nType=Fixed\n");
        write("sys/icons/hicolor/48x48/apps/hicolor-only.png", "hicolor");
        write("sys/icons/hicolor/48x48/apps/application-x-executable.png", "generic");
        write("sys/icons/legacy.xpm", "legacy");
        fs::create_directories(root / "sys/icons/Test/48/apps");
        ASSERT_EQ(mkfifo((root / "sys/icons/Test/48/apps/piped.png").c_str(), 0600), 0);
        ASSERT_EQ(mkfifo((root / "sys/applications/fifo.desktop").c_str(), 0600), 0);
    }
    void TearDown() override { fs::remove_all(root); }

    void write(const std::string& path, const std::string& text) {
        fs::create_directories((root / path).parent_path());
        std::ofstream(root / path) << text;
    }
    XdgIconPlaces places() {
        return {{(root / "user").string(), (root / "sys").string()}, "", "Test"};
    }
    // Images carry the decoded file's text as their first pixels; "corrupt" is no image.
    IconFileDecoder decoder() {
        return [this](const std::string& bytes, const std::string& format, int pixels) {
            decoded.push_back(bytes + "." + format + "@" + std::to_string(pixels));
            if (bytes == "corrupt")
                return ImageRef();
            return ImageRef(std::make_shared<Image>(Image{
                int(bytes.size()), 1, std::vector<std::uint32_t>(bytes.begin(), bytes.end())}));
        };
    }
    static std::string textOf(const ImageRef& image) {
        return image ? std::string(image->argb.begin(), image->argb.end()) : "(none)";
    }

    fs::path root;
    std::vector<std::string> decoded;
};

TEST_F(XdgIcons, FindsTheEntryOfTheWindowClassAndItsIconInTheTheme) {
    struct Case {
        const char *windowClass, *instance;
        int scale;
        const char* file; // under the private root; "" for none
    };
    const Case cases[] = {
        {"Viewer", "viewer", 1, "sys/icons/Test/48/apps/viewer.png"},
        {"Viewer", "viewer", 2, "sys/icons/Test/48@2/apps/viewer.png"},
        {"Whatever", "VIEWER", 1, "sys/icons/Test/48/apps/viewer.png"}, // by the instance
        {"blender", "b", 1, "sys/icons/Test/svg/apps/blender.svg"},     // StartupWMClass
        {"Editor", "editor", 1, "abs/editor.png"},                      // last part of the ID
        {"suite-calc", "", 1, "sys/icons/Test/16/apps/calc.png"},       // subfolder ID, ".png"
        {"Inherited", "", 1, "sys/icons/Parent/apps/parent-only.png"},  // the parent theme
        {"Legacy", "", 1, "sys/icons/legacy.xpm"},                      // no theme has it
        {"Small", "", 2, "sys/icons/Test/16/apps/small.png"},           // the nearest size
        {"gone", "", 1, ""},                                            // a Hidden entry
        {"piped", "", 1, ""},                                           // a FIFO, not read
        {"loop", "", 1, ""},                                            // themes inherit in a loop
        {"fifo", "", 1, ""},
        {"", "", 1, ""},
    };
    XdgApplicationIcons icons(places(), decoder());
    icons.prepare(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.windowClass << "/" << c.instance << " @" << c.scale);
        const auto file = icons.iconFileFor(c.windowClass, c.instance, c.scale);
        EXPECT_EQ(file.value_or(""), *c.file ? (root / c.file).string() : "");
    }
}

TEST_F(XdgIcons, DecodesOncePerClassFallsBackToTheGenericIconAndSeesNewEntries) {
    XdgApplicationIcons icons(places(), decoder());
    icons.prepare(1);
    EXPECT_EQ(textOf(icons.iconFor("Viewer", "viewer", 1)), "viewer 48");
    EXPECT_EQ(textOf(icons.iconFor("Viewer", "viewer", 2)), "viewer 96");
    EXPECT_EQ(textOf(icons.iconFor("Unknown", "unknown", 1)), "generic");
    EXPECT_EQ(textOf(icons.iconFor("Viewer", "viewer", 1)), "viewer 48");
    EXPECT_EQ(decoded,
              (std::vector<std::string>{"generic.png@48", "viewer 48.png@48", "viewer 96.png@96"}));

    // An application installed after the start, its icon with it.
    write("sys/icons/Test/48/apps/broken.png", "corrupt");
    write("sys/icons/Test/48/apps/late.png", "late");
    write("user/applications/broken.desktop", "[Desktop Entry]\nIcon=broken\n");
    write("user/applications/late.desktop", "[Desktop Entry]\nIcon=late\n");
    EXPECT_EQ(textOf(icons.iconFor("Late", "", 1)), "late");
    EXPECT_EQ(textOf(icons.iconFor("Broken", "", 1)), "generic");

    // Without a generic icon in any theme, the drawn one.
    fs::remove(root / "sys/icons/hicolor/48x48/apps/application-x-executable.png");
    XdgApplicationIcons bare(places(), decoder());
    const ImageRef drawn = bare.iconFor("Unknown", "", 1.5);
    ASSERT_NE(drawn, nullptr);
    EXPECT_EQ(std::tuple(drawn->width, drawn->argb.size()), std::tuple(72, std::size_t(72 * 72)));
}

} // namespace
} // namespace corvane
