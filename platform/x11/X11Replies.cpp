// Reply helpers (see X11Replies.h).

#include "platform/x11/X11Replies.h"

#include <algorithm>

namespace corvane {

xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t atom,
                                          std::uint32_t units) {
    return xcb_get_property(c, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, units);
}

PropertyReply takeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie,
                           bool* windowGone) {
    xcb_generic_error_t* rawError = nullptr;
    PropertyReply reply(xcb_get_property_reply(c, cookie, &rawError));
    const XcbReply<xcb_generic_error_t> error(rawError);
    if (error && error->error_code == XCB_WINDOW && windowGone != nullptr)
        *windowGone = true;
    if (reply && reply->type == XCB_ATOM_NONE)
        reply.reset();
    return reply;
}

std::string_view bytesOf(const xcb_get_property_reply_t& reply) {
    if (reply.format != 8)
        return {};
    return {static_cast<const char*>(xcb_get_property_value(&reply)),
            static_cast<std::size_t>(std::max(0, xcb_get_property_value_length(&reply)))};
}

std::optional<std::uint32_t> cardinalOf(const PropertyReply& reply) {
    std::uint32_t value = 0;
    if (!reply || !xcb_ewmh_get_cardinal_from_reply(&value, reply.get()))
        return std::nullopt;
    return value;
}

std::vector<xcb_atom_t> atomsOf(PropertyReply reply) {
    xcb_ewmh_get_atoms_reply_t atoms{};
    if (!reply || !xcb_ewmh_get_atoms_from_reply(&atoms, reply.get()))
        return {};
    reply.release(); // the helper owns it now and frees it in the wipe below
    std::vector<xcb_atom_t> result(atoms.atoms, atoms.atoms + atoms.atoms_len);
    xcb_ewmh_get_atoms_reply_wipe(&atoms);
    return result;
}

std::vector<xcb_window_t> windowsOf(PropertyReply reply) {
    xcb_ewmh_get_windows_reply_t windows{};
    if (!reply || !xcb_ewmh_get_windows_from_reply(&windows, reply.get()))
        return {};
    reply.release();
    std::vector<xcb_window_t> result(windows.windows, windows.windows + windows.windows_len);
    xcb_ewmh_get_windows_reply_wipe(&windows);
    return result;
}

xcb_atom_t internAtom(xcb_connection_t* c, std::string_view name) {
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void awaitAllReplies(xcb_connection_t* c) {
    const XcbReply<xcb_get_input_focus_reply_t> answer(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace corvane
