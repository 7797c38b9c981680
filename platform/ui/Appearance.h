#pragma once
// Appearances (light "aqua" and dark "darkAqua") and colours, with AppKit's semantics.
//
// A view's effective appearance is its own appearance, else its superview's effective one, else
// the system appearance. Dynamic colours are resolved under the *current drawing appearance*: the
// system appearance, or the appearance whose performAsCurrentDrawingAppearance() is running.
// Everything here is main-thread only; the current drawing appearance is process-wide state.

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

namespace corvane {

enum class AppearanceName { aqua, darkAqua };

class Appearance {
  public:
    static Appearance named(AppearanceName name) { return Appearance(name); }

    AppearanceName name() const { return name_; }

    // The first name in `names` that this appearance matches, or none.
    std::optional<AppearanceName>
    bestMatchFromAppearancesWithNames(std::initializer_list<AppearanceName> names) const;

    // Runs block with this appearance as the current drawing appearance, restoring the previous
    // one afterwards (also when block throws).
    void performAsCurrentDrawingAppearance(const std::function<void()>& block) const;

    // The appearance dynamic colours resolve under right now.
    static Appearance currentDrawingAppearance();

    // The desktop's light/dark setting. Trees already built learn of a change through
    // View::propagateEffectiveAppearance() on their root (the panel does it for its tree).
    static Appearance system();
    static void setSystem(AppearanceName name);

    friend bool operator==(const Appearance&, const Appearance&) = default;

  private:
    explicit Appearance(AppearanceName name) : name_(name) {}
    AppearanceName name_;
};

// A fixed colour, straight (not premultiplied) components in 0...1. This is what layers store:
// the equivalent of a CGColor, taken from a Color at one moment.
struct RGBA {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;
    friend bool operator==(const RGBA&, const RGBA&) = default;
};

// A colour: fixed, or dynamic (a provider asked for the appearance it is resolved under).
// Cheap to copy; a dynamic colour shares its provider.
class Color {
  public:
    Color() = default; // clear
    explicit Color(RGBA fixed) : fixed_(fixed) {}
    static Color withDynamicProvider(std::function<Color(const Appearance&)> provider);

    static Color colorWithWhite(double white, double alpha) {
        return Color({white, white, white, alpha});
    }
    static Color blackColor() { return colorWithWhite(0, 1); }
    static Color whiteColor() { return colorWithWhite(1, 1); }
    static Color clearColor() { return colorWithWhite(0, 0); }
    // Text and glyphs: black at 0.85 under aqua, white at 0.85 under darkAqua.
    static Color labelColor();

    // The same colour (dynamic stays dynamic) with its alpha replaced.
    Color colorWithAlphaComponent(double alpha) const;

    bool isDynamic() const { return provider_ != nullptr; }
    RGBA resolvedIn(const Appearance& appearance) const;
    // Resolved under the current drawing appearance, like reading NSColor.CGColor.
    RGBA cgColor() const { return resolvedIn(Appearance::currentDrawingAppearance()); }

  private:
    RGBA fixed_{};
    std::shared_ptr<const std::function<Color(const Appearance&)>> provider_;
    std::optional<double> alphaOverride_;
};

} // namespace corvane
