// Paints a real HUD of known windows with the Qt painter and checks the pixels a user sees.
#include "Painted.h"
#include "fakes/FakeScreen.h"
#include "fakes/ManualRunLoop.h"
#include "hud/SwitcherHUD.h"
#include "platform/qt/QtPanelBackend.h"
#include "platform/qt/QtTextMetrics.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::FakeScreen;
using testing::ManualRunLoop;

ImageRef solidIcon(std::uint32_t argb) {
    return std::make_shared<Image>(Image{64, 64, std::vector<std::uint32_t>(64 * 64, argb)});
}

WindowInfo window(std::string app, std::string title, ImageRef icon, bool minimized = false) {
    return {
        minimized ? 0u : 100u, std::move(app), std::move(title), std::move(icon), 42, minimized};
}

QColor pixelAt(const QImage& image, double x, double y) {
    return image.pixelColor(int(x), int(y));
}

class HudRendering : public ::testing::Test {
  protected:
    HudRendering() {
        const ImageRef red = solidIcon(0xFFE0301E);
        hud = std::make_shared<SwitcherHUD>(ui);
        hud->windows = {
            window("Editor", "notes.txt", red),
            window("Terminal", "Terminal — bash — 80×24", solidIcon(0xFF2D7FF9)),
            window("Editor", "draft.txt", red, true),
            window("Mail",
                   "Mail — Re: the quarterly planning meeting moved to Thursday "
                   "afternoon because the big room is booked all week",
                   solidIcon(0xFF34C759)),
            window("Files", "", nullptr),
        };
        hud->show(true);
        loop.advance(0.3); // past the fade-in
        panel = hud->panel.get();
        panel->layoutIfNeeded();
        image = render(1.0);
    }

    QImage render(double dpr) {
        const Rect frame = panel->frame();
        return testing::painted(*panel->contentView(), {frame.width, frame.height}, dpr);
    }

    Rect inPanel(const View& view) const {
        return view.frameInAncestor(panel->contentView().get());
    }

    ManualRunLoop loop;
    FakeScreen screen;
    QtTextMetrics metrics;
    QtPanelBackendFactory backends{[] { return true; }};
    UiContext ui{loop, screen, metrics, backends};
    std::shared_ptr<SwitcherHUD> hud;
    Panel* panel = nullptr;
    QImage image;
};

TEST_F(HudRendering, RoundedCornersAreTransparent) {
    const int w = image.width();
    const int h = image.height();
    for (auto [x, y] : {std::pair{1, 1}, {w - 2, 1}, {1, h - 2}, {w - 2, h - 2}})
        EXPECT_EQ(pixelAt(image, x, y).alpha(), 0) << x << "," << y;
    EXPECT_GT(pixelAt(image, 4, h / 2.0).alpha(), 200) << "the backdrop between the cards";
}

// As opened, and after a step back to the first card: the restyle must follow the selection.
TEST_F(HudRendering, OnlyTheSelectedCardHasTheWhiteRingAndBlackBorder) {
    for (const std::size_t selected : {1u, 0u}) {
        SCOPED_TRACE(selected);
        if (selected == 0) {
            hud->moveSelection(false);
            image = render(1.0);
        }
        ASSERT_EQ(hud->selectedIndex, int(selected));
        for (std::size_t i = 0; i < hud->cardWrappers.size(); ++i) {
            const Rect wrapper = inPanel(*hud->cardWrappers[i]);
            const Rect card = inPanel(*hud->cardViews[i]);
            const QColor ring = pixelAt(image, wrapper.x + 0.5, wrapper.midY());
            const QColor border = pixelAt(image, card.x + 0.5, card.midY());
            if (i == selected) {
                EXPECT_GT(ring.red(), 200) << "ring of the selected card";
                EXPECT_LT(border.red(), 20) << "black border";
                EXPECT_LT(pixelAt(image, card.x + 4, card.midY()).red(), 20) << "4.5 points wide";
            } else {
                EXPECT_LT(ring.red(), 60) << "no ring on card " << i;
                EXPECT_GT(border.red(), 50) << "light unselected border on card " << i;
                EXPECT_LT(border.red(), 110) << "light unselected border on card " << i;
            }
        }
    }
}

