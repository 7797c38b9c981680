#include "fakes/FakeSystemLog.h"
#include "platform/qt/QtPreferencesStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace corvane {
namespace {

using corvane::testing::FakeSystemLog;

class PreferencesFile : public ::testing::Test {
  protected:
    QString path() const { return dir.path() + QStringLiteral("/corvane/corvane.conf"); }

    // A new store on the same file: what the next launch of Corvane sees.
    std::unique_ptr<QtPreferencesStore> restart() {
        return std::make_unique<QtPreferencesStore>(path(), log);
    }

    void writeFile(const QByteArray& bytes) {
        QDir().mkpath(dir.path() + QStringLiteral("/corvane"));
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir;
    FakeSystemLog log;
};

TEST_F(PreferencesFile, ValuesReadBackWithTheirTypesAfterARestart) {
    using S = std::string;
    const std::pair<const char*, PropertyValue> cases[] = {
        {"hotkeyMode", S("cmdTab")},
        {"mouseHoverKeepOpen", false},
        {"flagOn", true},
        {"count", 3.0},
        {"fraction", -0.25},
        {"empty", S()},
        {"unicode", S("Fenêtre — ☃")},
        {"sentence", S("Option+Tab, then release")},
        {"removed", std::monostate{}}};
    auto store = restart();
    store->setObject("removed", true);
    for (const auto& [key, value] : cases)
        store->setObject(key, value);
    // The next launch reads the file while this session's store is still open: every write is
    // on disk at once, not only when the store goes away.
    auto next = restart();
    for (const auto& [key, value] : cases)
        EXPECT_EQ(next->objectForKey(key), value) << key;
    // Edited outside Corvane, twice at once: both sessions read each edit at their next read.
    for (const char* mode : {"optionTab", "cmdTab"}) {
        writeFile(QByteArray("[General]\nhotkeyMode=") + mode + "\n");
        for (const auto* session : {store.get(), next.get()})
            EXPECT_EQ(session->objectForKey("hotkeyMode"), PropertyValue(S(mode)));
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(PreferencesFile, OnlyExactTrueAndFalseAreBooleansAndAListIsNeitherTextNorBoolean) {
    writeFile("[General]\na=true\nb=false\nc=TRUE\nd=yes\ne=1\nf=\" true\"\ng=1e3\nh=0x10\n"
              "i=nan\nj=12abc\nk=inf\nl=optionTab, cmdTab\n");
    using S = std::string;
    const std::pair<const char*, PropertyValue> cases[] = {
        {"a", true},       {"b", false},     {"c", S("TRUE")},
        {"d", S("yes")},   {"e", 1.0},       {"f", S(" true")},
        {"g", 1000.0},     {"h", S("0x10")}, {"i", S("nan")},
        {"j", S("12abc")}, {"k", S("inf")},  {"l", OtherValue{"optionTab, cmdTab"}}};
    auto store = restart();
    for (const auto& [key, expected] : cases)
        EXPECT_EQ(store->objectForKey(key), expected) << key;
}

// A damaged file, or something other than a regular file where the file should be, from the
// start or swapped in while Corvane runs, means defaults and one log line, and the path is left
// exactly as it was: a file the user may want to repair is never overwritten, and a FIFO or a
// device is never opened, so neither start-up nor the menu's writes can block on it. The session
// still remembers a choice.
TEST_F(PreferencesFile, ADamagedFileOrAPathThatIsNoFileMeansDefaultsAndIsLeftAsItWas) {
    enum class Put { bytes, directory, fifo, device };
    struct Case {
        const char* name;
        Put put;
        QByteArray bytes;
        bool swappedLater = false;
    };
    const Case cases[] = {
        {"NUL bytes", Put::bytes, QByteArray("[General]\nhotkeyMode=cmdTab\n\0\0\xff\xfe bad", 36)},
        {"not UTF-8", Put::bytes, "[General]\nhotkeyMode=\xc3\x28\xa0\xa1\n"},
        {"a directory, unreadable by anyone, root included", Put::directory, {}},
        {"a FIFO", Put::fifo, {}},
        {"a FIFO swapped in", Put::fifo, {}, true},
        {"a device", Put::device, {}},
        {"a device swapped in", Put::device, {}, true},
    };
    std::signal(SIGPIPE, SIG_IGN); // a reader that stops early is a failure, not a crash
    const QByteArray name = QFile::encodeName(path());
    // What is at the path: its kind and, for a file, its bytes.
    auto state = [&] {
        struct stat info = {};
        if (lstat(name.constData(), &info) != 0)
            return std::string("nothing");
        QFile file(path());
        return S_ISREG(info.st_mode) && file.open(QIODevice::ReadOnly)
                   ? file.readAll().toStdString()
                   : "kind " + std::to_string(info.st_mode & S_IFMT);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("[General]\nhotkeyMode=cmdTab\n");
        auto store = restart();
        if (c.swappedLater) {
            EXPECT_EQ(store->objectForKey("hotkeyMode"), PropertyValue(std::string("cmdTab")));
        } else {
            store.reset();
        }
        ASSERT_EQ(::remove(name.constData()), 0);
        const bool placed = c.put == Put::directory ? QDir().mkpath(path())
                            : c.put == Put::fifo    ? mkfifo(name.constData(), 0600) == 0
                            : c.put == Put::device  ? symlink("/dev/null", name.constData()) == 0
                                                    : (writeFile(c.bytes), true);
        ASSERT_TRUE(placed);
        const std::string before = state();
        // Feeds preferences to whoever opens the FIFO for reading, and counts the opens: a
        // store that opened it at all would read these, never hang. A non-blocking open for
        // writing succeeds exactly when a reader is there (waiting in its open).
        std::atomic<int> opens = 0;
        std::optional<std::jthread> feeder;
        if (c.put == Put::fifo)
            feeder.emplace([&opens, &name](std::stop_token stop) {
                while (!stop.stop_requested()) {
                    const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
                    if (fd < 0) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                        continue;
                    }
                    ++opens;
                    const char text[] = "[General]\nhotkeyMode=cmdTab\n";
                    [[maybe_unused]] const auto written = ::write(fd, text, sizeof text - 1);
                    ::close(fd);
                }
            });
        log.lines.clear();
        if (!store)
            store = restart();
        EXPECT_TRUE(isAbsent(store->objectForKey("hotkeyMode")));
        store->setObject("hotkeyMode", std::string("optionTab"));
        EXPECT_EQ(store->objectForKey("hotkeyMode"), PropertyValue(std::string("optionTab")));
        store.reset();
        feeder.reset();
        EXPECT_EQ(opens, 0);
        EXPECT_EQ(state(), before);
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines[0].find(c.put == Put::bytes ? "damaged" : "is not a regular file"),
                  std::string::npos);
        ASSERT_EQ(::remove(name.constData()), 0);
    }
}

} // namespace
} // namespace corvane
