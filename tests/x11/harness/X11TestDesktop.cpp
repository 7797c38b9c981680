// One test's private X desktop (see X11TestDesktop.h).

#include "harness/X11TestDesktop.h"

#include "platform/x11/X11Replies.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xtest.h>

namespace corvane::testing {

namespace {

using Clock = std::chrono::steady_clock;

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Reads one line from fd, waiting at most until deadline. False on timeout or end of file.
bool readLine(int fd, std::string& line, Clock::time_point deadline) {
    line.clear();
    for (char c = 0;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd descriptor{fd, POLLIN, 0};
        if (left.count() <= 0)
            return false;
        if (poll(&descriptor, 1, static_cast<int>(left.count())) <= 0)
            continue;
        if (read(fd, &c, 1) <= 0)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
}

// Every child of every desktop, for endAllChildren(); a plain array a signal path can read.
volatile pid_t liveChildren[64] = {};

void remember(pid_t pid, pid_t replaced) {
    for (auto& slot : liveChildren) {
        if (slot == replaced) {
            slot = pid;
            return;
        }
    }
}

void stopProcess(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(-pid, SIGTERM);
    int status = 0;
    if (!waitUntil([&] { return waitpid(pid, &status, WNOHANG) != 0; }, std::chrono::seconds(3))) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    remember(0, pid);
    pid = 0;
}

// The children's environment: this desktop's display, HOME and XDG folders, none of a session
// the harness may run in (its bus, tray or settings).
std::vector<std::string> childEnvironment(const std::string& display, const std::string& state) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        static const char* dropped[] = {"DISPLAY=", "HOME=", "DBUS_",    "XDG_",
                                        "WAYLAND_", "QT_",   "DESKTOP_", "LC_ALL="};
        if (std::none_of(std::begin(dropped), std::end(dropped),
                         [&](const char* prefix) { return text.rfind(prefix, 0) == 0; }))
            env.push_back(text);
    }
    for (const std::string& variable :
         {"DISPLAY=" + display, "HOME=" + state, "XDG_CONFIG_HOME=" + state + "/config",
          "XDG_DATA_HOME=" + state + "/data", "XDG_CACHE_HOME=" + state + "/cache",
          "XDG_RUNTIME_DIR=" + state + "/runtime", std::string("QT_QPA_PLATFORM=xcb"),
          std::string("LC_ALL=C.UTF-8")})
        env.push_back(variable);
    return env;
}

// The pid in an X server's lock file, 0 when there is none.
pid_t lockHolder(const std::string& number) {
    std::ifstream lock("/tmp/.X" + number + "-lock");
    long pid = 0;
    lock >> pid;
    return static_cast<pid_t>(pid);
}

} // namespace

