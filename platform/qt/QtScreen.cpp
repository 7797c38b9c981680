#include "platform/qt/QtScreen.h"

#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>
#include <memory>

#if defined(CORVANE_QT_HAS_XCB)
#include <xcb/xcb.h>
#endif

namespace corvane {

namespace {

#if defined(CORVANE_QT_HAS_XCB)
struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

xcb_screen_t* defaultRootScreen(xcb_connection_t* connection) {
    int number = defaultX11ScreenNumber();
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem > 0;
         xcb_screen_next(&it), --number) {
        if (number == 0)
            return it.data;
    }
    return nullptr;
}

// The atom is asked once per connection: atoms live as long as the X server, and every switch
// reads the main screen before the panel opens.
xcb_atom_t activeWindowAtom(xcb_connection_t* connection) {
    static xcb_connection_t* askedOn = nullptr;
    static xcb_atom_t atom = XCB_ATOM_NONE;
    if (askedOn == connection && atom != XCB_ATOM_NONE)
        return atom;
    static constexpr char name[] = "_NET_ACTIVE_WINDOW";
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr));
    if (!reply)
        return XCB_ATOM_NONE;
    askedOn = connection;
    atom = reply->atom;
    return atom;
}
#endif

long long overlapArea(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : static_cast<long long>(common.width()) * common.height();
}

} // namespace

xcb_connection_t* qtX11Connection() {
#if !defined(CORVANE_QT_HAS_XCB)
    return nullptr;
#else
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
#endif
}

int defaultX11ScreenNumber() {
#if !defined(CORVANE_QT_HAS_XCB)
    return 0;
#else
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0)
        screen = 0;
    std::free(host);
    return screen;
#endif
}

DesktopFocus readDesktopFocus() {
#if !defined(CORVANE_QT_HAS_XCB)
    return {};
#else
    xcb_connection_t* c = qtX11Connection();
    const xcb_screen_t* screen = c ? defaultRootScreen(c) : nullptr;
    if (!screen)
        return {};
    const xcb_window_t root = screen->root;
    const xcb_atom_t activeAtom = activeWindowAtom(c);
    const auto pointerCookie = xcb_query_pointer(c, root);
    const auto activeCookie = xcb_get_property(c, 0, root, activeAtom, XCB_ATOM_WINDOW, 0, 1);

    DesktopFocus focus;
    if (Reply<xcb_query_pointer_reply_t> pointer{
            xcb_query_pointer_reply(c, pointerCookie, nullptr)};
        pointer && pointer->same_screen)
        focus.pointer = QPoint(pointer->root_x, pointer->root_y);
    Reply<xcb_get_property_reply_t> active{xcb_get_property_reply(c, activeCookie, nullptr)};
    if (activeAtom == XCB_ATOM_NONE || !active || active->type != XCB_ATOM_WINDOW ||
        active->format != 32 || xcb_get_property_value_length(active.get()) < 4)
        return focus;
    const xcb_window_t window =
        *static_cast<const xcb_window_t*>(xcb_get_property_value(active.get()));
    if (window == XCB_NONE)
        return focus;
    // A window that is gone answers with errors; they are taken here, not left to Qt's handler.
    const auto geometryCookie = xcb_get_geometry(c, window);
    const auto originCookie = xcb_translate_coordinates(c, window, root, 0, 0);
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_geometry_reply_t> geometry{xcb_get_geometry_reply(c, geometryCookie, &error)};
    std::free(error);
    error = nullptr;
    Reply<xcb_translate_coordinates_reply_t> origin{
        xcb_translate_coordinates_reply(c, originCookie, &error)};
    std::free(error);
    if (geometry && origin)
        focus.activeWindow = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    return focus;
#endif
}

std::optional<std::size_t> mainScreenIndex(const std::vector<QRect>& screens,
                                           const DesktopFocus& focus) {
    if (screens.empty())
        return std::nullopt;
    if (focus.activeWindow) {
        std::optional<std::size_t> best;
        long long bestArea = 0;
        for (std::size_t i = 0; i < screens.size(); ++i) {
            const long long area = overlapArea(screens[i], *focus.activeWindow);
            if (area > bestArea) {
                best = i;
                bestArea = area;
            }
        }
        if (best)
            return best;
    }
    if (focus.pointer) {
        for (std::size_t i = 0; i < screens.size(); ++i) {
            if (screens[i].contains(*focus.pointer))
                return i;
        }
    }
    return 0;
}

std::vector<ScreenGeometry> qtScreenGeometries() {
    std::vector<ScreenGeometry> screens;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().isEmpty())
            continue;
        const ScreenGeometry geometry{screen->geometry(), screen->devicePixelRatio()};
        if (screen == primary)
            screens.insert(screens.begin(), geometry);
        else
            screens.push_back(geometry);
    }
    return screens;
}

std::optional<Rect> QtScreen::mainScreenFrame() const {
    const std::vector<ScreenGeometry> screens = screens_ ? screens_() : qtScreenGeometries();
    std::vector<QRect> nativeAreas;
    for (const ScreenGeometry& screen : screens)
        nativeAreas.emplace_back(screen.geometry.topLeft(),
                                 screen.geometry.size() * screen.devicePixelRatio);
    // With one screen there is nothing to ask the X server.
    const DesktopFocus focus = screens.size() > 1 && focus_ ? focus_() : DesktopFocus{};
    const auto index = mainScreenIndex(nativeAreas, focus);
    if (!index)
        return std::nullopt;
    const QRect geometry = screens[*index].geometry;
    const Rect topLeft{double(geometry.x()), double(geometry.y()), double(geometry.width()),
                       double(geometry.height())};
    return flippedScreenRect(topLeft, primaryScreenHeight());
}

double QtScreen::primaryScreenHeight() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? double(screen->geometry().height()) : 0.0;
}

} // namespace corvane
