#include "platform/ui/Appearance.h"

#include <optional>

namespace corvane {

namespace {
// One thread owns all views, so this is plain process-wide state.
AppearanceName systemAppearance = AppearanceName::aqua;
std::optional<AppearanceName> drawingOverride;
} // namespace

std::optional<AppearanceName>
Appearance::bestMatchFromAppearancesWithNames(std::initializer_list<AppearanceName> names) const {
    for (AppearanceName candidate : names) {
        if (candidate == name_)
            return candidate;
    }
    return std::nullopt;
}

void Appearance::performAsCurrentDrawingAppearance(const std::function<void()>& block) const {
    struct Restore {
        std::optional<AppearanceName> previous;
        ~Restore() { drawingOverride = previous; }
    } restore{drawingOverride};
    drawingOverride = name_;
    if (block)
        block();
}

Appearance Appearance::currentDrawingAppearance() {
    return Appearance(drawingOverride.value_or(systemAppearance));
}

Appearance Appearance::system() {
    return Appearance(systemAppearance);
}

void Appearance::setSystem(AppearanceName name) {
    systemAppearance = name;
}

Color Color::withDynamicProvider(std::function<Color(const Appearance&)> provider) {
    Color color;
    color.provider_ =
        std::make_shared<const std::function<Color(const Appearance&)>>(std::move(provider));
    return color;
}

Color Color::labelColor() {
    return withDynamicProvider([](const Appearance& appearance) {
        const bool dark =
            appearance.bestMatchFromAppearancesWithNames(
                {AppearanceName::darkAqua, AppearanceName::aqua}) == AppearanceName::darkAqua;
        return dark ? colorWithWhite(1, 0.85) : colorWithWhite(0, 0.85);
    });
}

Color Color::colorWithAlphaComponent(double alpha) const {
    Color copy = *this;
    copy.alphaOverride_ = alpha;
    return copy;
}

RGBA Color::resolvedIn(const Appearance& appearance) const {
    RGBA value = fixed_;
    if (provider_ && *provider_)
        value = (*provider_)(appearance).resolvedIn(appearance);
    if (alphaOverride_)
        value.alpha = *alphaOverride_;
    return value;
}

} // namespace corvane
