#pragma once
// Points, sizes and rectangles of the view layer, in points (not device pixels).
//
// Two coordinate systems meet here:
// - Inside a view tree every frame is in its superview's coordinates with the origin at the
//   top-left corner and y growing downwards (what a painter expects).
// - A panel's frame is in screen coordinates with the origin at the bottom-left corner of the
//   primary screen and y growing upwards, as on macOS. A backend whose window system counts from
//   the top (X11) converts with flippedScreenRect().

namespace corvane {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    Size size() const { return {width, height}; }
    // Half-open on the far edges, so two adjacent rectangles never both contain a point.
    bool contains(Point p) const { return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY(); }

    friend bool operator==(const Rect&, const Rect&) = default;
};

// Converts a rectangle between bottom-left-origin screen coordinates and top-left-origin ones
// (the conversion is its own inverse). primaryScreenHeight is the height of the screen whose
// bottom-left corner is the origin of the bottom-left system.
inline Rect flippedScreenRect(const Rect& r, double primaryScreenHeight) {
    return {r.x, primaryScreenHeight - (r.y + r.height), r.width, r.height};
}

} // namespace corvane
