#pragma once
// Corvane's own connection to the X server (not the toolkit's), shared by the X11 event tap,
// window list, Accessibility and workspace services. It owns the xcb connection and the EWMH
// atoms and closes the connection when destroyed; the services use it and must not outlive it.
//
// Pumping: nothing here reads the socket by itself and no timer runs. The owner of the main run
// loop watches fileDescriptor() for input (a socket notifier) and calls drain() when it is
// readable and once before the loop blocks (xcb may already hold events it read while waiting
// for a reply, which no notifier would announce). drain() hands every pending event and error
// to the listeners, in order, then checks the connection: when it has broken, one log line is
// written and onConnectionLost is called once (the program hooks it to terminate; the server
// has already dropped every grab of a closed connection).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace corvane {

class SystemLog;

class X11EventListener {
  public:
    virtual ~X11EventListener() = default;
    // Every event and every error (response_type 0) the connection reads, in order.
    virtual void handleX11Event(const xcb_generic_event_t& event) = 0;
    // At the first drain after a settle(): what the settle came before (the panel's map) has
    // gone out, and requests held back so as not to delay it can follow.
    virtual void settleHasPassed() {}
};

class X11Connection {
  public:
    // Connects to displayName (nullptr: $DISPLAY). Null, with a log line, when that fails.
    static std::unique_ptr<X11Connection> open(SystemLog& log, const char* displayName = nullptr);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* xcb() const { return connection_; }
    xcb_ewmh_connection_t& ewmh() { return ewmh_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    int screenNumber() const { return screenNumber_; }
    // The display as it was named ($DISPLAY unless given), for log lines.
    const std::string& displayName() const { return displayName_; }
    SystemLog& log() { return log_; }

    int fileDescriptor() const;
    void drain();
    // Waits until the server has handled every request sent so far, then drains. A key press
    // answered with AllowEvents makes the server replay the keys it held meanwhile (a chord's
    // release typed at once): their events are handled before this returns.
    void settle();
    // Sent right after a key press is answered: the next settle() waits for this request
    // instead, whose answer is usually back by then. The keys the answer released come before
    // it, which is all that settle is for after a key press.
    void settleAhead();
    // Incremented at every drain(): whatever was read from the server before it may be stale.
    std::uint64_t generation() const { return generation_; }

    // Checks the connection after requests were made; reports a lost one (see above).
    bool checkAlive();
    bool isLost() const { return isLost_; }
    std::function<void()> onConnectionLost;

    void addListener(X11EventListener* listener);
    void removeListener(X11EventListener* listener);

    bool hasXkb() const { return hasXkb_; }
    std::uint8_t xkbFirstEvent() const { return xkbFirstEvent_; }
    std::int32_t xkbDeviceId() const { return xkbDeviceId_; }
    bool hasXRes() const { return hasXRes_; }

  private:
    X11Connection(xcb_connection_t* connection, int screenNumber, SystemLog& log);
    void setUpExtensions();
    void tellListeners(const std::function<void(X11EventListener&)>& tell);

    xcb_connection_t* connection_;
    int screenNumber_;
    std::string displayName_;
    SystemLog& log_;
    xcb_screen_t* screen_ = nullptr;
    xcb_ewmh_connection_t ewmh_{};
    std::vector<X11EventListener*> listeners_;
    std::uint64_t generation_ = 0;
    std::optional<xcb_get_input_focus_cookie_t> settleAhead_;
    bool hasSettled_ = false; // the listeners hear of it at the next drain
    bool isDrainingForSettle_ = false;
    bool isLost_ = false;
    bool hasXkb_ = false;
    std::uint8_t xkbFirstEvent_ = 0;
    std::int32_t xkbDeviceId_ = -1;
    bool hasXRes_ = false;
};

} // namespace corvane
