#pragma once
// The keyboard event tap: sees every key-down, key-up and modifier change of the session
// before any application does, and for each one asks a callback whether to swallow it or let
// it pass. The callback runs on the main thread, from the tap's run-loop source.
//
// Ownership: the caller owns the tap and its run-loop source through the returned pointers;
// either may be destroyed first. The tap does not own userInfo; whoever creates the tap keeps
// userInfo alive while it is enabled. Destroying a tap disables it.

#include <cstdint>
#include <memory>

namespace corvane {

// Event types, as the platform numbers them.
inline constexpr std::uint32_t kCGEventKeyDown = 10;
inline constexpr std::uint32_t kCGEventKeyUp = 11;
inline constexpr std::uint32_t kCGEventFlagsChanged = 12;
inline constexpr std::uint32_t kCGEventTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr std::uint32_t kCGEventTapDisabledByUserInput = 0xFFFFFFFF;

// Bits of the flag word.
inline constexpr std::uint64_t kCGEventFlagMaskAlphaShift = 0x10000; // Caps Lock
inline constexpr std::uint64_t kCGEventFlagMaskShift = 0x20000;
inline constexpr std::uint64_t kCGEventFlagMaskControl = 0x40000;
inline constexpr std::uint64_t kCGEventFlagMaskAlternate = 0x80000; // Option, Alt
inline constexpr std::uint64_t kCGEventFlagMaskCommand = 0x100000;  // Command, Super

// Virtual key codes of the keys Corvane acts on.
inline constexpr std::int64_t kVK_Return = 36;
inline constexpr std::int64_t kVK_Tab = 48;
inline constexpr std::int64_t kVK_Escape = 53;
inline constexpr std::int64_t kVK_ANSI_KeypadEnter = 76;
inline constexpr std::int64_t kVK_LeftArrow = 123;
inline constexpr std::int64_t kVK_RightArrow = 124;

// What the tap hands over of one event: the only two fields Corvane reads.
struct TapEvent {
    std::int64_t keyCode = 0;
    std::uint64_t flags = 0;
};

enum class TapResult { pass, swallow };

using EventTapCallback = TapResult (*)(std::uint32_t type, const TapEvent& event, void* userInfo);

// Which keys the tap's owner cares about right now. A tap that sees every event (as on macOS)
// may ignore it; a tap built on key grabs (X11) grabs only these, so that keys Corvane does not
// want are never held up. The owner updates it after every decision and whenever its state or
// the chosen chord may have changed.
struct TapInterest {
    std::uint64_t chordModifierFlag = kCGEventFlagMaskAlternate; // the current chord's modifier bit
    bool switchKeysWanted = false; // Tab, arrows, Return, keypad Enter, Escape: a switch or hover
    bool operator==(const TapInterest&) const = default;
};

// Feeds one tap's events into the main run loop once added to it; destroying it takes it off
// again. Made by its tap.
class RunLoopSource {
  public:
    virtual ~RunLoopSource() = default;
    virtual void addToMainRunLoop() = 0;
};

class EventTap {
  public:
    virtual ~EventTap() = default;
    virtual void enable(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setInterest(const TapInterest& interest) = 0;
    // Null when the platform cannot make one; the tap then never delivers.
    virtual std::unique_ptr<RunLoopSource> createRunLoopSource() = 0;
};

class EventTapService {
  public:
    virtual ~EventTapService() = default;

    // Creates a tap at the head of the session for the event types in eventMask (bit n = type n).
    // Returns nullptr when the platform refuses (no permission, no keyboard access). A new tap
    // delivers nothing until its source is on the main run loop and it is enabled.
    virtual std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                                void* userInfo) = 0;
};

} // namespace corvane