TEST_F(HudRendering, LongTitleEndsInAnEllipsisOnItsSecondLineAndStaysInTheCard) {
    const auto& card = *hud->cardViews[3];
    const auto* title = dynamic_cast<const TextField*>(card.subviews().at(2).get());
    ASSERT_NE(title, nullptr);
    const TextLayout& layout = title->textLayout();
    ASSERT_EQ(layout.lines.size(), 2u);
    EXPECT_TRUE(layout.truncated);
    EXPECT_EQ(layout.lines[0].rfind("Re: the", 0), 0u) << "the app-name prefix is gone";
    const std::string ellipsis = "…";
    ASSERT_GE(layout.lines[1].size(), ellipsis.size());
    EXPECT_EQ(layout.lines[1].substr(layout.lines[1].size() - ellipsis.size()), ellipsis);

    // Ink of the second line lies inside the label's 130-point width, and nothing is drawn on a
    // third line.
    const Rect cardFrame = inPanel(card);
    const Rect label = inPanel(*title);
    const double lineHeight = QtTextMetrics::lineHeight(title->font());
    auto inkBetween = [&](double top, double bottom, double left, double right) {
        int ink = 0;
        for (int y = int(top); y < int(bottom); ++y)
            for (int x = int(left); x < int(right); ++x)
                if (pixelAt(image, x, y).green() > 120)
                    ++ink;
        return ink;
    };
    const double second = label.y + lineHeight;
    EXPECT_GT(inkBetween(second, second + lineHeight, label.x, label.maxX()), 20);
    EXPECT_EQ(inkBetween(second, second + lineHeight, label.maxX() + 0.5, cardFrame.maxX() - 1), 0);
    EXPECT_EQ(inkBetween(second + lineHeight + 1, cardFrame.maxY() - 5, label.x, label.maxX()), 0);
}

TEST_F(HudRendering, IconsStaySharpAtDoubleDensity) {
    auto split = std::make_shared<Image>(Image{96, 96, {}});
    for (int i = 0; i < 96 * 96; ++i)
        split->argb.push_back(i % 96 < 48 ? 0xFFFF0000u : 0xFF0000FFu);
    hud->windows[0].appIcon = split;
    hud->cardViews[0]->setInfo(hud->windows[0]);
    panel->layoutIfNeeded();
    const QImage hiDpi = render(2.0);
    const Rect card = inPanel(*hud->cardViews[0]);
    // 48 points at 2x are the image's 96 pixels: the halves meet without a blended column.
    const int seam = int((card.x + 70) * 2);
    const int row = int((card.y + 38) * 2);
    EXPECT_GT(hiDpi.pixelColor(seam - 1, row).red(), 240);
    EXPECT_GT(hiDpi.pixelColor(seam, row).blue(), 240);
    EXPECT_LT(hiDpi.pixelColor(seam, row).red(), 15);
}

// Cards are composited from pictures kept between paints: after the list is reordered and a
// window renamed, they must paint as the cards painted in place would.
TEST_F(HudRendering, KeptCardPicturesPaintAsTheCardsInPlace) {
    QtViewPainter kept;
    const QSizeF size(panel->frame().width, panel->frame().height);
    testing::painted(*panel->contentView(), size, 1, std::nullopt, &kept);
    hud->hide();
    loop.advance(0.5);
    std::rotate(hud->windows.begin(), hud->windows.begin() + 2, hud->windows.begin() + 3);
    hud->windows[3].windowTitle = "Mail — Renamed";
    hud->show(true);
    panel->layoutIfNeeded();
    for (double dpr : {1.0, 2.0})
        EXPECT_LE(testing::largestDifference(
                      testing::painted(*panel->contentView(), size, dpr, std::nullopt, &kept),
                      testing::painted(*panel->contentView(), size, dpr)),
                  1)
            << dpr;
}

TEST(QtViewPainterImages, MalformedImagesAreRefused) {
    for (const Image& bad : {Image{10, 10, std::vector<std::uint32_t>(99, 0xFF000000u)},
                             Image{-1, 4, {}}, Image{65535, 65535, {}}})
        EXPECT_TRUE(QtViewPainter::toQImage(bad).isNull()) << bad.width;
    Image fine{2, 1, {0x80FF0000u, 0xFF00FF00u}};
    const QImage converted = QtViewPainter::toQImage(fine).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(converted.pixel(0, 0), 0x80FF0000u);
    EXPECT_EQ(converted.pixel(1, 0), 0xFF00FF00u);
}

} // namespace
} // namespace corvane
