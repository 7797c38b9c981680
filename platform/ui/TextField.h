#pragma once
// A non-editable label. The text is laid out through TextMetrics at the width the layout pass
// gives the field, at most maximumNumberOfLines lines with tail truncation; textLayout() keeps
// that result for the painter, which draws its lines as they are, aligned by `alignment`, in
// textColor resolved under the field's effective appearance, from the top of the bounds.

#include "platform/ui/TextMetrics.h"
#include "platform/ui/View.h"

#include <string>

namespace corvane {

// AppKit's numbering on macOS.
enum class TextAlignment { left = 0, right = 1, center = 2, justified = 3, natural = 4 };
enum class LineBreakMode {
    byWordWrapping = 0,
    byCharWrapping = 1,
    byClipping = 2,
    byTruncatingHead = 3,
    byTruncatingTail = 4,
    byTruncatingMiddle = 5
};

class TextField : public View {
  public:
    const std::string& stringValue() const { return text_; }
    void setStringValue(std::string utf8);
    const Font& font() const { return font_; }
    void setFont(Font font);
    const Color& textColor() const { return textColor_; }
    void setTextColor(Color color);
    const Color& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(Color color);
    TextAlignment alignment() const { return alignment_; }
    void setAlignment(TextAlignment alignment);
    // 0: no limit.
    int maximumNumberOfLines() const { return maximumNumberOfLines_; }
    void setMaximumNumberOfLines(int lines);
    // Only byTruncatingTail is honoured by layout; the others lay out like it.
    LineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(LineBreakMode mode);
    bool isBezeled() const { return isBezeled_; }
    void setBezeled(bool bezeled);
    bool isEditable() const { return isEditable_; }
    void setEditable(bool editable);
    bool isSelectable() const { return isSelectable_; }
    void setSelectable(bool selectable);

    // The lines as last laid out (empty before the first layout pass).
    const TextLayout& textLayout() const { return layout_; }

    // Height of the text at widthForHeight (when positive), width of the unbroken text.
    Size intrinsicContentSize(const TextMetrics& metrics, double widthForHeight) const override;
    void layoutSubtree(const TextMetrics& metrics) override;

  private:
    std::string text_;
    Font font_;
    Color textColor_ = Color::labelColor();
    Color backgroundColor_ = Color::clearColor();
    TextAlignment alignment_ = TextAlignment::natural;
    int maximumNumberOfLines_ = 0;
    LineBreakMode lineBreakMode_ = LineBreakMode::byWordWrapping;
    bool isBezeled_ = true;
    bool isEditable_ = true;
    bool isSelectable_ = true;
    TextLayout layout_;
};

} // namespace corvane
