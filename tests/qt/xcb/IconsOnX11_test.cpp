// Application icons for windows that carry no _NET_WM_ICON: the desktop entry of their WM_CLASS,
// decoded with Qt, else the generic icon.
#include "platform/qt/QtImageDecoder.h"
#include "platform/x11/XdgApplicationIcons.h"
#include "qt/xcb/XcbDesktop.h"

#include <QColor>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::xcbDesktop;

// The colour at the image's centre.
QColor centreOf(const ImageRef& image) {
    if (!image || image->width <= 0 || image->height <= 0)
        return {};
    return QColor::fromRgba(
        image->argb[std::size_t(image->height / 2) * image->width + image->width / 2]);
}

TEST(IconsOnX11, WindowsWithoutAnIconGetTheirDesktopEntrysElseTheGenericOne) {
    const fs::path data = fs::temp_directory_path() / ("corvane-xdg-" + std::to_string(getpid()));
    fs::remove_all(data);
    fs::create_directories(data / "applications");
    fs::create_directories(data / "icons/hicolor/48x48/apps");
    fs::create_directories(data / "icons/hicolor/scalable/mimetypes");
    std::ofstream(data / "applications/probe-viewer.desktop")
        << "[Desktop Entry]\nType=Application\nName=Probe\nStartupWMClass=ProbeViewer\n"
           "Icon=probe-viewer\n";
    std::ofstream(data / "icons/hicolor/index.theme")
        << "[Icon Theme]\nDirectories=48x48/apps,scalable/mimetypes\n"
           "[48x48/apps]\nSize=48\nType=Fixed\n"
           "[scalable/mimetypes]\nSize=48\nMinSize=8\nMaxSize=512\nType=Scalable\n";
    QImage png(48, 48, QImage::Format_ARGB32);
    png.fill(QColor(20, 160, 90));
    ASSERT_TRUE(png.save(
        QString::fromStdString((data / "icons/hicolor/48x48/apps/probe-viewer.png").string())));
    std::ofstream(data / "icons/hicolor/scalable/mimetypes/application-x-executable.svg")
        << R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">)"
           R"(<rect width="16" height="16" fill="#c83c28"/></svg>)";

    XdgApplicationIcons icons({{data.string()}, "", ""}, decodeImageFile);
    xcbDesktop->workspace().setFallbackIcons(&icons);
    auto probe = xcbDesktop->launch({"--class", "probe,ProbeViewer", "--window", "Probe"});
    auto other = xcbDesktop->launch({"--class", "other,Unlisted", "--window", "Other"});
    ASSERT_NE(probe.pid, 0);
    ASSERT_NE(other.pid, 0);

    std::map<pid_t, ImageRef> iconByPid;
    xcbDesktop->connection().drain();
    for (const auto& application : xcbDesktop->workspace().runningApplications())
        iconByPid[application.processIdentifier] = application.icon;
    EXPECT_EQ(centreOf(iconByPid[probe.pid]), QColor(20, 160, 90));
    EXPECT_EQ(centreOf(iconByPid[other.pid]), QColor(200, 60, 40)) << "the generic icon";
    ASSERT_NE(iconByPid[other.pid], nullptr);
    EXPECT_EQ(iconByPid[other.pid]->width, 48) << "the SVG drawn at the card's size";

    xcbDesktop->workspace().setFallbackIcons(nullptr);
    xcbDesktop->stop(probe);
    xcbDesktop->stop(other);
    fs::remove_all(data);
}

} // namespace
} // namespace corvane
