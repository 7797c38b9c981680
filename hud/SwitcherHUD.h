#pragma once
// The switcher's panel: one card per window in one or two centred rows on the main screen (a
// panel wider than the screen slides sideways to keep the selected card in view), the
// selection, fades in and out, the one-second dismiss timer after the pointer leaves, and card
// clicks. The switch controller assigns `windows`, calls prepare() and show(forward) and the
// stepping and committing operations, and hears back through onActivate and onDismiss; whether
// the cards must change for `windows` is the HUD's own affair.
//
// Create it with std::make_shared: timers, animation completions and view callbacks hold it
// weakly and do nothing once it is gone. The panel is built on the first opening and kept.

#include "hud/WindowCardView.h"
#include "platform/Timers.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Panel.h"
#include "platform/ui/StackView.h"
#include "platform/ui/UiContext.h"
#include "windows/WindowInfo.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace corvane {

class SwitcherHUD : public std::enable_shared_from_this<SwitcherHUD> {
  public:
    struct Rows {
        int perRow = 0;
        int rows = 1;
    };

    explicit SwitcherHUD(const UiContext& ui);
    SwitcherHUD(const SwitcherHUD&) = delete;
    SwitcherHUD& operator=(const SwitcherHUD&) = delete;

    // Opens the HUD over `windows`, or steps the selection while it is open. A panel that is
    // still fading out after the previous switch is brought back as a fresh switch. The cards
    // are brought in line with `windows` first (see prepare).
    void show(bool forward);
    void moveSelection(bool forward);
    // Brings the panel and its cards in line with `windows` while it is hidden, laid out for a
    // forward switch, so that show() only selects and orders it front. Does nothing while it is
    // visible. A card is kept for as long as its window is listed: reordered, renamed or
    // re-iconed windows move and update their cards; only new windows get new ones.
    void prepare();
    // Starts the fade-out, then hands a copy of the selected window to onActivate.
    void activateSelected();
    // Cancels the dismiss timer and fades a visible panel out; onDismiss follows the fade.
    void hide();

    // Cards in one row on a screen this wide (at least 1).
    static int rowCapacity(double screenWidth);
    static Rows rowLayout(double screenWidth, std::size_t windowCount);
    // The panel's frame for this many windows, centred on the screen frame.
    static Rect panelFrame(const Rect& screen, std::size_t windowCount);

    // For a switch the user ended before it could be shown (the whole chord arrived at once):
    // takes the first selection over `windows` as show(forward) would, without building or
    // showing anything. The switch is then open, unseen: moveSelection steps it, and
    // activateSelected commits it or hide ends it, all without a panel.
    void selectWithoutShowing(bool forward);

    // A fade-out is running whose end would order the panel out.
    bool isFadingOut() const;
    // A switch is open: its panel is on screen and not fading out, or it was selected without
    // showing and not yet committed or hidden.
    bool isOpen() const;

    std::function<void(WindowInfo)> onActivate;
    std::function<void()> onDismiss;
    std::shared_ptr<Panel> panel;
    std::shared_ptr<StackView> containerStack;
    std::vector<std::shared_ptr<WindowCardView>> cardViews;
    // One per card, holding it 1 point in; draws the white selection ring.
    std::vector<std::shared_ptr<View>> cardWrappers;
    std::shared_ptr<Timer> dismissTimer;
    bool mouseIsOver = false;
    std::vector<WindowInfo> windows;
    int selectedIndex = 0;

  private:
    void createPanelIfNeeded();
    void presentPanel();
    void keepSelectionOnScreen();
    void startDismissTimer();
    void cancelDismissTimer();
    void handleMouseEntered();
    void handleMouseExited();
    void selectAndActivate(int index);
    void setFirstSelection(bool forward);
    Rect screenFrame() const;
    void readyCards(bool forward);
    // Gives each of `windows` a card, kept from the last call where its window was listed,
    // and arranges them in rows. Tells whether any card or its place changed.
    bool syncCards();
    std::shared_ptr<View> makeWrapper(const std::shared_ptr<WindowCardView>& card);
    void arrangeRows();
    void refreshSelection();
    // Centres the panel on the main screen, slid to show the selected card.
    void placePanel();

    const UiContext ui_;
    AnimationContext animations_;
    std::vector<std::shared_ptr<RunningAnimation>> fadeOuts_;
    // Where the pointer is as the panel last reported it; unlike mouseIsOver, hide() leaves it.
    bool pointerIsInside_ = false;
    // The open switch was selected without showing.
    bool isUnseen_ = false;
    // The main screen's frame when the panel was last placed.
    Rect shownOnScreen_;
};

} // namespace corvane
