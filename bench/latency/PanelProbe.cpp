#include "PanelProbe.h"

#include "platform/x11/X11Replies.h"

#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <thread>
#include <xcb/xtest.h>

namespace corvane::bench {
namespace {

constexpr xcb_keysym_t kAltL = 0xffe9, kTab = 0xff09, kEscape = 0xff1b;

double millisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

PanelProbe::PanelProbe(const std::string& displayName) {
    connection_ = xcb_connect(displayName.c_str(), nullptr);
    if (xcb_connection_has_error(connection_))
        throw std::runtime_error("cannot connect to " + displayName);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;

    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(connection_, &xcb_damage_id);
    if (!damage || !damage->present)
        throw std::runtime_error("the X server has no DAMAGE extension");
    damageNotify_ = damage->first_event + XCB_DAMAGE_NOTIFY;
    std::free(xcb_damage_query_version_reply(connection_,
                                             xcb_damage_query_version(connection_, 1, 1), nullptr));

    std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    alt_ = keycodeFor(kAltL);
    tab_ = keycodeFor(kTab);
    escape_ = keycodeFor(kEscape);
    if (!alt_ || !tab_ || !escape_)
        throw std::runtime_error("the keyboard map lacks Alt_L, Tab or Escape");
    // The pointer starts at the screen's centre, over the panel: releasing Alt there would keep
    // the panel open instead of committing.
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, 1, 1, 0);
    sync();
}

PanelProbe::~PanelProbe() {
    if (connection_) {
        for (xcb_keycode_t code : {tab_, escape_, alt_})
            key(code, false);
        xcb_flush(connection_);
        xcb_disconnect(connection_);
    }
}

xcb_keycode_t PanelProbe::keycodeFor(xcb_keysym_t keysym) const {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    int count = setup->max_keycode - setup->min_keycode + 1;
    auto* reply = xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr);
    if (!reply)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    xcb_keycode_t found = 0;
    for (int k = 0; k < count && !found; ++k) {
        if (syms[k * reply->keysyms_per_keycode] == keysym)
            found = static_cast<xcb_keycode_t>(setup->min_keycode + k);
    }
    std::free(reply);
    return found;
}

