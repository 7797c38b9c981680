#include "BenchDesktop.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

extern char** environ;

namespace corvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Process ids of every live child, for endAllChildren(). Plain array so a signal path can read it.
constexpr int kMaxChildren = 64;
volatile pid_t liveChildren[kMaxChildren] = {};

void remember(pid_t pid) {
    for (auto& slot : liveChildren) {
        if (slot == 0) {
            slot = pid;
            return;
        }
    }
}

void forget(pid_t pid) {
    for (auto& slot : liveChildren) {
        if (slot == pid)
            slot = 0;
    }
}

std::vector<std::string> childEnvironment(const std::string& display, const std::string& state) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        // A desktop session's variables would send the children to the real session's bus,
        // tray or config; each child gets this private desktop's instead.
        static const char* dropped[] = {"DISPLAY=", "DBUS_", "XDG_", "WAYLAND_", "QT_", "HOME="};
        if (std::none_of(std::begin(dropped), std::end(dropped),
                         [&](const char* prefix) { return text.rfind(prefix, 0) == 0; }))
            env.push_back(text);
    }
    env.push_back("DISPLAY=" + display);
    env.push_back("HOME=" + state);
    env.push_back("XDG_CONFIG_HOME=" + state + "/config");
    env.push_back("XDG_CACHE_HOME=" + state + "/cache");
    env.push_back("XDG_RUNTIME_DIR=" + state + "/runtime");
    env.push_back("QT_QPA_PLATFORM=xcb");
    return env;
}

