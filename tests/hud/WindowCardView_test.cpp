// Window cards: their geometry, the shortened title and the restyle on entering the dark panel
// (dimming and clicks are checked on the cards of the HUD's tests). How the two styles look in the
// panel is checked on painted pixels.

#include "fakes/FakeTextMetrics.h"
#include "hud/WindowCardView.h"
#include "platform/ui/ImageView.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

WindowInfo window(std::string app, std::string title, bool minimized = false) {
    return {minimized ? 0u : 7u, std::move(app), std::move(title), nullptr, 412, minimized};
}

class CardTest : public ::testing::Test {
  protected:
    void TearDown() override { Appearance::setSystem(AppearanceName::aqua); }
    testing::FakeTextMetrics metrics;
};

TEST_F(CardTest, IconAndLabelsSitWhereTheDesignPutsThem) {
    for (bool withIcon : {true, false}) {
        auto info = window("Mail", "Mail — Inbox");
        if (withIcon)
            info.appIcon = std::make_shared<Image>(Image{128, 128, {}});
        WindowCardView card(info);
        card.layoutSubtree(metrics);
        EXPECT_EQ(card.frame(), (Rect{0, 0, 140, 120}));
        EXPECT_EQ(card.subviews().at(0)->frame(), (Rect{46, 14, 48, 48})) << withIcon;
        const Rect name = card.subviews().at(1)->frame(), title = card.subviews().at(2)->frame();
        EXPECT_EQ(name,
                  (Rect{5, 69, 130, testing::FakeTextMetrics::lineHeight(Font::systemFont(11))}));
        EXPECT_EQ((Rect{title.x, title.y, title.width, 0}), (Rect{5, name.maxY() + 1, 130, 0}));
    }
}

TEST(CardTitle, ApplicationNamePrefixIsDroppedOnce) {
    struct Case {
        const char *app, *title, *shown;
    };
    const Case cases[] = {
        {"Mail", "", "—"},
        {"Mail", "Mail", "—"},
        {"Mail", "Mail — Inbox", "Inbox"},
        {"Mail", "Mail – Inbox", "Inbox"},
        {"Mail", "Mail - Inbox", "Inbox"},
        {"Mail", "Mail: Inbox", "Inbox"},
        {"Mail", "Mail - ", "—"},
        {"Terminal", "Terminal — bash — 80×24", "bash — 80×24"},
        {"Mail", "Inbox — Mail", "Inbox — Mail"},
        {"Mail", "Mail —Inbox", "Mail —Inbox"},
        {"Mail", "mail: Inbox", "mail: Inbox"},
        {"Mail", "Mail:  Inbox", " Inbox"},
        // Canonically equivalent spellings: precomposed name, decomposed title and back.
        {"Caf\u00e9", "Cafe\u0301", "—"},
        {"Caf\u00e9", "Cafe\u0301 — Menu", "Menu"},
        {"Cafe\u0301", "Caf\u00e9: Menu", "Menu"},
        // A combining mark after the separator belongs to the next character: no match.
        {"Mail", "Mail - \u0301x", "Mail - \u0301x"},
    };
    for (const auto& c : cases) {
        WindowCardView card(window(c.app, c.title));
        EXPECT_EQ(dynamic_cast<const TextField&>(*card.subviews()[2]).stringValue(), c.shown)
            << c.app << " | " << c.title;
    }
}

TEST_F(CardTest, CardEnteringADarkTreeDropsItsLightColours) {
    auto card = std::make_shared<WindowCardView>(window("Mail", "Inbox"));
    EXPECT_EQ(card->layer()->borderColor(), (RGBA{0, 0, 0, 0.18})); // in the light system look
    auto wrapper = std::make_shared<View>();
    wrapper->addSubview(card);
    auto darkRoot = std::make_shared<View>();
    darkRoot->setAppearance(Appearance::named(AppearanceName::darkAqua));
    darkRoot->addSubview(wrapper);
    EXPECT_EQ(card->layer()->borderColor(), (RGBA{1, 1, 1, 0.18}));
    EXPECT_EQ(card->layer()->backgroundColor(), (RGBA{1, 1, 1, 0.07}));
}

} // namespace
} // namespace corvane
