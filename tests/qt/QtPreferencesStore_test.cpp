#include "fakes/FakeSystemLog.h"
#include "platform/qt/QtPreferencesStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    const std::vector<Case> cases = {
        {"hotkeyMode", std::string("cmdTab")},
        {"mouseHoverKeepOpen", false},
        {"flagOn", true},
        {"count", 3.0},
        {"fraction", -0.25},
        {"sentence", std::string("Option+Tab, then release")},
        {"empty", std::string()},
        {"unicode", std::string("Fenêtre — ☃")},
    };
    {
        auto store = restart();
        for (const auto& c : cases)
            store->setObject(c.key, c.stored);
        for (const auto& c : cases)
            EXPECT_EQ(store->objectForKey(c.key), c.stored) << c.key << " in the same session";
    }
    auto next = restart();
    for (const auto& c : cases)
        EXPECT_EQ(next->objectForKey(c.key), c.stored) << c.key << " after a restart";
    EXPECT_TRUE(isAbsent(next->objectForKey("neverWritten")));
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(PreferencesFile, OnlyExactTrueAndFalseAreBooleans) {
    writeFile("[General]\na=true\nb=false\nc=TRUE\nd=yes\ne=1\nf=\" true\"\ng=1e3\nh=0x10\n"
              "i=nan\nj=12abc\nk=inf\n");
    auto store = restart();
    EXPECT_EQ(store->objectForKey("a"), PropertyValue(true));
    EXPECT_EQ(store->objectForKey("b"), PropertyValue(false));
    EXPECT_EQ(store->objectForKey("c"), PropertyValue(std::string("TRUE")));
    EXPECT_EQ(store->objectForKey("d"), PropertyValue(std::string("yes")));
    EXPECT_EQ(store->objectForKey("e"), PropertyValue(1.0));
    EXPECT_EQ(store->objectForKey("f"), PropertyValue(std::string(" true")));
    EXPECT_EQ(store->objectForKey("g"), PropertyValue(1000.0));
    EXPECT_EQ(store->objectForKey("h"), PropertyValue(std::string("0x10")));
    EXPECT_EQ(store->objectForKey("i"), PropertyValue(std::string("nan")));
    EXPECT_EQ(store->objectForKey("j"), PropertyValue(std::string("12abc")));
    EXPECT_EQ(store->objectForKey("k"), PropertyValue(std::string("inf")));
}

TEST_F(PreferencesFile, RemovingAKeyMakesItAbsentForTheNextLaunch) {
    restart()->setObject("mouseHoverKeepOpen", true);
    restart()->setObject("mouseHoverKeepOpen", std::monostate{});
    EXPECT_TRUE(isAbsent(restart()->objectForKey("mouseHoverKeepOpen")));
}

TEST_F(PreferencesFile, AListValueIsNeitherStringNorBoolean) {
    writeFile("[General]\nhotkeyMode=optionTab, cmdTab\n");
    const PropertyValue value = restart()->objectForKey("hotkeyMode");
    EXPECT_TRUE(std::holds_alternative<OtherValue>(value));
}

TEST_F(PreferencesFile, DamagedFileMeansDefaultsAndIsNeverOverwritten) {
    const std::vector<QByteArray> damaged = {
        QByteArray("[General]\nhotkeyMode=cmdTab\n\0\0\xff\xfe garbage", 36),
        QByteArray("[General]\nhotkeyMode=\xc3\x28\xa0\xa1\n"),
    };
    for (const QByteArray& bytes : damaged) {
        writeFile(bytes);
        log.lines.clear();
        {
            auto store = restart();
            EXPECT_FALSE(store->isBackedByFile());
            EXPECT_TRUE(isAbsent(store->objectForKey("hotkeyMode")));
            // The session still remembers a choice; only the file is left alone.
            store->setObject("hotkeyMode", std::string("optionTab"));
            EXPECT_EQ(store->objectForKey("hotkeyMode"), PropertyValue(std::string("optionTab")));
        }
        EXPECT_EQ(fileBytes(), bytes);
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines[0].find("Corvane: preferences file"), std::string::npos);
    }
}

TEST_F(PreferencesFile, UnreadablePathMeansDefaultsAndIsLeftAsItIs) {
    // A directory where the file should be cannot be read by anyone, root included.
    ASSERT_TRUE(QDir().mkpath(path()));
    {
        auto store = restart();
        EXPECT_FALSE(store->isBackedByFile());
        EXPECT_TRUE(isAbsent(store->objectForKey("hotkeyMode")));
        store->setObject("hotkeyMode", std::string("cmdTab"));
        EXPECT_EQ(store->objectForKey("hotkeyMode"), PropertyValue(std::string("cmdTab")));
    }
    EXPECT_TRUE(QFileInfo(path()).isDir());
    EXPECT_EQ(log.lines.size(), 1u);
}

TEST_F(PreferencesFile, AStoredValueIsOnDiskBeforeTheStoreGoesAway) {
    auto store = restart();
    store->setObject("hotkeyMode", std::string("cmdTab"));
    EXPECT_TRUE(fileBytes().contains("hotkeyMode=cmdTab"));
}

} // namespace
} // namespace corvane
