#include "fakes/FakeSystemLog.h"
#include "platform/qt/QtPreferencesStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

    QByteArray fileBytes() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    FakeSystemLog log;
};

TEST_F(PreferencesFile, ValuesReadBackWithTheirTypesAfterARestart) {
    struct Case {
        const char* key;
        PropertyValue stored;
    };
    using S = std::string;
    const Case cases[] = {{"hotkeyMode", S("cmdTab")},
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
    for (const auto& c : cases)
        store->setObject(c.key, c.stored);
    // The next launch reads the file while this session's store is still open: every write is
    // on disk at once, not only when the store goes away.
    auto next = restart();
    for (const auto& c : cases)
        EXPECT_EQ(next->objectForKey(c.key), c.stored) << c.key;
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(PreferencesFile, OnlyExactTrueAndFalseAreBooleansAndAListIsNeitherTextNorBoolean) {
    writeFile("[General]\na=true\nb=false\nc=TRUE\nd=yes\ne=1\nf=\" true\"\ng=1e3\nh=0x10\n"
              "i=nan\nj=12abc\nk=inf\nl=optionTab, cmdTab\n");
    using S = std::string;
    const std::pair<const char*, PropertyValue> cases[] = {
        {"a", true},     {"b", false},      {"c", S("TRUE")}, {"d", S("yes")},
        {"e", 1.0},      {"f", S(" true")}, {"g", 1000.0},    {"h", S("0x10")},
        {"i", S("nan")}, {"j", S("12abc")}, {"k", S("inf")},  {"l", OtherValue{}}};
    auto store = restart();
    for (const auto& [key, expected] : cases) {
        const PropertyValue value = store->objectForKey(key);
        if (std::holds_alternative<OtherValue>(expected)) {
            EXPECT_TRUE(std::holds_alternative<OtherValue>(value)) << key;
        } else {
            EXPECT_EQ(value, expected) << key;
        }
    }
}

// A damaged file, or a directory where the file should be (unreadable by anyone, root
// included), means defaults, one log line, and a file left exactly as it was; the session still
// remembers a choice.
TEST_F(PreferencesFile, DamagedOrUnreadableFileMeansDefaultsAndIsNeverOverwritten) {
    const std::vector<QByteArray> damaged = {
        QByteArray("[General]\nhotkeyMode=cmdTab\n\0\0\xff\xfe garbage", 36),
        QByteArray("[General]\nhotkeyMode=\xc3\x28\xa0\xa1\n"),
        QByteArray(), // stands for the directory
    };
    for (const QByteArray& bytes : damaged) {
        if (bytes.isEmpty()) {
            QFile::remove(path());
            ASSERT_TRUE(QDir().mkpath(path()));
        } else {
            writeFile(bytes);
        }
        log.lines.clear();
        {
            auto store = restart();
            EXPECT_FALSE(store->isBackedByFile());
            EXPECT_TRUE(isAbsent(store->objectForKey("hotkeyMode")));
            store->setObject("hotkeyMode", std::string("optionTab"));
            EXPECT_EQ(store->objectForKey("hotkeyMode"), PropertyValue(std::string("optionTab")));
        }
        if (bytes.isEmpty()) {
            EXPECT_TRUE(QFileInfo(path()).isDir());
        } else {
            EXPECT_EQ(fileBytes(), bytes);
        }
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines[0].find("Corvane: preferences file"), std::string::npos);
    }
}

// Feeds preferences to whoever opens a FIFO for reading, for as long as the test runs, and
// counts the opens: a store that opened the FIFO at all would read these, never hang. A
// non-blocking open for writing succeeds exactly when a reader is there (waiting in its open).
class FifoFeeder {
  public:
    explicit FifoFeeder(const QString& path) : path_(QFile::encodeName(path).toStdString()) {
        std::signal(SIGPIPE, SIG_IGN); // a reader that stops early is a failure, not a crash
        thread_ = std::thread([this] {
            while (!stop_) {
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd < 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                ++opens_;
                const char text[] = "[General]\nhotkeyMode=cmdTab\n";
                [[maybe_unused]] const auto written = ::write(fd, text, sizeof text - 1);
                ::close(fd);
            }
        });
    }
    ~FifoFeeder() {
        stop_ = true;
        thread_.join();
    }
    int opens() const { return opens_; }

  private:
    std::string path_;
    std::atomic<bool> stop_ = false;
    std::atomic<int> opens_ = 0;
    std::thread thread_;
};

// A FIFO or a device where the file should be, from the start or swapped in while
// Corvane runs: defaults, one log line, and the path never opened, so neither start-up nor the
// menu's writes can block on it or replace it.
TEST_F(PreferencesFile, APathThatIsNotARegularFileIsNeverOpenedAndMeansDefaults) {
    enum class Kind { fifo, device };
    const std::pair<Kind, bool> cases[] = {
        {Kind::fifo, false}, {Kind::fifo, true}, {Kind::device, false}, {Kind::device, true}};
    for (const auto& [kind, swappedLater] : cases) {
        SCOPED_TRACE(static_cast<int>(kind) * 10 + swappedLater);
        writeFile("[General]\nhotkeyMode=cmdTab\n");
        auto store = restart();
        const QByteArray name = QFile::encodeName(path());
        auto replace = [&] {
            QFile::remove(path());
            if (kind == Kind::fifo) {
                ASSERT_EQ(mkfifo(name.constData(), 0600), 0);
            } else {
                ASSERT_EQ(symlink("/dev/null", name.constData()), 0);
            }
        };
        if (swappedLater) {
            EXPECT_EQ(store->objectForKey("hotkeyMode"), PropertyValue(std::string("cmdTab")));
        } else {
            store.reset();
        }
        replace();
        std::optional<FifoFeeder> feeder;
        if (kind == Kind::fifo)
            feeder.emplace(path());
        log.lines.clear();
        if (!swappedLater)
            store = restart();
        EXPECT_TRUE(isAbsent(store->objectForKey("hotkeyMode")));
        store->setObject("hotkeyMode", std::string("optionTab"));
        EXPECT_EQ(store->objectForKey("hotkeyMode"), PropertyValue(std::string("optionTab")));
        store.reset();
        if (feeder) {
            EXPECT_EQ(feeder->opens(), 0);
        }
        struct stat after = {};
        ASSERT_EQ(lstat(name.constData(), &after), 0);
        EXPECT_FALSE(S_ISREG(after.st_mode)); // not replaced by a file of Corvane's
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines[0].find("is not a regular file"), std::string::npos);
        QFile::remove(path());
    }
}

} // namespace
} // namespace corvane
