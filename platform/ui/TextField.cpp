#include "platform/ui/TextField.h"

namespace corvane {

void TextField::setStringValue(std::string utf8) {
    text_ = std::move(utf8);
    setNeedsDisplay();
}

void TextField::setFont(Font font) {
    font_ = font;
    setNeedsDisplay();
}

void TextField::setTextColor(Color color) {
    textColor_ = std::move(color);
    setNeedsDisplay();
}

void TextField::setBackgroundColor(Color color) {
    backgroundColor_ = std::move(color);
    setNeedsDisplay();
}

void TextField::setAlignment(TextAlignment alignment) {
    alignment_ = alignment;
    setNeedsDisplay();
}

void TextField::setMaximumNumberOfLines(int lines) {
    maximumNumberOfLines_ = lines < 0 ? 0 : lines;
    setNeedsDisplay();
}

void TextField::setLineBreakMode(LineBreakMode mode) {
    lineBreakMode_ = mode;
    setNeedsDisplay();
}

void TextField::setBezeled(bool bezeled) {
    isBezeled_ = bezeled;
}

void TextField::setEditable(bool editable) {
    isEditable_ = editable;
}

void TextField::setSelectable(bool selectable) {
    isSelectable_ = selectable;
}

Size TextField::intrinsicContentSize(const TextMetrics& metrics, double widthForHeight) const {
    const TextLayout single = metrics.measureSingleLine(text_, font_);
    if (widthForHeight <= 0)
        return {single.width, single.height};
    const TextLayout wrapped =
        metrics.layoutText(text_, font_, widthForHeight, maximumNumberOfLines_);
    return {single.width, wrapped.height};
}

void TextField::layoutSubtree(const TextMetrics& metrics) {
    layout_ = metrics.layoutText(text_, font_, frame().width, maximumNumberOfLines_);
    View::layoutSubtree(metrics);
}

} // namespace corvane
