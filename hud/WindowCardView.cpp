#include "hud/WindowCardView.h"

#include "platform/ui/ImageView.h"
#include "windows/UnicodeText.h"

namespace corvane {

namespace {
constexpr std::string_view kEmDash = "\u2014";
} // namespace

std::shared_ptr<TextField> makeCardLabel(Font font, int maximumNumberOfLines) {
    auto label = std::make_shared<TextField>();
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    label->setBezeled(false);
    label->setEditable(false);
    label->setSelectable(false);
    label->setBackgroundColor(Color::clearColor());
    label->setFont(font);
    label->setTextColor(Color::labelColor());
    label->setAlignment(TextAlignment::center);
    label->setMaximumNumberOfLines(maximumNumberOfLines);
    label->setLineBreakMode(LineBreakMode::byTruncatingTail);
    return label;
}

Color titleTextColor() {
    return Color::withDynamicProvider([](const Appearance& appearance) {
        const auto match = appearance.bestMatchFromAppearancesWithNames(
            {AppearanceName::darkAqua, AppearanceName::aqua});
        return match == AppearanceName::darkAqua ? Color::colorWithWhite(1, 0.82)
                                                 : Color::colorWithWhite(0, 0.85);
    });
}

WindowCardView::WindowCardView(WindowInfo info)
    : View(Rect{0, 0, kWidth, kHeight}), info_(std::move(info)) {
    setupSubviews();
}

void WindowCardView::setSelected(bool selected) {
    isSelected_ = selected;
    refreshStyle();
}

void WindowCardView::setupSubviews() {
    setWantsLayer(true);
    layer()->setCornerRadius(10);
    layer()->setMasksToBounds(true);
    layer()->setShouldRasterize(true);

    icon_ = std::make_shared<ImageView>();
    icon_->setTranslatesAutoresizingMaskIntoConstraints(false);
    icon_->setImageScaling(ImageScaling::proportionallyUpOrDown);
    addSubview(icon_);

    name_ = makeCardLabel(Font::systemFont(11, FontWeight::semibold), 1);
    addSubview(name_);

    title_ = makeCardLabel(Font::systemFont(10), 2);
    title_->setTextColor(titleTextColor());
    addSubview(title_);

    activateConstraints({
        icon_->centerXAnchor().constraintEqualToAnchor(centerXAnchor()),
        icon_->topAnchor().constraintEqualToAnchor(topAnchor(), 14),
        icon_->widthAnchor().constraintEqualToConstant(48),
        icon_->heightAnchor().constraintEqualToConstant(48),
        name_->topAnchor().constraintEqualToAnchor(icon_->bottomAnchor(), 7),
        name_->leadingAnchor().constraintEqualToAnchor(leadingAnchor(), 5),
        name_->trailingAnchor().constraintEqualToAnchor(trailingAnchor(), -5),
        title_->topAnchor().constraintEqualToAnchor(name_->bottomAnchor(), 1),
        title_->leadingAnchor().constraintEqualToAnchor(leadingAnchor(), 5),
        title_->trailingAnchor().constraintEqualToAnchor(trailingAnchor(), -5),
    });

    refreshStyle();
    showInfo();
}

void WindowCardView::setInfo(WindowInfo info) {
    if (info == info_)
        return;
    info_ = std::move(info);
    showInfo();
}

// Each setter below asks for a layout pass and a repaint of the card, so only what differs is
// set: a card kept for a window that did not change costs nothing, also when the icon comes as
// a new image of the same pixels.
void WindowCardView::showInfo() {
    const ImageRef& shown = icon_->image();
    const bool sameIcon =
        shown == info_.appIcon ||
        (shown && info_.appIcon && shown->width == info_.appIcon->width &&
         shown->height == info_.appIcon->height && shown->argb == info_.appIcon->argb);
    if (!sameIcon)
        icon_->setImage(info_.appIcon);
    if (name_->stringValue() != info_.appName)
        name_->setStringValue(info_.appName);
    if (std::string title = displayTitle(); title_->stringValue() != title)
        title_->setStringValue(std::move(title));
    if (const double alpha = info_.isMinimized ? 0.5 : 1; alphaValue() != alpha)
        setAlphaValue(alpha);
}

void WindowCardView::refreshStyle() {
    effectiveAppearance().performAsCurrentDrawingAppearance([this] { applySelectionStyle(); });
}

void WindowCardView::applySelectionStyle() {
    Layer* cardLayer = layer();
    if (!cardLayer)
        return;
    if (isSelected_) {
        cardLayer->setBorderColor(Color::blackColor().cgColor());
        cardLayer->setBorderWidth(4.5);
        cardLayer->setBackgroundColor(Color::colorWithWhite(0, 0.15).cgColor());
    } else {
        const Color label = Color::labelColor();
        cardLayer->setBorderColor(label.colorWithAlphaComponent(0.18).cgColor());
        cardLayer->setBorderWidth(1);
        cardLayer->setBackgroundColor(label.colorWithAlphaComponent(0.07).cgColor());
    }
}

std::string WindowCardView::displayTitle() const {
    const std::string& title = info_.windowTitle;
    const std::string& app = info_.appName;
    if (title.empty() || canonicallyEqual(title, app))
        return std::string(kEmDash);
    for (std::string_view separator : titleSeparators) {
        const std::string prefix = app + std::string(separator);
        // Counted in user-perceived characters, so a decomposed "é" in the title matches a
        // precomposed one in the name and is removed whole.
        const std::size_t length = graphemeCount(prefix);
        if (!canonicallyEqual(graphemePrefix(title, length), prefix))
            continue;
        const std::string_view rest = dropGraphemes(title, length);
        return rest.empty() ? std::string(kEmDash) : std::string(rest);
    }
    return title;
}

void WindowCardView::mouseUp(const MouseEvent&) {
    if (onClicked)
        onClicked();
}

void WindowCardView::viewDidChangeEffectiveAppearance() {
    View::viewDidChangeEffectiveAppearance();
    refreshStyle();
}

} // namespace corvane
