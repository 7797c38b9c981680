#pragma once
// Pixels of a view tree as QtViewPainter paints it, and how far two paintings differ, for the Qt
// backend's tests. Not a renderer of its own: every pixel comes from QtViewPainter.

#include "platform/qt/QtViewPainter.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <optional>

namespace corvane::testing {

// `root` painted on a transparent image of `size` points at `dpr`, only inside `area` if given,
// by `painter` if given (to read what it counted) or else a fresh one.
inline QImage painted(const View& root, QSizeF size, double dpr = 1,
                      std::optional<QRectF> area = std::nullopt, QtViewPainter* painter = nullptr) {
    QtViewPainter fresh;
    QImage image(int(size.width() * dpr), int(size.height() * dpr),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter qpainter(&image);
    if (area)
        qpainter.setClipRect(*area);
    (painter ? *painter : fresh).paint(qpainter, root, area);
    qpainter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The largest difference of any channel between two images; 256 when their sizes differ.
inline int largestDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    if (x.size() != y.size())
        return 256;
    int worst = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col)
            for (int shift : {0, 8, 16, 24})
                worst = std::max(worst, std::abs(int((x.pixel(col, row) >> shift) & 0xFF) -
                                                 int((y.pixel(col, row) >> shift) & 0xFF)));
    return worst;
}

} // namespace corvane::testing