pid_t X11TestDesktop::spawn(const std::string& name, const std::vector<std::string>& command,
                            int stdoutFd) {
    const std::vector<std::string> env = childEnvironment(display_, stateDir_);
    std::vector<char*> argv, envp;
    for (const auto& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    for (const auto& variable : env)
        envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    const std::string logPath = logDir_.empty() ? "/dev/null" : logDir_ + "/" + name + ".log";
    const pid_t pid = fork();
    if (pid != 0) {
        remember(pid, 0);
        return pid;
    }
    setsid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
    dup2(stdoutFd >= 0 ? stdoutFd : log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

pid_t X11TestDesktop::run(const std::string& name, const std::vector<std::string>& command) {
    const pid_t pid = spawn(name, command);
    clients_.push_back(pid);
    return pid;
}

void X11TestDesktop::stop(pid_t& pid) {
    for (pid_t& client : clients_) {
        if (client == pid)
            stopProcess(client);
    }
    pid = 0;
}

void X11TestDesktop::endAllChildren() {
    for (auto& slot : liveChildren) {
        if (const pid_t pid = slot; pid > 0)
            kill(-pid, SIGKILL);
    }
}

bool X11TestDesktop::startXvfb(int heads) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::string number =
            std::to_string(200 + (static_cast<int>(getpid()) * 7 + attempt * 131) % 800);
        if (access(("/tmp/.X" + number + "-lock").c_str(), F_OK) == 0 ||
            access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0)
            continue;
        display_ = ":" + number;
        const std::string size = std::to_string(1440 * heads) + "x900x24";
        server_ =
            spawn("xvfb", {"Xvfb", display_, "-screen", "0", size, "-nolisten", "tcp", "-noreset"});
        bool exited = false; // the number was taken after all
        const bool ready = waitUntil(
            [&] {
                int status = 0;
                if (waitpid(server_, &status, WNOHANG) == server_)
                    return exited = true;
                if (lockHolder(number) != server_)
                    return false;
                xcb_connection_t* probe = xcb_connect(display_.c_str(), nullptr);
                const bool connected = !xcb_connection_has_error(probe);
                xcb_disconnect(probe);
                return connected;
            },
            std::chrono::seconds(15));
        if (exited) {
            remember(0, server_);
            server_ = 0;
            continue;
        }
        if (ready)
            return true;
        stopProcess(server_);
        break;
    }
    display_.clear();
    return false;
}

std::unique_ptr<X11TestDesktop> X11TestDesktop::create(bool withWindowManager, std::string& failure,
                                                       int heads, const std::string& logDir) {
    std::unique_ptr<X11TestDesktop> desktop(new X11TestDesktop());
    char state[] = "/tmp/corvane-desktop-XXXXXX";
    if (mkdtemp(state) == nullptr) {
        failure = "cannot make a state folder in /tmp";
        return nullptr;
    }
    desktop->stateDir_ = state;
    for (const char* folder : {"/config", "/data", "/cache", "/runtime"})
        mkdir((desktop->stateDir_ + folder).c_str(), 0700);
    desktop->logDir_ = logDir;
    if (!logDir.empty())
        mkdir(logDir.c_str(), 0755);
    if (!desktop->startXvfb(heads)) {
        failure = "Xvfb could not be started (is it installed? scripts/install-deps.sh test)";
        return nullptr;
    }
    const char* display = desktop->display_.c_str();
    desktop->helper_ = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(desktop->helper_)) {
        failure = std::string("cannot connect to ") + display;
        return nullptr;
    }
    xcb_connection_t* helper = desktop->helper_;
    xcb_ewmh_init_atoms_replies(&desktop->helperEwmh_,
                                xcb_ewmh_init_atoms(helper, &desktop->helperEwmh_), nullptr);

    if (withWindowManager) {
        desktop->windowManager_ =
            desktop->spawn("openbox", {"openbox", "--sm-disable", "--config-file",
                                       std::string(CORVANE_X11_TEST_DATA) + "/openbox-rc.xml"});
        const xcb_window_t probe = xcb_generate_id(helper);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(helper)).data;
        xcb_create_window(helper, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const auto listed = [&] { return desktop->listsClient(probe); };
        bool managed = false;
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!managed && Clock::now() < deadline) {
            xcb_unmap_window(helper, probe);
            xcb_map_window(helper, probe);
            xcb_flush(helper);
            managed = waitUntil(listed, std::chrono::milliseconds(300));
        }
        xcb_destroy_window(helper, probe);
        xcb_flush(helper);
        waitUntil([&] { return !listed(); }, std::chrono::seconds(10));
        if (!managed) {
            failure = "openbox did not come up (scripts/install-deps.sh test)";
            return nullptr;
        }
    }

    desktop->connection_ = X11Connection::open(desktop->log_, display);
    if (!desktop->connection_) {
        failure = std::string("Corvane cannot connect to ") + display;
        return nullptr;
    }
    desktop->reader_ = std::make_unique<X11DesktopReader>(*desktop->connection_);
    desktop->windowServer_ = std::make_unique<X11WindowServer>(*desktop->reader_);
    desktop->accessibility_ = std::make_unique<X11Accessibility>(*desktop->reader_);
    desktop->workspace_ = std::make_unique<X11Workspace>(*desktop->reader_);
    return desktop;
}

X11TestDesktop::~X11TestDesktop() {
    workspace_.reset();
    accessibility_.reset();
    windowServer_.reset();
    reader_.reset();
    connection_.reset();
    if (helper_ != nullptr) {
        xcb_ewmh_connection_wipe(&helperEwmh_);
        xcb_disconnect(helper_);
    }
    for (pid_t& client : clients_)
        stopProcess(client);
    stopProcess(windowManager_);
    stopProcess(server_);
    std::error_code ignored; // a folder left in /tmp at worst
    std::filesystem::remove_all(stateDir_, ignored);
}

std::vector<WindowInfo> X11TestDesktop::enumerate() {
    connection_->drain();
    return enumerateWindows(catalogue());
}

