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

// Read by the store that wrote them and by the next launch's: values keep their types, and
// values written outside Corvane (`defaults write`) apply at the next read.
TEST(MacPreferences, ValuesKeepTheirTypesAndChangesFromOutsideApplyAtTheNextRead) {
    QTemporaryDir dir;
    // A settings format that keeps each value's type, as the native format does on macOS (a
    // property list in the defaults domain); the INI format, which keeps only text, cannot stand
    // in for it.
    static const QSettings::Format typed = QSettings::registerFormat(
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
    auto settings = [&] {
        return std::make_unique<QSettings>(dir.filePath(QStringLiteral("defaults")), typed);
    };
    MacPreferencesStore store(settings());
    store.setObject("hotkeyMode", std::string("cmdTab"));
    store.setObject("mouseHoverKeepOpen", false);
    store.setObject("looksLikeABool", std::string("true"));
    store.setObject("scale", 2.5);
    store.setObject("removed", true);
    store.setObject("removed", std::monostate{});
    // What `defaults read` would show: a real Bool and real strings, not their text.
    const auto raw = settings();
    EXPECT_EQ(raw->value(QStringLiteral("mouseHoverKeepOpen")).typeId(), QMetaType::Bool);
    EXPECT_EQ(raw->value(QStringLiteral("hotkeyMode")).typeId(), QMetaType::QString);
    EXPECT_FALSE(raw->contains(QStringLiteral("removed")));
    raw->setValue(QStringLiteral("mouseHoverKeepOpen"), true);
    raw->setValue(QStringLiteral("integer"), 3);
    raw->setValue(QStringLiteral("list"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
    raw->sync();

    const std::pair<const char*, PropertyValue> cases[] = {
        {"hotkeyMode", std::string("cmdTab")},
        {"mouseHoverKeepOpen", true},
        {"looksLikeABool", std::string("true")}, // a string stays a string
        {"scale", 2.5},
        {"integer", 3.0},
        {"list", OtherValue{"a, b"}},
        {"removed", std::monostate{}},
        {"neverSet", std::monostate{}}};
    MacPreferencesStore restarted(settings());
    for (const auto& [key, expected] : cases) {
        EXPECT_EQ(store.objectForKey(key), expected) << key;
        EXPECT_EQ(restarted.objectForKey(key), expected) << key << " after a restart";
    }
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