void PanelProbe::key(xcb_keycode_t code, bool press) {
    xcb_test_fake_input(connection_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code,
                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

void PanelProbe::sync() {
    awaitAllReplies(connection_);
}

xcb_generic_event_t* PanelProbe::nextEvent(Clock::time_point deadline) {
    for (;;) {
        if (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            noteGeometry(*event);
            return event;
        }
        if (xcb_connection_has_error(connection_))
            return nullptr;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return nullptr;
        pollfd p{xcb_get_file_descriptor(connection_), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
}

void PanelProbe::noteGeometry(const xcb_generic_event_t& event) {
    const int type = event.response_type & 0x7F;
    if (type == XCB_CONFIGURE_NOTIFY) {
        const auto& configure = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        if (configure.window == panel_)
            panelRect_ = {configure.x, configure.y, configure.width, configure.height};
    }
}

std::optional<std::uint32_t> PanelProbe::pixelAt(xcb_drawable_t drawable, int x, int y) {
    auto* reply =
        xcb_get_image_reply(connection_,
                            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable,
                                          std::int16_t(x), std::int16_t(y), 1, 1, ~0u),
                            nullptr);
    std::optional<std::uint32_t> pixel;
    if (reply && xcb_get_image_data_length(reply) >= 4) {
        std::uint32_t value = 0;
        std::memcpy(&value, xcb_get_image_data(reply), 4);
        pixel = value & 0xFFFFFF; // the colour; a window's alpha does not show on the screen
    }
    std::free(reply);
    return pixel;
}

bool PanelProbe::showsItsPixels() {
    if (!desktopPixel_ || panelRect_.width == 0 || panelRect_.height == 0)
        return true; // nothing to compare with: the damage has to do
    const auto shown = pixelAt(panel_, panelRect_.width / 2, panelRect_.height / 2);
    return !shown || *shown != *desktopPixel_;
}

void PanelProbe::watchPanel(xcb_window_t window) {
    if (window == panel_)
        return;
    if (damage_)
        xcb_damage_destroy(connection_, damage_);
    panel_ = window;
    // Where it is; kept up to date by its ConfigureNotify events (an override-redirect window
    // is a child of the root, so its geometry is in the root's coordinates).
    if (auto* geometry =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr)) {
        panelRect_ = {geometry->x, geometry->y, geometry->width, geometry->height};
        std::free(geometry);
    }
    damage_ = xcb_generate_id(connection_);
    // NonEmpty: one notify when the window goes from undamaged to damaged; re-armed by
    // the subtract before each switch.
    xcb_damage_create(connection_, damage_, window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
}

PanelProbe::Clock::time_point PanelProbe::pressTabOnCleanSlate() {
    if (damage_)
        xcb_damage_subtract(connection_, damage_, XCB_NONE, XCB_NONE);
    sync();
    while (xcb_generic_event_t* stale = xcb_poll_for_event(connection_)) {
        noteGeometry(*stale);
        std::free(stale);
    }
    // What the desktop shows where the panel's centre will be, while the panel is not up.
    desktopPixel_.reset();
    if (panelRect_.width > 0 && !isPanelViewable())
        desktopPixel_ = pixelAt(root_, panelRect_.x + panelRect_.width / 2,
                                panelRect_.y + panelRect_.height / 2);
    auto start = Clock::now();
    key(tab_, true);
    xcb_flush(connection_);
    return start;
}

std::optional<SwitchTiming> PanelProbe::measureSwitch(std::chrono::milliseconds timeout,
                                                      SwitchPlan plan) {
    key(alt_, true);
    sync();
    // A person's Alt leads the Tab by far more; this keeps the modifier's own handling out of
    // the figure.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto start = pressTabOnCleanSlate();
    auto deadline = start + timeout;

    SwitchTiming timing;
    bool mapped = false;
    bool knownPanel = false;
    while (xcb_generic_event_t* event = nextEvent(deadline)) {
        auto now = Clock::now();
        int type = event->response_type & 0x7F;
        if (!mapped && type == XCB_MAP_NOTIFY) {
            auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (map->override_redirect) {
                mapped = true;
                timing.toMappedMs = millisecondsBetween(start, now);
                knownPanel = map->window == panel_;
                watchPanel(map->window);
                xcb_flush(connection_);
            }
        } else if (mapped && type == damageNotify_) {
            auto* damage = reinterpret_cast<xcb_damage_notify_event_t*>(event);
            // The first switch only learns the window; its paint may come before the
            // damage object exists, so it reports no paint time. A window without a
            // background is damaged by its map alone, before its client drew anything: the
            // paint is the damage after which its centre no longer shows the desktop.
            if (damage->drawable == panel_ && knownPanel) {
                xcb_damage_subtract(connection_, damage_, XCB_NONE, XCB_NONE);
                if (showsItsPixels())
                    timing.toPaintedMs = millisecondsBetween(start, now);
            }
        }
        std::free(event);
        if (mapped && (timing.toPaintedMs || !knownPanel))
            break;
    }
    if (mapped && knownPanel && plan.steps > 0) {
        for (int step = 0; step < plan.stepsBefore; ++step) {
            key(tab_, false);
            key(tab_, true);
        }
        for (int step = 0; step < plan.steps; ++step)
            timing.stepToPaintedMs.push_back(measureStep(timeout));
    }
    // Held for a moment, as a person would: the fade-in has started, so the fade-out that
    // follows hides the panel at its first step instead of leaving it for the whole fade.
    if (mapped)
        drainFor(std::chrono::milliseconds(40));
    endSwitch(plan.commit);
    if (!mapped)
        return std::nullopt;
    return timing;
}

std::optional<double> PanelProbe::measureStep(std::chrono::milliseconds timeout) {
    key(tab_, false);
    // The fade-in and whatever the first paint left to do settle before the clock starts.
    drainFor(std::chrono::milliseconds(200));
    auto start = pressTabOnCleanSlate();
    auto deadline = start + timeout;
    while (xcb_generic_event_t* event = nextEvent(deadline)) {
        auto now = Clock::now();
        bool painted = (event->response_type & 0x7F) == damageNotify_ &&
                       reinterpret_cast<xcb_damage_notify_event_t*>(event)->drawable == panel_;
        std::free(event);
        if (painted)
            return millisecondsBetween(start, now);
    }
    return std::nullopt;
}

void PanelProbe::drainFor(std::chrono::milliseconds quiet) {
    xcb_flush(connection_);
    auto until = Clock::now() + quiet;
    while (xcb_generic_event_t* event = nextEvent(until))
        std::free(event);
}

void PanelProbe::endSwitch(bool commit) {
    key(tab_, false);
    if (!commit) {
        key(escape_, true);
        key(escape_, false);
    }
    key(alt_, false);
    xcb_flush(connection_);
    if (panel_)
        waitForUnmap(Clock::now() + std::chrono::seconds(3));
}

bool PanelProbe::isPanelViewable() {
    auto* attributes = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, panel_), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return viewable;
}

bool PanelProbe::waitForUnmap(Clock::time_point deadline) {
    bool viewable = isPanelViewable();
    while (viewable) {
        xcb_generic_event_t* event = nextEvent(deadline);
        if (!event)
            return false;
        if ((event->response_type & 0x7F) == XCB_UNMAP_NOTIFY &&
            reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window == panel_)
            viewable = false;
        std::free(event);
    }
    return true;
}

bool PanelProbe::waitUntilSwitching(std::chrono::seconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (measureSwitch(std::chrono::milliseconds(1500)))
            return true;
    }
    return false;
}

} // namespace corvane::bench
