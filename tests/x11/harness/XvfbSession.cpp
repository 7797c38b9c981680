// Private X desktops for tests and benchmarks (see XvfbSession.h).

#include "harness/XvfbSession.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace corvane::testing {

namespace {

using Clock = std::chrono::steady_clock;

// Reads one line from fd, waiting at most until deadline. False on timeout or end of file.
bool readLine(int fd, std::string& line, Clock::time_point deadline) {
    line.clear();
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd descriptor{fd, POLLIN, 0};
        if (poll(&descriptor, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char c;
        const ssize_t count = read(fd, &c, 1);
        if (count <= 0)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
}

bool windowManagerRunning(const std::string& display) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    bool running = false;
    if (!xcb_connection_has_error(c)) {
        xcb_ewmh_connection_t ewmh{};
        if (xcb_ewmh_init_atoms_replies(&ewmh, xcb_ewmh_init_atoms(c, &ewmh), nullptr)) {
            xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
            xcb_window_t check = 0;
            running = xcb_ewmh_get_supporting_wm_check_reply(
                          &ewmh, xcb_ewmh_get_supporting_wm_check(&ewmh, root), &check, nullptr) &&
                      check != 0;
            xcb_ewmh_connection_wipe(&ewmh);
        }
    }
    xcb_disconnect(c);
    return running;
}

bool listsWindow(xcb_ewmh_connection_t& ewmh, xcb_window_t window) {
    xcb_ewmh_get_windows_reply_t list{};
    if (!xcb_ewmh_get_client_list_reply(&ewmh, xcb_ewmh_get_client_list(&ewmh, 0), &list, nullptr))
        return false;
    bool found = false;
    for (std::uint32_t i = 0; i < list.windows_len; ++i)
        found = found || list.windows[i] == window;
    xcb_ewmh_get_windows_reply_wipe(&list);
    return found;
}

// openbox announces itself before it is ready to manage windows, and drops a map request that
// arrives in between. A probe window is mapped again until openbox lists it.
bool windowManagerManages(const std::string& display) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    bool managed = false;
    xcb_ewmh_connection_t ewmh{};
    if (!xcb_connection_has_error(c) &&
        xcb_ewmh_init_atoms_replies(&ewmh, xcb_ewmh_init_atoms(c, &ewmh), nullptr)) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!managed && Clock::now() < deadline) {
            xcb_map_window(c, probe);
            xcb_flush(c);
            managed = XvfbSession::waitUntil([&] { return listsWindow(ewmh, probe); },
                                             std::chrono::milliseconds(300));
        }
        xcb_destroy_window(c, probe);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        xcb_ewmh_connection_wipe(&ewmh);
    }
    xcb_disconnect(c);
    return managed;
}

} // namespace

std::string testClientPath() {
    return CORVANE_TESTCLIENT_PATH;
}
std::string x11TestDataPath(const std::string& name) {
    return std::string(CORVANE_X11_TEST_DATA) + "/" + name;
}

std::unique_ptr<XvfbSession> XvfbSession::start(const std::string& screen) {
    // An explicit display number, not -displayfd: Xvfb takes no lock file with -displayfd, so
    // two servers started at once that way can both bind the same number, each unlinking the
    // other's socket. A high range also stays clear of desktops that do use -displayfd.
    std::unique_ptr<XvfbSession> session(new XvfbSession());
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int number = 200 + (static_cast<int>(getpid()) * 7 + attempt * 131) % 800;
        const std::string name = std::to_string(number);
        if (access(("/tmp/.X" + name + "-lock").c_str(), F_OK) == 0 ||
            access(("/tmp/.X11-unix/X" + name).c_str(), F_OK) == 0)
            continue;
        session->server_ = session->spawn(
            {"Xvfb", ":" + name, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, -1);
        const std::string display = ":" + name;
        int status = 0;
        bool exited = false;
        const bool ready = waitUntil(
            [&] {
                if (waitpid(session->server_, &status, WNOHANG) == session->server_) {
                    exited = true; // the number was taken after all
                    return true;
                }
                xcb_connection_t* probe = xcb_connect(display.c_str(), nullptr);
                const bool connected = !xcb_connection_has_error(probe);
                xcb_disconnect(probe);
                return connected;
            },
            std::chrono::seconds(15));
        if (exited) {
            session->server_ = 0;
            continue;
        }
        if (!ready)
            return nullptr;
        session->display_ = display;
        return session;
    }
    return nullptr;
}

XvfbSession::~XvfbSession() {
    for (pid_t& client : clients_)
        stop(client);
    stop(windowManager_);
    stop(server_);
}

pid_t XvfbSession::spawn(const std::vector<std::string>& arguments, int stdoutFd) {
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (!display_.empty())
        setenv("DISPLAY", display_.c_str(), 1);
    if (stdoutFd >= 0)
        dup2(stdoutFd, STDOUT_FILENO);
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0 && stdoutFd < 0 && arguments[0] != "Xvfb")
        dup2(devNull, STDOUT_FILENO);
    if (devNull >= 0 && arguments[0] == "Xvfb")
        dup2(devNull, STDERR_FILENO); // its start-up chatter is of no use to a test
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void XvfbSession::stop(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid = 0;
}

bool XvfbSession::startWindowManager() {
    windowManager_ =
        spawn({"openbox", "--sm-disable", "--config-file", x11TestDataPath("openbox-rc.xml")}, -1);
    return windowManager_ > 0 &&
           waitUntil([&] { return windowManagerRunning(display_); }, std::chrono::seconds(10)) &&
           windowManagerManages(display_);
}

void XvfbSession::stopWindowManager() {
    stop(windowManager_);
}

XvfbSession::Client XvfbSession::launchClient(const std::vector<std::string>& arguments,
                                              std::chrono::milliseconds timeout) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    std::vector<std::string> command{testClientPath()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    Client client;
    client.pid = spawn(command, fds[1]);
    close(fds[1]);
    const auto deadline = Clock::now() + timeout;
    std::string line;
    bool ready = false;
    while (!ready && readLine(fds[0], line, deadline)) {
        if (line == "ready")
            ready = true;
        else
            client.windows.push_back(
                static_cast<std::uint32_t>(std::strtoul(line.c_str(), nullptr, 10)));
    }
    close(fds[0]);
    if (!ready) {
        stop(client.pid);
        return {};
    }
    clients_.push_back(client.pid);
    return client;
}

void XvfbSession::stopClient(Client& client) {
    for (pid_t& pid : clients_) {
        if (pid == client.pid)
            stop(pid);
    }
    client.pid = 0;
}

int XvfbSession::run(const std::vector<std::string>& arguments, std::chrono::milliseconds timeout) {
    pid_t pid = spawn(arguments, -1);
    if (pid <= 0)
        return -1;
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            stop(pid);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool XvfbSession::waitUntil(const std::function<bool()>& condition,
                            std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace corvane::testing
