#include "hud/SwitcherHUD.h"

#include "hud/HUDBackgroundView.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

namespace corvane {

namespace {
// How many cards fit in a row is reckoned with the card's 140 points plus the spacing.
constexpr double kCapacityPitch = 148;
// The panel itself is sized for what it holds, the 142 x 122 wrappers 8 points apart: sized
// for bare cards, a full row would crowd the side insets by 2 points per card, and its outer
// cards would reach the panel's edge or past it.
constexpr double kWrapperWidth = 142;
constexpr double kWrapperHeight = 122;
constexpr double kSpacing = 8;
constexpr double kInsetX = 12;
constexpr double kInsetY = 16;
constexpr double kFadeIn = 0.15;
constexpr double kFadeOut = 0.5;
constexpr double kDismissDelay = 1.0;
constexpr unsigned kCollectionBehavior =
    WindowCollectionBehavior::canJoinAllSpaces | WindowCollectionBehavior::stationary |
    WindowCollectionBehavior::ignoresCycle | WindowCollectionBehavior::fullScreenAuxiliary;
} // namespace

SwitcherHUD::SwitcherHUD(const UiContext& ui) : ui_(ui), animations_(ui.timers) {}

int SwitcherHUD::rowCapacity(double screenWidth) {
    const double capacity = std::trunc((screenWidth - 80 - 24) / kCapacityPitch);
    // Also catches NaN from a nonsensical screen.
    if (!(capacity >= 2))
        return 1;
    return static_cast<int>(std::min(capacity, 1e6));
}

SwitcherHUD::Rows SwitcherHUD::rowLayout(double screenWidth, std::size_t windowCount) {
    const int n = static_cast<int>(windowCount);
    if (rowCapacity(screenWidth) < n)
        return {(n + 1) / 2, 2};
    return {n, 1};
}

Rect SwitcherHUD::panelFrame(const Rect& screen, std::size_t windowCount) {
    const Rows rows = rowLayout(screen.width, windowCount);
    const double width = rows.perRow * (kWrapperWidth + kSpacing) - kSpacing + 2 * kInsetX;
    const double height = rows.rows * (kWrapperHeight + kSpacing) - kSpacing + 2 * kInsetY;
    return {screen.midX() - width / 2, screen.midY() - height / 2, width, height};
}

Rect SwitcherHUD::screenFrame() const {
    return mainScreenFrameOrFallback(ui_.screen);
}

bool SwitcherHUD::isFadingOut() const {
    return std::any_of(fadeOuts_.begin(), fadeOuts_.end(),
                       [](const auto& fade) { return !fade->isDone(); });
}

bool SwitcherHUD::isOpen() const {
    return isUnseen_ || (panel && panel->isVisible() && !isFadingOut());
}

void SwitcherHUD::show(bool forward) {
    const bool isShown = panel && panel->isVisible();
    if (isShown && !isFadingOut()) {
        // A chord in hover mode comes with the list read again: the open panel shows it, even
        // when it is empty now.
        if (syncCards())
            placePanel();
        moveSelection(forward);
        return;
    }
    if (windows.empty())
        return;
    if (isShown) {
        // A chord pressed while the last switch fades out starts a new switch: stepping the old
        // selection would raise the wrong window. (The old fade is cancelled below.)
        cancelDismissTimer();
        // hide() forgot the pointer, but the panel stayed on screen under it: no entry will
        // be reported while it stays inside.
        mouseIsOver = pointerIsInside_;
    } else {
        // An ordered-out panel forgets the pointer without telling; it reports the next entry.
        pointerIsInside_ = false;
    }
    isUnseen_ = false;
    // A fade-out still running (the last switch's, or a second one after the first ordered the
    // panel out) would close this switch's panel at its end.
    for (const auto& fade : fadeOuts_)
        fade->cancel();
    fadeOuts_.clear();
    readyCards(forward);
    presentPanel();
}

void SwitcherHUD::prepare() {
    if (panel && panel->isVisible())
        return;
    readyCards(true);
    placePanel(); // where a forward switch shows it, so that its picture is the one shown
    panel->prepareDisplay();
}

void SwitcherHUD::readyCards(bool forward) {
    createPanelIfNeeded();
    setFirstSelection(forward);
    syncCards();
}

void SwitcherHUD::selectWithoutShowing(bool forward) {
    setFirstSelection(forward);
    isUnseen_ = !windows.empty();
}

void SwitcherHUD::setFirstSelection(bool forward) {
    const int n = static_cast<int>(windows.size());
    selectedIndex = forward ? std::min(n, 2) - 1 : n - 1;
}

void SwitcherHUD::moveSelection(bool forward) {
    const int n = static_cast<int>(windows.size());
    if (n == 0)
        return;
    selectedIndex = forward ? (selectedIndex + 1) % n : (selectedIndex - 1 + n) % n;
    // Cards on screen, if any, belong to an earlier switch.
    if (isUnseen_)
        return;
    refreshSelection();
    if (panel && panel->isVisible() && !isFadingOut())
        keepSelectionOnScreen();
}

void SwitcherHUD::refreshSelection() {
    for (std::size_t i = 0; i < cardViews.size() && i < cardWrappers.size(); ++i) {
        const bool selected = static_cast<int>(i) == selectedIndex;
        // Only the cards whose selection changes are restyled, and so repainted (a ring keeps
        // its width unless it changes).
        if (cardViews[i]->isSelected() != selected)
            cardViews[i]->setSelected(selected);
        cardWrappers[i]->layer()->setBorderWidth(selected ? 1 : 0);
    }
}

bool SwitcherHUD::syncCards() {
    if (!containerStack)
        return false;
    // Usually the cards were made ready for this very list before the chord.
    if (std::equal(windows.begin(), windows.end(), cardViews.begin(), cardViews.end(),
                   [](const WindowInfo& window, const std::shared_ptr<WindowCardView>& card) {
                       return card->info() == window;
                   })) {
        arrangeRows(); // the screen may have changed
        refreshSelection();
        return false;
    }
    // A window keeps its card by what tells it apart across window lists: the window server's
    // number while on screen; without one, its key and place among windows of that key.
    auto identity = [](const WindowInfo& info) {
        return info.windowID != 0 ? "#" + std::to_string(info.windowID)
                                  : windowKey(info) + "#" + std::to_string(info.titleOccurrence);
    };
    std::unordered_map<std::string, std::size_t> previous;
    for (std::size_t i = 0; i < cardViews.size(); ++i)
        previous.emplace(identity(cardViews[i]->info()), i);

    std::vector<std::shared_ptr<WindowCardView>> cards;
    std::vector<std::shared_ptr<View>> wrappers;
    bool changed = windows.size() != cardViews.size();
    std::weak_ptr<SwitcherHUD> weakSelf = weak_from_this();
    for (std::size_t i = 0; i < windows.size(); ++i) {
        std::shared_ptr<WindowCardView> card;
        std::shared_ptr<View> wrapper;
        if (auto found = previous.find(identity(windows[i])); found != previous.end()) {
            changed =
                changed || found->second != i || cardViews[found->second]->info() != windows[i];
            card = std::move(cardViews[found->second]);
            wrapper = std::move(cardWrappers[found->second]);
            previous.erase(found);
            card->setInfo(windows[i]);
        } else {
            changed = true;
            card = std::make_shared<WindowCardView>(windows[i]);
            wrapper = makeWrapper(card);
        }
        const int index = static_cast<int>(i);
        card->onClicked = [weakSelf, index] {
            if (auto self = weakSelf.lock())
                self->selectAndActivate(index);
        };
        cards.push_back(std::move(card));
        wrappers.push_back(std::move(wrapper));
    }
    cardViews = std::move(cards);
    cardWrappers = std::move(wrappers);
    arrangeRows();
    refreshSelection();
    return changed;
}

std::shared_ptr<View> SwitcherHUD::makeWrapper(const std::shared_ptr<WindowCardView>& card) {
    card->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto wrapper = std::make_shared<View>();
    wrapper->setWantsLayer(true);
    wrapper->layer()->setCornerRadius(11);
    wrapper->layer()->setBorderColor(Color::whiteColor().cgColor());
    wrapper->setTranslatesAutoresizingMaskIntoConstraints(false);
    wrapper->addSubview(card);
    activateConstraints({
        card->leadingAnchor().constraintEqualToAnchor(wrapper->leadingAnchor(), 1),
        card->trailingAnchor().constraintEqualToAnchor(wrapper->trailingAnchor(), -1),
        card->topAnchor().constraintEqualToAnchor(wrapper->topAnchor(), 1),
        card->bottomAnchor().constraintEqualToAnchor(wrapper->bottomAnchor(), -1),
        wrapper->widthAnchor().constraintEqualToConstant(kWrapperWidth),
        wrapper->heightAnchor().constraintEqualToConstant(kWrapperHeight),
    });
    return wrapper;
}

void SwitcherHUD::arrangeRows() {
    const Rows rows = rowLayout(screenFrame().width, windows.size());
    const std::size_t perRow = static_cast<std::size_t>(rows.perRow);
    const std::size_t rowCount = static_cast<std::size_t>(rows.rows);
    const std::vector<std::shared_ptr<View>> existing = containerStack->arrangedSubviews();
    // Rows left over go first, so that their cards are free to move into the rows that stay.
    for (std::size_t r = rowCount; r < existing.size(); ++r)
        existing[r]->removeFromSuperview();
    for (std::size_t r = 0; r < rowCount; ++r) {
        std::shared_ptr<StackView> row;
        if (r < existing.size()) {
            row = std::static_pointer_cast<StackView>(existing[r]);
        } else {
            row = std::make_shared<StackView>();
            row->setOrientation(StackOrientation::horizontal);
            row->setSpacing(kSpacing);
            row->setAlignment(LayoutAttribute::centerY);
            containerStack->addArrangedSubview(row);
        }
        const std::size_t begin = std::min(cardWrappers.size(), r * perRow);
        const std::size_t end = std::min(cardWrappers.size(), (r + 1) * perRow);
        row->setArrangedSubviews({cardWrappers.begin() + static_cast<std::ptrdiff_t>(begin),
                                  cardWrappers.begin() + static_cast<std::ptrdiff_t>(end)});
    }
}

void SwitcherHUD::activateSelected() {
    if (windows.empty() || selectedIndex < 0 || selectedIndex >= static_cast<int>(windows.size())) {
        hide();
        return;
    }
    WindowInfo chosen = windows[static_cast<std::size_t>(selectedIndex)];
    hide();
    if (onActivate)
        onActivate(std::move(chosen));
}

void SwitcherHUD::hide() {
    cancelDismissTimer();
    mouseIsOver = false;
    isUnseen_ = false;
    if (!panel || !panel->isVisible())
        return;
    // The pointer goes through the fading panel at once: the window under it is told now, not
    // after the window chosen is activated.
    panel->setIgnoresMouseEvents(true);
    std::erase_if(fadeOuts_, [](const auto& fade) { return fade->isDone(); });
    std::shared_ptr<Panel> fading = panel;
    std::weak_ptr<SwitcherHUD> weakSelf = weak_from_this();
    fadeOuts_.push_back(animations_.runAnimationGroup(
        [fading](AnimationGroup& group) {
            group.duration = kFadeOut;
            group.animateAlphaValue(fading, 0);
        },
        [fading, weakSelf] {
            fading->orderOut();
            auto self = weakSelf.lock();
            if (self && self->onDismiss)
                self->onDismiss();
        }));
}

void SwitcherHUD::createPanelIfNeeded() {
    if (panel)
        return;
    auto newPanel = std::make_shared<Panel>(ui_.panelBackends, ui_.textMetrics, Rect{},
                                            WindowStyleMask::nonactivatingPanel,
                                            BackingStoreType::buffered, true);
    newPanel->setFloatingPanel(true);
    newPanel->setLevel(WindowLevel::screenSaver);
    newPanel->setOpaque(false);
    newPanel->setBackgroundColor(Color::clearColor());
    newPanel->setHasShadow(true);
    newPanel->setCollectionBehavior(kCollectionBehavior);

    auto background = std::make_shared<HUDBackgroundView>();
    background->setWantsLayer(true);
    background->layer()->setBackgroundColor(Color::colorWithWhite(0.13, 0.94).cgColor());
    background->layer()->setCornerRadius(25);
    background->layer()->setMasksToBounds(true);
    std::weak_ptr<SwitcherHUD> weakSelf = weak_from_this();
    background->onMouseEntered = [weakSelf] {
        if (auto self = weakSelf.lock())
            self->handleMouseEntered();
    };
    background->onMouseExited = [weakSelf] {
        if (auto self = weakSelf.lock())
            self->handleMouseExited();
    };
    // Everything in the panel, the cards included, draws dark whatever the desktop's setting.
    background->setAppearance(Appearance::named(AppearanceName::darkAqua));
    newPanel->setContentView(background);

    auto stack = std::make_shared<StackView>();
    stack->setOrientation(StackOrientation::vertical);
    stack->setSpacing(kSpacing);
    stack->setAlignment(LayoutAttribute::centerX);
    stack->setTranslatesAutoresizingMaskIntoConstraints(false);
    background->addSubview(stack);
    activateConstraints({
        stack->leadingAnchor().constraintEqualToAnchor(background->leadingAnchor(), kInsetX),
        stack->trailingAnchor().constraintEqualToAnchor(background->trailingAnchor(), -kInsetX),
        stack->topAnchor().constraintEqualToAnchor(background->topAnchor(), kInsetY),
        stack->bottomAnchor().constraintEqualToAnchor(background->bottomAnchor(), -kInsetY),
    });

    containerStack = std::move(stack);
    panel = std::move(newPanel);
}

void SwitcherHUD::presentPanel() {
    if (!panel)
        return;
    placePanel();
    panel->setAlphaValue(0);
    panel->setIgnoresMouseEvents(false);
    panel->orderFrontRegardless();
    std::shared_ptr<Panel> shown = panel;
    animations_.runAnimationGroup([shown](AnimationGroup& group) {
        group.duration = kFadeIn;
        group.animateAlphaValue(shown, 1);
    });
}

void SwitcherHUD::placePanel() {
    shownOnScreen_ = screenFrame();
    panel->setFrame(panelFrame(shownOnScreen_, windows.size()), false);
    keepSelectionOnScreen();
}

void SwitcherHUD::keepSelectionOnScreen() {
    if (!panel || selectedIndex < 0 || selectedIndex >= static_cast<int>(cardWrappers.size()))
        return;
    // Past two rows' worth of windows the panel is wider than its screen and reaches past both
    // edges. It slides sideways, as little as will do, so that the selected card and a strip
    // of backdrop beside it are on screen; a panel that fits never moves.
    Rect frame = panel->frame();
    const Rect& screen = shownOnScreen_;
    if (frame.width <= screen.width)
        return;
    panel->layoutIfNeeded();
    const Rect card = cardWrappers[static_cast<std::size_t>(selectedIndex)]->frameInAncestor(
        panel->contentView().get());
    const double left = frame.x + card.x - kInsetX;
    const double right = frame.x + card.maxX() + kInsetX;
    double shift = 0;
    if (right > screen.maxX())
        shift = screen.maxX() - right;
    // On a screen too narrow for one card, its left part shows.
    if (left + shift < screen.x)
        shift = screen.x - left;
    if (shift == 0)
        return;
    frame.x += shift;
    panel->setFrame(frame, false);
}

void SwitcherHUD::cancelDismissTimer() {
    if (dismissTimer)
        dismissTimer->invalidate();
    dismissTimer = nullptr;
}

void SwitcherHUD::startDismissTimer() {
    cancelDismissTimer();
    std::weak_ptr<SwitcherHUD> weakSelf = weak_from_this();
    dismissTimer = ui_.timers.scheduleTimer(kDismissDelay, false, [weakSelf](Timer&) {
        if (auto self = weakSelf.lock())
            self->activateSelected();
    });
}

void SwitcherHUD::handleMouseEntered() {
    pointerIsInside_ = true;
    // Over a panel whose switch has ended the pointer keeps no switch open.
    if (isFadingOut())
        return;
    mouseIsOver = true;
    cancelDismissTimer();
}

void SwitcherHUD::handleMouseExited() {
    pointerIsInside_ = false;
    mouseIsOver = false;
    // The switch already ended: a timer armed now would commit again a second later, possibly
    // into the next switch.
    if (isFadingOut())
        return;
    startDismissTimer();
}

void SwitcherHUD::selectAndActivate(int index) {
    // The fading panel's cards belong to a switch already committed, maybe to an older list
    // than `windows`.
    if (isFadingOut())
        return;
    selectedIndex = index;
    activateSelected();
}

} // namespace corvane
