// Remembered text layouts: a layout answered from memory is the one a fresh measurement gives,
// for each combination of font, width and line limit, and a font change forgets them.
#include "platform/qt/QtTextMetrics.h"

#include <QFont>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <tuple>

namespace corvane {
namespace {

TEST(QtTextMetricsMemory, RememberedLayoutsMatchFreshOnesAndAFontChangeForgetsThem) {
    const std::string title = "Mail — Re: the quarterly planning meeting moved to Thursday";
    struct Ask {
        bool singleLine;
        Font font;
        double width;
        int maxLines;
    };
    // One text asked in ways that each give another layout: any part missing from the memory's
    // key would hand one of them another's answer.
    const Font small = Font::systemFont(10);
    const Ask asks[] = {{false, small, 130, 2},
                        {false, small, 60, 2},
                        {false, small, 130, 1},
                        {false, small, 130, 0},
                        {false, Font::systemFont(14), 130, 2},
                        {false, Font::systemFont(10, FontWeight::bold), 130, 2},
                        {false, small, std::nan(""), 1},
                        {true, small, 0, 0},
                        {true, Font::systemFont(14, FontWeight::bold), 0, 0}};
    QtTextMetrics remembering;
    auto ask = [&title](const QtTextMetrics& metrics, const Ask& a) {
        const TextLayout l = a.singleLine ? metrics.measureSingleLine(title, a.font)
                                          : metrics.layoutText(title, a.font, a.width, a.maxLines);
        return std::tuple(l.lines, l.width, l.height, l.truncated);
    };
    for (int round = 0; round < 2; ++round)
        for (const Ask& a : asks) {
            SCOPED_TRACE(testing::Message()
                         << "round " << round << ", width " << a.width << ", lines " << a.maxLines);
            EXPECT_EQ(ask(remembering, a), ask(QtTextMetrics(), a));
        }
    EXPECT_EQ(remembering.rememberedLayouts(), std::size(asks));

    const QFont before = QGuiApplication::font();
    QFont other = before;
    other.setPointSize(before.pointSize() + 3);
    QGuiApplication::setFont(other);
    EXPECT_EQ(remembering.rememberedLayouts(), 0u);
    QGuiApplication::setFont(before);
}

} // namespace
} // namespace corvane