X11TestDesktop::Client X11TestDesktop::launch(const std::vector<std::string>& arguments,
                                              std::chrono::milliseconds timeout) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    std::vector<std::string> command{CORVANE_TESTCLIENT_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    Client client;
    client.pid = spawn("testclient" + std::to_string(clients_.size()), command, fds[1]);
    clients_.push_back(client.pid);
    close(fds[1]);
    // The client prints each window id, then "ready" once every window is mapped.
    const auto deadline = Clock::now() + timeout;
    bool ready = false;
    for (std::string line; !ready && readLine(fds[0], line, deadline);) {
        ready = line == "ready";
        if (!ready)
            client.windows.push_back(
                static_cast<std::uint32_t>(std::strtoul(line.c_str(), nullptr, 10)));
    }
    close(fds[0]);
    if (!ready || (windowManager_ != 0 && !waitUntilManaged(client.windows, timeout)))
        stop(client);
    return client;
}

void X11TestDesktop::stopServer() {
    stopProcess(server_);
}

bool X11TestDesktop::pumpUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) {
    return waitUntil(
        [&] {
            pollfd descriptor{connection_->fileDescriptor(), POLLIN, 0};
            poll(&descriptor, 1, 5);
            connection_->drain();
            return condition();
        },
        timeout);
}

bool X11TestDesktop::listsClient(xcb_window_t window) {
    xcb_ewmh_get_windows_reply_t list{};
    if (!xcb_ewmh_get_client_list_reply(&helperEwmh_, xcb_ewmh_get_client_list(&helperEwmh_, 0),
                                        &list, nullptr))
        return false;
    const bool listed = std::find(list.windows, list.windows + list.windows_len, window) !=
                        list.windows + list.windows_len;
    xcb_ewmh_get_windows_reply_wipe(&list);
    return listed;
}

bool X11TestDesktop::waitUntilManaged(const std::vector<std::uint32_t>& windows,
                                      std::chrono::milliseconds timeout) {
    return waitUntil(
        [&] {
            xcb_ewmh_get_windows_reply_t list{};
            if (!xcb_ewmh_get_client_list_stacking_reply(
                    &helperEwmh_, xcb_ewmh_get_client_list_stacking(&helperEwmh_, 0), &list,
                    nullptr))
                return false;
            const bool all = std::all_of(windows.begin(), windows.end(), [&](std::uint32_t w) {
                return std::find(list.windows, list.windows + list.windows_len, w) !=
                       list.windows + list.windows_len;
            });
            xcb_ewmh_get_windows_reply_wipe(&list);
            return all;
        },
        timeout);
}

xcb_window_t X11TestDesktop::root() const {
    return xcb_setup_roots_iterator(xcb_get_setup(helper_)).data->root;
}

