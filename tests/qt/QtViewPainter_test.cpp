// The painter's layer rules on small trees: clipping to rounded corners, group opacity, borders
// inside the bounds, and painting only an area; and its refusal of malformed images.
#include "Painted.h"
#include "platform/ui/View.h"

#include <QPainterPath>
#include <functional>
#include <gtest/gtest.h>

namespace corvane {
namespace {

constexpr RGBA kRed{1, 0, 0, 1}, kBlue{0, 0, 1, 1};

std::shared_ptr<View> box(Rect frame, std::optional<RGBA> fill, double radius = 0,
                          bool masks = false) {
    auto view = std::make_shared<View>(frame);
    view->setWantsLayer(true);
    view->layer()->setBackgroundColor(fill);
    view->layer()->setCornerRadius(radius);
    view->layer()->setMasksToBounds(masks);
    return view;
}

QImage paint(const View& root) {
    return testing::painted(root, QSizeF(root.frame().width, root.frame().height));
}

TEST(QtViewPainterLayers, RoundedMaskClipsWhateverReachesTheCorners) {
    struct Case {
        const char* name;
        bool masks;
        Rect child;
        int cornerAlpha; // at (1, 1)
    };
    const std::vector<Case> cases = {
        {"child covering the corner, masked", true, {0, 0, 100, 60}, 0},
        {"child covering the corner, not masked", false, {0, 0, 100, 60}, 255},
        {"child only partly into the corner, masked", true, {1, 1, 40, 40}, 0},
    };
    for (const Case& c : cases) {
        auto root = box({0, 0, 100, 60}, std::nullopt, 20, c.masks);
        root->addSubview(box(c.child, kRed));
        const QImage image = paint(*root);
        EXPECT_EQ(qAlpha(image.pixel(1, 1)), c.cornerAlpha) << c.name;
        EXPECT_EQ(image.pixel(30, 30), 0xFFFF0000u) << c.name;
    }
}

TEST(QtViewPainterLayers, GroupOpacityDoesNotLetChildrenShowThroughEachOther) {
    auto root = box({0, 0, 60, 20}, std::nullopt);
    auto group = box({0, 0, 60, 20}, std::nullopt);
    group->setAlphaValue(0.5);
    group->addSubview(box({0, 0, 40, 20}, kRed));
    group->addSubview(box({20, 0, 40, 20}, kBlue)); // overlaps the red one at x 20..40
    root->addSubview(group);
    const QImage image = paint(*root);
    const QColor alone = image.pixelColor(50, 10), overlap = image.pixelColor(30, 10);
    EXPECT_NEAR(alone.alpha(), 128, 2);
    EXPECT_NEAR(overlap.alpha(), 128, 2) << "one layer at 0.5, not two stacked";
    EXPECT_EQ(overlap.red(), 0) << "the blue child covers the red one inside the group";
}

TEST(QtViewPainterLayers, BorderIsDrawnInsideTheBoundsOverTheContent) {
    auto root = box({0, 0, 40, 40}, std::nullopt);
    auto framed = box({10, 10, 20, 20}, std::nullopt);
    framed->layer()->setBorderColor(RGBA{0, 0, 0, 1});
    framed->layer()->setBorderWidth(4);
    framed->addSubview(box({0, 0, 20, 20}, kRed)); // the border lies above its subviews
    root->addSubview(framed);
    const QImage image = paint(*root);
    EXPECT_EQ(image.pixel(9, 20), 0x00000000u) << "nothing outside the bounds";
    EXPECT_EQ(std::tuple(image.pixel(10, 20), image.pixel(13, 20)),
              std::tuple(0xFF000000u, 0xFF000000u));
    EXPECT_EQ(image.pixel(14, 20), 0xFFFF0000u) << "4 points wide, then the content";
}

// A rounded background and ring on whole pixels come from a picture kept for the shape (every
// card has the same two): the pixels are those of filling and stroking the path there, also at
// a pixel ratio of 2, and for a ring of a fractional width. (Drawn at the wrong place or size,
// they differ by a whole channel.)
TEST(QtViewPainterLayers, KeptRoundedShapesAreThePathsPixels) {
    const QColor fill = QColor::fromRgbF(0.2f, 0.3f, 0.4f, 0.5f);
    const QColor ring = QColor::fromRgbF(0, 0, 0, 0.8f);
    for (double dpr : {1.0, 2.0}) {
        for (double width : {1.0, 4.5}) {
            SCOPED_TRACE(::testing::Message() << "ratio " << dpr << ", ring " << width);
            auto root = box({0, 0, 200, 160}, std::nullopt);
            auto card = box({20, 10, 140, 120}, RGBA{0.2, 0.3, 0.4, 0.5}, 10, true);
            card->layer()->setBorderColor(RGBA{0, 0, 0, 0.8});
            card->layer()->setBorderWidth(width);
            root->addSubview(card);
            // Twice: the second paint draws from the kept pictures.
            QtViewPainter painter;
            testing::painted(*root, {200, 160}, dpr, std::nullopt, &painter);
            const QImage kept = testing::painted(*root, {200, 160}, dpr, std::nullopt, &painter);

            QImage path(int(200 * dpr), int(160 * dpr), QImage::Format_ARGB32_Premultiplied);
            path.setDevicePixelRatio(dpr);
            path.fill(Qt::transparent);
            QPainter direct(&path);
            direct.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
            QPainterPath shape;
            shape.addRoundedRect(QRectF(20, 10, 140, 120), 10, 10);
            direct.fillPath(shape, fill);
            QPainterPath inner;
            const double r = 10 - width / 2;
            inner.addRoundedRect(
                QRectF(20, 10, 140, 120).adjusted(width / 2, width / 2, -width / 2, -width / 2), r,
                r);
            direct.setPen(QPen(ring, width));
            direct.drawPath(inner);
            direct.end();
            // A thin ring's corners blend over the fill in another order: a level or three.
            EXPECT_LE(testing::largestDifference(kept, path), 3);
        }
    }
}

// A view that rasterizes is drawn from its kept picture while nothing of it changes, and
// painted again when anything does: each change below is painted by a painter that has kept the
// card's earlier looks, and must give what the card painted directly gives (within the level or
// three a composite rounds off), and must show (differ from the picture before the change).
TEST(QtViewPainterLayers, ARasterizedViewShowsEveryChange) {
    struct Case {
        const char* name;
        std::function<void(std::shared_ptr<View>& root, std::shared_ptr<View>& card)> change;
    };
    const auto label = [](const View& card) { return card.subviews().front(); };
    const Case cases[] = {
        {"a subview's colour",
         [&](auto&, auto& card) { label(*card)->layer()->setBackgroundColor(kBlue); }},
        {"a subview moved inside the card",
         [&](auto&, auto& card) {
             label(*card)->setFrame({30, 50, 60, 20});
         }},
        {"its own ring", [](auto&, auto& card) { card->layer()->setBorderWidth(4.5); }},
        {"its own ring, and back",
         [](auto&, auto& card) {
             card->layer()->setBorderWidth(4.5);
             card->layer()->setBorderWidth(1);
             card->layer()->setBackgroundColor(RGBA{0.5, 0.5, 0.1, 1});
         }},
        {"the card moved",
         [](auto&, auto& card) {
             card->setFrame({40, 30, 140, 120});
         }},
        {"the card dimmed", [](auto&, auto& card) { card->setAlphaValue(0.5); }},
        {"another card in its place",
         [](auto& root, auto& card) {
             card->removeFromSuperview();
             card = box({20, 10, 140, 120}, RGBA{0.2, 0.3, 0.4, 0.5}, 10, true);
             card->layer()->setShouldRasterize(true);
             card->addSubview(box({10, 80, 120, 20}, RGBA{0.1, 0.8, 0.1, 1}));
             root->addSubview(card);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = box({0, 0, 200, 160}, std::nullopt);
        auto card = box({20, 10, 140, 120}, RGBA{0.2, 0.3, 0.4, 0.5}, 10, true);
        card->layer()->setBorderColor(RGBA{0, 0, 0, 0.8});
        card->layer()->setBorderWidth(1);
        card->layer()->setShouldRasterize(true);
        card->addSubview(box({10, 80, 120, 20}, kRed));
        root->addSubview(card);

        QtViewPainter painter;
        testing::painted(*root, {200, 160}, 1, std::nullopt, &painter);
        const QImage before = testing::painted(*root, {200, 160}, 1, std::nullopt, &painter);
        c.change(root, card);
        const QImage kept = testing::painted(*root, {200, 160}, 1, std::nullopt, &painter);
        card->layer()->setShouldRasterize(false);
        const QImage direct = paint(*root);
        EXPECT_LE(testing::largestDifference(kept, direct), 3);
        EXPECT_GT(testing::largestDifference(kept, before), 20);
    }
}

// Painting only an area gives, inside it, the pixels a full paint gives: for groups (alpha,
// rounded masks) whose layer image is cut to the area, and for a child drawn outside a parent
// that does not clip.
TEST(QtViewPainterArea, InsideTheAreaMatchesAFullPaint) {
    struct Case {
        const char* name;
        double parentAlpha;
        bool parentMasks;
        Rect childFrame;
    };
    const Case cases[] = {
        {"plain", 1, false, {40, 40, 60, 60}},
        {"translucent group", 0.5, false, {40, 40, 60, 60}},
        {"rounded mask", 1, true, {0, 0, 200, 60}},
        {"child outside a parent that does not clip", 1, false, {130, 130, 40, 40}},
    };
    const QRectF area(90, 95, 80, 80);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = box({0, 0, 200, 200}, RGBA{0, 0, 0.3, 1});
        auto parent = box({20, 20, 110, 110}, RGBA{0.2, 0.6, 0.2, 1}, 30, c.parentMasks);
        parent->setAlphaValue(c.parentAlpha);
        parent->addSubview(box(c.childFrame, RGBA{0.9, 0.1, 0.1, 1}));
        root->addSubview(parent);
        const QImage full = paint(*root);
        const QImage part = testing::painted(*root, {200, 200}, 1, area);
        const QRect inside = area.toRect();
        EXPECT_LE(testing::largestDifference(full.copy(inside), part.copy(inside)), 1);
        EXPECT_EQ(part.pixelColor(160, 160).red() > 200, c.childFrame.x == 130)
            << "the overflowing child is drawn";
    }
}

TEST(QtViewPainterImages, MalformedImagesAreRefused) {
    for (const Image& bad : {Image{10, 10, std::vector<std::uint32_t>(99, 0xFF000000u)},
                             Image{-1, 4, {}}, Image{65535, 65535, {}}})
        EXPECT_TRUE(QtViewPainter::toQImage(bad).isNull()) << bad.width;
    Image fine{2, 1, {0x80FF0000u, 0xFF00FF00u}};
    const QImage converted = QtViewPainter::toQImage(fine).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(std::tuple(converted.pixel(0, 0), converted.pixel(1, 0)),
              std::tuple(0x80FF0000u, 0xFF00FF00u));
}

} // namespace
} // namespace corvane
