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

    auto icon = std::make_shared<ImageView>();
    icon->setTranslatesAutoresizingMaskIntoConstraints(false);
    icon->setImageScaling(ImageScaling::proportionallyUpOrDown);
    icon->setImage(info_.appIcon);
    addSubview(icon);

    auto name = makeCardLabel(Font::systemFont(11, FontWeight::semibold), 1);
    name->setStringValue(info_.appName);
    addSubview(name);

    auto title = makeCardLabel(Font::systemFont(10), 2);
    title->setTextColor(titleTextColor());
    title->setStringValue(displayTitle());
    addSubview(title);

    activateConstraints({
        icon->centerXAnchor().constraintEqualToAnchor(centerXAnchor()),
        icon->topAnchor().constraintEqualToAnchor(topAnchor(), 14),
        icon->widthAnchor().constraintEqualToConstant(48),
        icon->heightAnchor().constraintEqualToConstant(48),
        name->topAnchor().constraintEqualToAnchor(icon->bottomAnchor(), 7),
        name->leadingAnchor().constraintEqualToAnchor(leadingAnchor(), 5),
        name->trailingAnchor().constraintEqualToAnchor(trailingAnchor(), -5),
        title->topAnchor().constraintEqualToAnchor(name->bottomAnchor(), 1),
        title->leadingAnchor().constraintEqualToAnchor(leadingAnchor(), 5),
        title->trailingAnchor().constraintEqualToAnchor(trailingAnchor(), -5),
    });

    refreshStyle();
    if (info_.isMinimized)
        setAlphaValue(0.5);
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