xcb_atom_t X11TestDesktop::atom(const char* name) {
    auto* reply = xcb_intern_atom_reply(
        helper_, xcb_intern_atom(helper_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return result;
}

xcb_window_t X11TestDesktop::activeWindow() {
    xcb_window_t active = 0;
    xcb_ewmh_get_active_window_reply(&helperEwmh_, xcb_ewmh_get_active_window(&helperEwmh_, 0),
                                     &active, nullptr);
    return active;
}

std::uint32_t X11TestDesktop::currentDesktop() {
    std::uint32_t desktop = 0;
    xcb_ewmh_get_current_desktop_reply(&helperEwmh_, xcb_ewmh_get_current_desktop(&helperEwmh_, 0),
                                       &desktop, nullptr);
    return desktop;
}

bool X11TestDesktop::isViewable(xcb_window_t window) {
    auto* reply = xcb_get_window_attributes_reply(
        helper_, xcb_get_window_attributes(helper_, window), nullptr);
    const bool viewable = reply != nullptr && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
}

void X11TestDesktop::setProperty(xcb_window_t window, const char* property, xcb_atom_t type,
                                 int format, const void* data, std::size_t count) {
    xcb_change_property(helper_, XCB_PROP_MODE_REPLACE, window, atom(property), type,
                        static_cast<std::uint8_t>(format), static_cast<std::uint32_t>(count), data);
    syncHelper();
}

void X11TestDesktop::syncHelper() {
    std::free(xcb_get_input_focus_reply(helper_, xcb_get_input_focus(helper_), nullptr));
}

void X11TestDesktop::playWindowManager(const std::vector<xcb_window_t>& windows, int depth) {
    xcb_connection_t* c = helper_;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    for (xcb_window_t window : windows) {
        xcb_window_t parent = screen->root;
        for (int level = 0; level < depth; ++level) {
            const xcb_window_t frame = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, frame, parent, 0, 0, 400, 300, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            xcb_map_window(c, frame);
            if (level == 0)
                frames_[window] = frame;
            parent = frame;
        }
        xcb_reparent_window(c, window, parent, 0, 0);
    }
    const xcb_window_t check = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, check, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    setProperty(check, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 32, &check, 1);
    setProperty(check, "_NET_WM_NAME", atom("UTF8_STRING"), 8, "Corvane test manager", 20);
    setProperty(screen->root, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 32, &check, 1);
    const xcb_atom_t supported[] = {atom("_NET_ACTIVE_WINDOW"), atom("_NET_CLIENT_LIST_STACKING")};
    setProperty(screen->root, "_NET_SUPPORTED", XCB_ATOM_ATOM, 32, supported, 2);
    setProperty(screen->root, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, 32, windows.data(),
                windows.size());
}

void X11TestDesktop::stackFrames(const std::vector<xcb_window_t>& bottomToTop) {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    for (xcb_window_t window : bottomToTop)
        xcb_configure_window(helper_, frames_.at(window), XCB_CONFIG_WINDOW_STACK_MODE, &above);
    syncHelper();
}

void X11TestDesktop::announceActive(xcb_window_t window) {
    setProperty(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 32, &window, 1);
}

void X11TestDesktop::listenToRoot() {
    const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(helper_, root(), XCB_CW_EVENT_MASK, &events);
    syncHelper();
}

std::vector<std::pair<xcb_atom_t, xcb_window_t>> X11TestDesktop::rootMessages() {
    // Corvane's requests are handled before the helper's next one is answered.
    xcb_connection_t* corvane = connection_->xcb();
    std::free(xcb_get_input_focus_reply(corvane, xcb_get_input_focus(corvane), nullptr));
    syncHelper();
    std::vector<std::pair<xcb_atom_t, xcb_window_t>> messages;
    while (xcb_generic_event_t* event = xcb_poll_for_event(helper_)) {
        const auto& message = *reinterpret_cast<xcb_client_message_event_t*>(event);
        if ((event->response_type & 0x7F) == XCB_CLIENT_MESSAGE)
            messages.emplace_back(message.type, message.window);
        std::free(event);
    }
    return messages;
}

namespace {

struct KeyboardMapping {
    XcbReply<xcb_get_keyboard_mapping_reply_t> reply;
    int perKey = 0;
    const xcb_keysym_t* syms = nullptr;
};

KeyboardMapping keyboardMapping(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    KeyboardMapping mapping;
    mapping.reply.reset(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    if (mapping.reply) {
        mapping.perKey = mapping.reply->keysyms_per_keycode;
        mapping.syms = xcb_get_keyboard_mapping_keysyms(mapping.reply.get());
    }
    return mapping;
}

} // namespace

std::uint8_t X11TestDesktop::keycodeFor(std::uint32_t keysym) {
    const KeyboardMapping mapping = keyboardMapping(helper_);
    const xcb_setup_t* setup = xcb_get_setup(helper_);
    for (int key = setup->min_keycode; mapping.reply && key <= setup->max_keycode; ++key) {
        if (mapping.syms[(key - setup->min_keycode) * mapping.perKey] == keysym)
            return static_cast<std::uint8_t>(key);
    }
    return 0;
}

std::uint8_t X11TestDesktop::spareKeycode() {
    const KeyboardMapping mapping = keyboardMapping(helper_);
    const xcb_setup_t* setup = xcb_get_setup(helper_);
    for (int key = setup->max_keycode; mapping.reply && key >= setup->min_keycode; --key) {
        const xcb_keysym_t* row = mapping.syms + (key - setup->min_keycode) * mapping.perKey;
        if (std::all_of(row, row + mapping.perKey, [](xcb_keysym_t sym) { return sym == 0; }))
            return static_cast<std::uint8_t>(key);
    }
    return 0;
}

void X11TestDesktop::bindKeycode(std::uint8_t keycode, std::uint32_t keysym) {
    const KeyboardMapping mapping = keyboardMapping(helper_);
    std::vector<xcb_keysym_t> row(static_cast<std::size_t>(std::max(mapping.perKey, 1)), 0);
    row[0] = keysym;
    xcb_change_keyboard_mapping(helper_, 1, keycode, static_cast<std::uint8_t>(row.size()),
                                row.data());
    syncHelper();
}

void X11TestDesktop::fakeKey(std::uint8_t type, std::uint32_t keysym) {
    xcb_test_fake_input(helper_, type, keycodeFor(keysym), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    syncHelper();
}

const WindowInfo* findTitle(const std::vector<WindowInfo>& list, const std::string& title) {
    auto at = std::find_if(list.begin(), list.end(),
                           [&](const WindowInfo& w) { return w.windowTitle == title; });
    return at == list.end() ? nullptr : &*at;
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

} // namespace corvane::testing
