#pragma once
// Small helpers for reading xcb replies safely, shared by the desktop reader and the window
// cache. Every reply is owned by a unique_ptr; a property that is absent, of the wrong format
// or on a window that has gone reads as nothing, never as garbage.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace corvane {

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;
using PropertyReply = XcbReply<xcb_get_property_reply_t>;

// Longest reads, in 32-bit units: window lists, short lists of atoms, names, icons.
inline constexpr std::uint32_t kMaxListUnits = 1 << 16;
inline constexpr std::uint32_t kMaxAtomUnits = 64;
inline constexpr std::uint32_t kMaxNameUnits = 256;
inline constexpr std::uint32_t kMaxIconUnits = 1 << 20;

xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t atom,
                                          std::uint32_t units);
// The property's reply, or null when it is unset or unreadable. windowGone, when given, is set
// when the server answered BadWindow: the window was destroyed after the request was sent.
PropertyReply takeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie,
                           bool* windowGone = nullptr);

std::string_view bytesOf(const xcb_get_property_reply_t& reply);
std::optional<std::uint32_t> cardinalOf(const PropertyReply& reply);
std::vector<xcb_atom_t> atomsOf(PropertyReply reply);
std::vector<xcb_window_t> windowsOf(PropertyReply reply);

// The atom of that name, made when the server has none yet; XCB_ATOM_NONE when it cannot answer.
xcb_atom_t internAtom(xcb_connection_t* c, std::string_view name);

// Waits once until the server has answered everything sent so far. Reading the replies one by
// one as they trickle in costs a poll and a read per reply, which dominates with thousands of
// windows; afterwards they are all buffered and come in a few large reads.
void awaitAllReplies(xcb_connection_t* c);

} // namespace corvane
