// The login item as an XDG autostart entry, in a private configuration folder.

#include "platform/x11/XdgAutostartLoginItem.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace corvane {
namespace {

namespace fs = std::filesystem;

TEST(XdgExecQuoting, QuotesEveryArgumentSoALauncherReadsItBack) {
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {"/usr/bin/corvane", R"("/usr/bin/corvane")"},
        {"/opt/My Apps/corvane", R"("/opt/My Apps/corvane")"},
        {R"(/odd/"quoted"/x)", R"("/odd/\\"quoted\\"/x")"},
        {"/odd/$HOME/`x`", R"("/odd/\\$HOME/\\`x\\`")"},
        {R"(/odd/back\slash)", R"("/odd/back\\\\slash")"},
        {"/odd/100%/corvane", R"("/odd/100%%/corvane")"},
        {"/odd/caf\xC3\xA9", "\"/odd/caf\xC3\xA9\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quotedExecArgument(c.path), c.expected) << c.path;
    EXPECT_EQ(quotedExecArgument("/odd/new\nline"), std::nullopt);
    EXPECT_EQ(quotedExecArgument("/odd/\xFF"), std::nullopt);
}

TEST(XdgAutostartEntry, EnabledUnlessHiddenOrSwitchedOffInItsOwnGroup) {
    const struct {
        const char* text;
        bool enabled;
    } cases[] = {
        {"[Desktop Entry]\nExec=x\n", true},
        {"[Desktop Entry]\nHidden=true\n", false},
        {"[Desktop Entry]\nHidden = true\r\n", false},
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n", true},
        {"[Desktop Action x]\nHidden=true\n[Desktop Entry]\nExec=x\n", true},
        {"# Hidden=true\n[Desktop Entry]\n", true},
        {"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(autostartEntryIsEnabled(c.text), c.enabled) << c.text;
}

class XdgAutostart : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-autostart-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        config = pattern;
    }
    void TearDown() override { fs::remove_all(config); }
    std::string read(const fs::path& path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    fs::path config;
};

TEST_F(XdgAutostart, RegisterWritesTheEntryAndUnregisterRemovesIt) {
    XdgAutostartLoginItem item("/opt/My Apps/corvane", (config / "nested").string());
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    const fs::path entry = config / "nested/autostart/corvane.desktop";
    EXPECT_EQ(item.entryPath(), entry.string());
    const std::string text = read(entry);
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/My Apps/corvane\"\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    // Written through a temporary file that is gone afterwards.
    EXPECT_EQ(std::distance(fs::directory_iterator(entry.parent_path()), {}), 1);

    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(item.unregisterItem(), std::nullopt); // already gone is fine
}

TEST_F(XdgAutostart, AnEntryTheUserSwitchedOffCountsAsOffAndRegisteringTurnsItOn) {
    XdgAutostartLoginItem item("/usr/bin/corvane", config.string());
    fs::create_directories(config / "autostart");
    std::ofstream(config / "autostart/corvane.desktop") << "[Desktop Entry]\nHidden=true\n";
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
}

TEST_F(XdgAutostart, FailuresAreDescribedNotHidden) {
    XdgAutostartLoginItem relative("corvane", config.string());
    EXPECT_TRUE(relative.registerItem().has_value());
    // A file where the autostart folder should be: the folder cannot be made.
    std::ofstream(config / "autostart") << "not a folder";
    XdgAutostartLoginItem blocked("/usr/bin/corvane", config.string());
    const auto failure = blocked.registerItem();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("autostart"), std::string::npos);
    EXPECT_EQ(blocked.status(), LoginItemStatus::notRegistered);
}

TEST(XdgAutostartPaths, ConfigHomeFollowsXdgRules) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = savedConfig ? savedConfig : "";
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/custom/config", 1);
    EXPECT_EQ(XdgAutostartLoginItem::defaultConfigHome(), "/custom/config");
    setenv("XDG_CONFIG_HOME", "relative/config", 1); // ignored, as the basedir rules say
    EXPECT_EQ(XdgAutostartLoginItem::defaultConfigHome(), "/home/someone/.config");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(XdgAutostartLoginItem::defaultConfigHome(), "/home/someone/.config");
    if (savedConfig)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    EXPECT_EQ(XdgAutostartLoginItem::currentExecutablePath().front(), '/');
}

} // namespace
} // namespace corvane