// Reads lines from fd until one equals stopLine or the deadline passes; returns the lines
// before it, or throws.
std::vector<std::string> readLinesUntil(int fd, const std::string& stopLine,
                                        Clock::time_point deadline, const std::string& who) {
    std::string buffer;
    std::vector<std::string> lines;
    for (;;) {
        std::size_t newline;
        while ((newline = buffer.find('\n')) != std::string::npos) {
            std::string line = buffer.substr(0, newline);
            buffer.erase(0, newline + 1);
            if (line == stopLine)
                return lines;
            lines.push_back(line);
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            throw std::runtime_error(who + " did not say \"" + stopLine + "\" in time");
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char chunk[4096];
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0)
            throw std::runtime_error(who + " closed its output early");
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

} // namespace

BenchDesktop::BenchDesktop(Paths paths) : paths_(std::move(paths)) {
    char pattern[] = "/tmp/corvane-latency-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("cannot make a state folder in /tmp");
    stateDir_ = pattern;
    for (const char* sub : {"/config", "/cache", "/runtime"})
        mkdir((stateDir_ + sub).c_str(), 0700);
    mkdir(paths_.logDir.c_str(), 0755);
}

BenchDesktop::~BenchDesktop() {
    stop(corvane_);
    stop(floor_);
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        stop(*it);
    std::string command = "rm -rf '" + stateDir_ + "'";
    if (std::system(command.c_str()) != 0) {
        // Leaves a folder in /tmp at worst.
    }
}

void BenchDesktop::endAllChildren() {
    for (auto& slot : liveChildren) {
        pid_t pid = slot;
        if (pid > 0)
            kill(-pid, SIGKILL);
    }
}

ChildProcess BenchDesktop::spawn(const std::string& name, const std::vector<std::string>& argv,
                                 bool captureStdout, int passFd) {
    std::vector<std::string> env = childEnvironment(display_, stateDir_);
    std::vector<char*> args, envp;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    int out[2] = {-1, -1};
    if (captureStdout && pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    std::string logPath = paths_.logDir + "/" + name + ".log";
    int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        setsid();
        // A benchmark killed outright takes its X server, clients and Corvane with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(captureStdout ? out[1] : log, 1);
        dup2(log, 2);
        if (passFd >= 0)
            fcntl(passFd, F_SETFD, 0);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    if (log >= 0)
        close(log);
    ChildProcess child{name, pid, -1};
    if (captureStdout) {
        close(out[1]);
        child.stdoutFd = out[0];
    }
    remember(pid);
    return child;
}

void BenchDesktop::stop(ChildProcess& child) {
    if (child.pid <= 0)
        return;
    kill(-child.pid, SIGTERM);
    auto deadline = Clock::now() + std::chrono::seconds(2);
    int status = 0;
    while (waitpid(child.pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(-child.pid, SIGKILL);
            waitpid(child.pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    forget(child.pid);
    if (child.stdoutFd >= 0)
        close(child.stdoutFd);
    child.pid = -1;
    child.stdoutFd = -1;
}

void BenchDesktop::start() {
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC); // made inheritable in the child only
    children_.push_back(spawn("xvfb",
                              {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                               "1440x900x24", "-nolisten", "tcp", "-noreset"},
                              false, fds[1]));
    close(fds[1]);
    // Xvfb writes the display number it took, then a newline, to the descriptor it was given.
    std::string number;
    auto xvfbDeadline = Clock::now() + std::chrono::seconds(15);
    while (number.find('\n') == std::string::npos && Clock::now() < xvfbDeadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char chunk[32];
        ssize_t got = read(fds[0], chunk, sizeof chunk);
        if (got <= 0)
            break;
        number.append(chunk, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos)
        throw std::runtime_error("Xvfb did not report a display; see " + paths_.logDir);
    display_ = ":" + number.substr(0, number.find('\n'));
    children_.push_back(
        spawn("openbox", {"openbox", "--sm-disable", "--config-file", paths_.openboxConfig}));
    auto deadline = Clock::now() + std::chrono::seconds(15);
    while (managedWindowCount() < 0) {
        if (Clock::now() > deadline)
            throw std::runtime_error("openbox did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void BenchDesktop::openWindows(int windowCount, int processCount) {
    int already = std::max(0, managedWindowCount());
    for (int p = 0; p < processCount; ++p) {
        int count = windowCount / processCount + (p < windowCount % processCount ? 1 : 0);
        if (count == 0)
            continue;
        std::string app = "app" + std::to_string(p);
        ChildProcess client =
            spawn(app,
                  {paths_.testClient, "--class", app + ",App" + std::to_string(p), "--icon", "32",
                   "--count", std::to_string(count), "--window", "Document {n} of " + app},
                  true);
        children_.push_back(client);
        for (const std::string& id :
             readLinesUntil(client.stdoutFd, "ready", Clock::now() + std::chrono::seconds(60), app))
            windowIds_.push_back(std::uint32_t(std::stoul(id)));
    }
    auto deadline = Clock::now() + std::chrono::seconds(120);
    int managed = 0;
    while ((managed = managedWindowCount()) < already + windowCount) {
        for (const ChildProcess& child : children_) {
            if (child.name == "openbox" && waitpid(child.pid, nullptr, WNOHANG) == child.pid)
                throw std::runtime_error("openbox exited; see " + paths_.logDir + "/openbox.log");
        }
        if (Clock::now() > deadline)
            throw std::runtime_error("openbox manages " + std::to_string(managed) + " of " +
                                     std::to_string(already + windowCount) +
                                     " windows after 120 s");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void BenchDesktop::waitUntilQuiet(std::chrono::milliseconds quiet, std::chrono::seconds limit) {
    xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    const auto deadline = Clock::now() + limit;
    auto quietSince = Clock::now();
    while (Clock::now() - quietSince < quiet && Clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            quietSince = Clock::now();
            std::free(event);
        }
        pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&p, 1, 50);
    }
    xcb_disconnect(c);
}

void BenchDesktop::startCorvane() {
    corvane_ = spawn("corvane", {paths_.corvane});
}

void BenchDesktop::stopCorvane() {
    stop(corvane_);
}

void BenchDesktop::startFloor() {
    floor_ = spawn("floor", {paths_.floorClient});
}

void BenchDesktop::stopFloor() {
    stop(floor_);
}

int BenchDesktop::managedWindowCount() const {
    xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
    int count = -1;
    if (!xcb_connection_has_error(c)) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const char name[] = "_NET_CLIENT_LIST";
        auto* atom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
        const char check[] = "_NET_SUPPORTING_WM_CHECK";
        auto* checkAtom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof check - 1, check), nullptr);
        if (atom && checkAtom) {
            auto* wm = xcb_get_property_reply(
                c, xcb_get_property(c, 0, screen->root, checkAtom->atom, XCB_ATOM_WINDOW, 0, 1),
                nullptr);
            if (wm && xcb_get_property_value_length(wm) > 0) {
                auto* list = xcb_get_property_reply(
                    c,
                    xcb_get_property(c, 0, screen->root, atom->atom, XCB_ATOM_WINDOW, 0, 1 << 16),
                    nullptr);
                count = list ? xcb_get_property_value_length(list) / 4 : 0;
                std::free(list);
            }
            std::free(wm);
        }
        std::free(atom);
        std::free(checkAtom);
    }
    xcb_disconnect(c);
    return count;
}

} // namespace corvane::bench
