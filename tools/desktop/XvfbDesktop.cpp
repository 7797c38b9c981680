// Corvane's private X desktop (see XvfbDesktop.h).

#include "tools/desktop/XvfbDesktop.h"

#include "platform/x11/X11Replies.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

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

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

pid_t XvfbDesktop::spawn(const std::string& name, const std::vector<std::string>& command,
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

pid_t XvfbDesktop::run(const std::string& name, const std::vector<std::string>& command) {
    const pid_t pid = spawn(name, command);
    clients_.push_back(pid);
    return pid;
}

void XvfbDesktop::stop(pid_t& pid) {
    for (pid_t& client : clients_) {
        if (client == pid)
            stopProcess(client);
    }
    pid = 0;
}

void XvfbDesktop::endAllChildren() {
    for (auto& slot : liveChildren) {
        if (const pid_t pid = slot; pid > 0)
            kill(-pid, SIGKILL);
    }
}

bool XvfbDesktop::startXvfb(int heads) {
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

std::unique_ptr<XvfbDesktop> XvfbDesktop::create(bool withWindowManager, std::string& failure,
                                                 int heads, const std::string& logDir) {
    std::unique_ptr<XvfbDesktop> desktop(new XvfbDesktop());
    if (!desktop->start(withWindowManager, failure, heads, logDir))
        return nullptr;
    return desktop;
}

bool XvfbDesktop::start(bool withWindowManager, std::string& failure, int heads,
                        const std::string& logDir) {
    char state[] = "/tmp/corvane-desktop-XXXXXX";
    if (mkdtemp(state) == nullptr) {
        failure = "cannot make a state folder in /tmp";
        return false;
    }
    stateDir_ = state;
    for (const char* folder : {"/config", "/data", "/cache", "/runtime"})
        mkdir((stateDir_ + folder).c_str(), 0700);
    logDir_ = logDir;
    if (!logDir.empty())
        mkdir(logDir.c_str(), 0755);
    if (!startXvfb(heads)) {
        failure = "Xvfb could not be started (is it installed? scripts/install-deps.sh test)";
        return false;
    }
    helper_ = xcb_connect(display_.c_str(), nullptr);
    if (xcb_connection_has_error(helper_)) {
        failure = "cannot connect to " + display_;
        return false;
    }
    xcb_ewmh_init_atoms_replies(&helperEwmh_, xcb_ewmh_init_atoms(helper_, &helperEwmh_), nullptr);
    if (!withWindowManager)
        return true;

    windowManager_ =
        spawn("openbox", {"openbox", "--sm-disable", "--config-file", CORVANE_OPENBOX_RC});
    const xcb_window_t probe = xcb_generate_id(helper_);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(helper_)).data;
    xcb_create_window(helper_, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const auto listed = [&] { return listsClient(probe); };
    bool managed = false;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!managed && Clock::now() < deadline) {
        xcb_unmap_window(helper_, probe);
        xcb_map_window(helper_, probe);
        xcb_flush(helper_);
        managed = waitUntil(listed, std::chrono::milliseconds(300));
    }
    xcb_destroy_window(helper_, probe);
    xcb_flush(helper_);
    waitUntil([&] { return !listed(); }, std::chrono::seconds(10));
    if (!managed)
        failure = "openbox did not come up (scripts/install-deps.sh test)";
    return managed;
}

XvfbDesktop::~XvfbDesktop() {
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

XvfbDesktop::Client XvfbDesktop::launch(const std::vector<std::string>& arguments,
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

void XvfbDesktop::stopServer() {
    stopProcess(server_);
}

bool XvfbDesktop::listsClient(xcb_window_t window) {
    xcb_ewmh_get_windows_reply_t list{};
    if (!xcb_ewmh_get_client_list_reply(&helperEwmh_, xcb_ewmh_get_client_list(&helperEwmh_, 0),
                                        &list, nullptr))
        return false;
    const bool listed = std::find(list.windows, list.windows + list.windows_len, window) !=
                        list.windows + list.windows_len;
    xcb_ewmh_get_windows_reply_wipe(&list);
    return listed;
}

bool XvfbDesktop::waitUntilManaged(const std::vector<std::uint32_t>& windows,
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

xcb_window_t XvfbDesktop::root() const {
    return xcb_setup_roots_iterator(xcb_get_setup(helper_)).data->root;
}

xcb_atom_t XvfbDesktop::atom(const char* name) {
    return internAtom(helper_, name);
}

void XvfbDesktop::syncHelper() {
    awaitAllReplies(helper_);
}

} // namespace corvane
