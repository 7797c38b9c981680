#pragma once
// One window as a 140 × 120 card: the application's icon, its name, and the window's title
// without a leading repetition of the application name. The card styles itself as selected or
// not in its effective appearance, dims itself for a minimized window, and reports clicks; it
// knows nothing of the HUD that owns it. A card kept for the same window across switches is
// given the window's newer record (setInfo) rather than built again.

#include "platform/ui/Appearance.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"
#include "windows/WindowInfo.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class ImageView;

// Tried in this order; the first that follows the application name at the start of a title ends
// the prefix to drop.
inline constexpr std::array<std::string_view, 4> titleSeparators{" \u2014 ", " \u2013 ", " - ",
                                                                 ": "};

// A non-editable, centred, tail-truncating label in labelColor on a clear background.
std::shared_ptr<TextField> makeCardLabel(Font font, int maximumNumberOfLines);

// White at 0.82 under the dark appearance, black at 0.85 otherwise.
Color titleTextColor();

class WindowCardView : public View {
  public:
    static constexpr double kWidth = 140;
    static constexpr double kHeight = 120;

    explicit WindowCardView(WindowInfo info);

    const WindowInfo& info() const { return info_; }
    // Shows this record instead: only the labels, icon and dimming that differ change.
    void setInfo(WindowInfo info);
    bool isSelected() const { return isSelected_; }
    // Restyles at once, also when the value does not change.
    void setSelected(bool selected);

    // The title label's text: "—" for an empty or redundant title.
    std::string displayTitle() const;

    void mouseUp(const MouseEvent& event) override;
    void viewDidChangeEffectiveAppearance() override;

  private:
    void setupSubviews();
    void refreshStyle();
    void applySelectionStyle();
    void showInfo();

    WindowInfo info_;
    std::shared_ptr<ImageView> icon_;
    std::shared_ptr<TextField> name_;
    std::shared_ptr<TextField> title_;
    bool isSelected_ = false;

  public:
    // Called once per click. The card owns it, so it must hold its own owner weakly.
    std::function<void()> onClicked;
};

} // namespace corvane
