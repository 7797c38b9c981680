#pragma once
// Text measurement with the fonts the panel paints with.
//
// A point of the view layer is one logical pixel here (the layout is in points, Qt draws in
// logical pixels and scales by the device pixel ratio), so an 11-point font is an 11-pixel
// font: the card's proportions stay those its 140 × 120-point geometry was drawn for.
// Line breaking is Qt's (word boundaries, else anywhere); the last allowed line is cut at the
// end with "…" when text remains.
//
// Layouts are remembered: every switch rebuilds the cards, and the same titles at the same
// widths would otherwise be shaped again each time (at a thousand windows, most of a switch's
// own work). The memory is dropped when the application's font changes and when it grows past
// a few thousand texts.

#include "platform/ui/TextMetrics.h"

#include <QFont>
#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace corvane {

// The system font at the font's size and weight: what measurement and painting both use.
QFont qFontFor(const Font& font);

class QtTextMetrics : public TextMetrics {
  public:
    // Loads the card fonts now, so the first switch does not wait for the font system.
    QtTextMetrics();
    ~QtTextMetrics() override;
    QtTextMetrics(const QtTextMetrics&) = delete;
    QtTextMetrics& operator=(const QtTextMetrics&) = delete;

    TextLayout layoutText(std::string_view utf8, const Font& font, double width,
                          int maxLines) const override;
    TextLayout measureSingleLine(std::string_view utf8, const Font& font) const override;

    // Distance from one line's top to the next line's top; the painter steps by it.
    static double lineHeight(const Font& font);

    std::size_t rememberedLayouts() const { return layouts_.size(); }

  private:
    // Whether the text was broken into lines, the text, pixel size, weight, width, line limit.
    using Key = std::tuple<bool, std::string, int, FontWeight, double, int>;
    TextLayout remembered(Key key, const std::function<TextLayout()>& measure) const;
    TextLayout measureLayout(std::string_view utf8, const Font& font, double width,
                             int maxLines) const;

    mutable std::map<Key, TextLayout> layouts_;
    std::unique_ptr<QObject> fontWatch_; // ends the font-change connection with this object
};

} // namespace corvane
