// The Qt backend's macOS steps: the typed defaults store and the non-activating panel step.

#include "fakes/FakeTextMetrics.h"
#include "platform/macos/MacQtGlue.h"
#include "platform/ui/Panel.h"

#include <QDataStream>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace corvane {
namespace {

// A settings format that keeps each value's type, as the native format does on macOS (a
// property list in the defaults domain); the INI format, which keeps only text, cannot stand
// in for it.
QSettings::Format typedFormat() {
    static const QSettings::Format format = QSettings::registerFormat(
        QStringLiteral("typed"),
        [](QIODevice& device, QSettings::SettingsMap& map) {
            QDataStream stream(&device);
            stream >> map;
            return stream.status() == QDataStream::Ok;
        },
        [](QIODevice& device, const QSettings::SettingsMap& map) {
            QDataStream stream(&device);
            stream << map;
            return stream.status() == QDataStream::Ok;
        });
    return format;
}

class MacPreferences : public ::testing::Test {
  protected:
    std::unique_ptr<QSettings> settings() {
        return std::make_unique<QSettings>(dir.filePath(QStringLiteral("defaults")), typedFormat());
    }
    QTemporaryDir dir;
};

TEST_F(MacPreferences, ValuesKeepTheirTypesAcrossARestart) {
    {
        MacPreferencesStore store(settings());
        store.setObject("hotkeyMode", std::string("cmdTab"));
        store.setObject("mouseHoverKeepOpen", true);
        store.setObject("looksLikeABool", std::string("true"));
        store.setObject("scale", 2.5);
        store.setObject("removed", true);
        store.setObject("removed", std::monostate{});
    }
    // What `defaults read` would show: a real Bool and real strings, not their text.
    const auto raw = settings();
    EXPECT_EQ(raw->value(QStringLiteral("mouseHoverKeepOpen")).typeId(), QMetaType::Bool);
    EXPECT_EQ(raw->value(QStringLiteral("hotkeyMode")).typeId(), QMetaType::QString);
    EXPECT_FALSE(raw->contains(QStringLiteral("removed")));
    // Values written by hand with `defaults write`: an integer, a list.
    raw->setValue(QStringLiteral("integer"), 3);
    raw->setValue(QStringLiteral("list"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
    raw->sync();

    MacPreferencesStore restarted(settings());
    struct Case {
        const char* key;
        PropertyValue expected;
    };
    const Case cases[] = {
        {"hotkeyMode", std::string("cmdTab")},
        {"mouseHoverKeepOpen", true},
        {"looksLikeABool", std::string("true")}, // a string stays a string
        {"scale", 2.5},
        {"integer", 3.0},
        {"list", OtherValue{"a, b"}},
        {"removed", std::monostate{}},
        {"neverSet", std::monostate{}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(restarted.objectForKey(c.key), c.expected) << c.key;
}

TEST_F(MacPreferences, AChangeMadeOutsideCorvaneAppliesAtTheNextRead) {
    MacPreferencesStore store(settings());
    store.setObject("mouseHoverKeepOpen", false);
    const auto outside = settings();
    outside->setValue(QStringLiteral("mouseHoverKeepOpen"), true);
    outside->sync();
    EXPECT_EQ(store.objectForKey("mouseHoverKeepOpen"), PropertyValue{true});
}

TEST(MacPanel, TheNativeStepRunsBeforeTheFirstShowAndAfterEveryOrderingFront) {
    std::vector<bool> visibleAtStep;
    QWidget* stepped = nullptr;
    MacPanelBackendFactory factory(
        [&](WId id) {
            stepped = QWidget::find(id);
            visibleAtStep.push_back(stepped != nullptr && stepped->isVisible());
        },
        [] { return QRect(0, 0, 1440, 900); });
    testing::FakeTextMetrics metrics;
    Panel panel(factory, metrics, Rect{100, 100, 300, 200}, 0, BackingStoreType::buffered, true);

    panel.orderFrontRegardless();
    ASSERT_NE(stepped, nullptr) << "the step is given the panel's own window";
    EXPECT_TRUE(stepped->testAttribute(Qt::WA_TranslucentBackground));
    panel.orderOut();
    panel.orderFrontRegardless();
    EXPECT_EQ(visibleAtStep, (std::vector<bool>{false, true, true}));
    EXPECT_TRUE(stepped->mask().isEmpty()) << "a compositor always runs: no shape mask";
    panel.orderOut();
}

} // namespace
} // namespace corvane
