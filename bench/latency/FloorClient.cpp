// corvane_latency_floor: the least any switcher can do between the chord and a visible panel,
// measured by the latency benchmark next to Corvane. It grabs Alt+Tab on the root window,
// creates its override-redirect window before any chord, maps it when Tab is pressed with Alt
// held and unmaps it when Tab is released. The X server paints the window's background at the
// map, and the client fills it again at each Expose. Runs until its connection closes.

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <xcb/xcb.h>

int main() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;

    // Tab's keycode: the first whose first keysym is XK_Tab.
    int count = setup->max_keycode - setup->min_keycode + 1;
    auto* map = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, std::uint8_t(count)), nullptr);
    if (!map)
        return 1;
    xcb_keycode_t tab = 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    for (int k = 0; k < count && !tab; ++k) {
        if (syms[k * map->keysyms_per_keycode] == 0xff09)
            tab = xcb_keycode_t(setup->min_keycode + k);
    }
    std::free(map);
    // Alt alone and with Num Lock.
    for (int modifiers : {int(XCB_MOD_MASK_1), XCB_MOD_MASK_1 | XCB_MOD_MASK_2})
        xcb_grab_key(c, 1, screen->root, std::uint16_t(modifiers), tab, XCB_GRAB_MODE_ASYNC,
                     XCB_GRAB_MODE_ASYNC);

    const std::uint16_t width = 600, height = 150;
    xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {0x202020, 1, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root,
                      std::int16_t((screen->width_in_pixels - width) / 2),
                      std::int16_t((screen->height_in_pixels - height) / 2), width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_gcontext_t gc = xcb_generate_id(c);
    const std::uint32_t foreground = 0x4060a0;
    xcb_create_gc(c, gc, window, XCB_GC_FOREGROUND, &foreground);
    xcb_flush(c);

    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        switch (event->response_type & 0x7F) {
        case XCB_KEY_PRESS:
            xcb_map_window(c, window);
            break;
        case XCB_KEY_RELEASE:
            xcb_unmap_window(c, window);
            break;
        case XCB_EXPOSE: {
            const xcb_rectangle_t card{12, 12, 140, 120};
            xcb_poly_fill_rectangle(c, window, gc, 1, &card);
            break;
        }
        }
        std::free(event);
        xcb_flush(c);
    }
    xcb_disconnect(c);
    return 0;
}
