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

TEST(XdgAutostartEntry, ExecQuotingAndTheEnabledRules) {
    const std::pair<std::string, std::optional<std::string>> paths[] = {
        {"/opt/My Apps/corvane", R"("/opt/My Apps/corvane")"},
        {R"(/odd/"quoted"/x)", R"("/odd/\\"quoted\\"/x")"},
        {"/odd/$HOME/`x`", R"("/odd/\\$HOME/\\`x\\`")"},
        {R"(/odd/back\slash)", R"("/odd/back\\\\slash")"},
        {"/odd/100%/corvane", R"("/odd/100%%/corvane")"},
        {"/odd/caf\xC3\xA9", "\"/odd/caf\xC3\xA9\""},
        {"/odd/new\nline", std::nullopt}, // no quoting a launcher reads back
        {"/odd/\xFF", std::nullopt},
    };
    for (const auto& [path, quoted] : paths)
        EXPECT_EQ(quotedExecArgument(path), quoted) << path;

    const std::pair<const char*, bool> entries[] = {
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
    for (const auto& [text, enabled] : entries)
        EXPECT_EQ(autostartEntryIsEnabled(text), enabled) << text;
}

class XdgAutostart : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-autostart-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        config = pattern;
    }
    void TearDown() override { fs::remove_all(config); }
    fs::path config;
};

TEST_F(XdgAutostart, RegisterWritesTheEntryAtomicallyAndUnregisterRemovesIt) {
    XdgAutostartLoginItem item("/opt/My Apps/corvane", (config / "nested").string());
    const fs::path entry = config / "nested/autostart/corvane.desktop";
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    std::stringstream text;
    text << std::ifstream(entry).rdbuf();
    EXPECT_EQ(text.str().rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.str().find("\nExec=\"/opt/My Apps/corvane\"\n"), std::string::npos);
    EXPECT_NE(text.str().find("\nType=Application\n"), std::string::npos);
    // Written through a temporary file that is gone afterwards.
    EXPECT_EQ(std::distance(fs::directory_iterator(entry.parent_path()), {}), 1);

    std::ofstream(entry) << "[Desktop Entry]\nHidden=true\n"; // the user switched it off
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);

    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_EQ(item.unregisterItem(), std::nullopt); // already gone is fine
}

TEST_F(XdgAutostart, FailuresAreDescribedNotHidden) {
    EXPECT_TRUE(XdgAutostartLoginItem("corvane", config.string()).registerItem().has_value());
    std::ofstream(config / "autostart") << "a file where the folder should be";
    XdgAutostartLoginItem blocked("/usr/bin/corvane", config.string());
    const auto failure = blocked.registerItem();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("autostart"), std::string::npos);
    EXPECT_EQ(blocked.status(), LoginItemStatus::notRegistered);
}

TEST(XdgAutostartPaths, ConfigHomeFollowsTheBasedirRules) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/custom/config", 1);
    EXPECT_EQ(XdgAutostartLoginItem::defaultConfigHome(), "/custom/config");
    setenv("XDG_CONFIG_HOME", "relative/config", 1); // a relative path is ignored
    EXPECT_EQ(XdgAutostartLoginItem::defaultConfigHome(), "/home/someone/.config");
    if (saved)
        setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(XdgAutostartLoginItem::currentExecutablePath().front(), '/');
}

} // namespace
} // namespace corvane
