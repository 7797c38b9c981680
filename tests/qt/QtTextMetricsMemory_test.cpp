// Remembered text layouts: a layout answered from memory is the one a fresh measurement gives,
// for each combination of font, width and line limit, and a font change forgets them.
#include "platform/qt/QtTextMetrics.h"

#include <QFont>
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace corvane {
namespace {

void expectSameLayout(const TextLayout& a, const TextLayout& b) {
    EXPECT_EQ(a.lines, b.lines);
    EXPECT_DOUBLE_EQ(a.width, b.width);
    EXPECT_DOUBLE_EQ(a.height, b.height);
    EXPECT_EQ(a.truncated, b.truncated);
}

TEST(QtTextMetricsMemory, RememberedLayoutsMatchFreshOnesForEveryKeyPart) {
    const std::string title = "Mail — Re: the quarterly planning meeting moved to Thursday";
    struct Ask {
        bool singleLine;
        Font font;
        double width;
        int maxLines;
    };
    // One text asked in ways that each give another layout: any part missing from the memory's
    // key would hand one of them another's answer.
    const Ask asks[] = {
        {false, Font::systemFont(10), 130, 2},
        {false, Font::systemFont(10), 60, 2},
        {false, Font::systemFont(10), 130, 1},
        {false, Font::systemFont(10), 130, 0},
        {false, Font::systemFont(14), 130, 2},
        {false, Font::systemFont(10, FontWeight::bold), 130, 2},
        {false, Font::systemFont(10), std::nan(""), 1},
        {true, Font::systemFont(10), 0, 0},
        {true, Font::systemFont(14, FontWeight::bold), 0, 0},
    };
    QtTextMetrics remembering;
    auto ask = [&title](const QtTextMetrics& metrics, const Ask& a) {
        return a.singleLine ? metrics.measureSingleLine(title, a.font)
                            : metrics.layoutText(title, a.font, a.width, a.maxLines);
    };
    for (int round = 0; round < 2; ++round)
        for (const Ask& a : asks) {
            SCOPED_TRACE(testing::Message()
                         << "round " << round << ", width " << a.width << ", lines " << a.maxLines);
            QtTextMetrics fresh;
            expectSameLayout(ask(remembering, a), ask(fresh, a));
        }
    EXPECT_EQ(remembering.rememberedLayouts(), std::size(asks));
}

TEST(QtTextMetricsMemory, AFontChangeForgetsWhatWasMeasured) {
    QtTextMetrics metrics;
    metrics.layoutText("Terminal", Font::systemFont(10), 130, 2);
    ASSERT_EQ(metrics.rememberedLayouts(), 1u);
    const QFont before = QGuiApplication::font();
    QFont other = before;
    other.setPointSize(before.pointSize() + 3);
    QGuiApplication::setFont(other);
    EXPECT_EQ(metrics.rememberedLayouts(), 0u);
    QGuiApplication::setFont(before);
}

} // namespace
} // namespace corvane
