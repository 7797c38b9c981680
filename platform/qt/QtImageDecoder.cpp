#include "platform/qt/QtImageDecoder.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>

namespace corvane {

namespace {

constexpr int kMaxSide = 1024;

ImageRef toImage(const QImage& source) {
    if (source.isNull())
        return nullptr;
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    auto image = std::make_shared<Image>();
    image->width = argb.width();
    image->height = argb.height();
    image->argb.reserve(std::size_t(argb.width()) * argb.height());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        image->argb.insert(image->argb.end(), row, row + argb.width());
    }
    return image;
}

} // namespace

ImageRef decodeImageFile(const std::string& bytes, const std::string& format, int pixels) {
    if (bytes.empty())
        return nullptr;
    const int side = std::clamp(pixels, 1, kMaxSide);
    const QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
    if (format == "svg") {
        QSvgRenderer renderer(data);
        if (!renderer.isValid())
            return nullptr;
        QSize size = renderer.defaultSize();
        size = size.isEmpty() ? QSize(side, side) : size.scaled(side, side, Qt::KeepAspectRatio);
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        return toImage(image);
    }
    QImage image;
    if (!image.loadFromData(data, format == "xpm" ? "XPM" : "PNG"))
        return nullptr;
    if (image.width() > side || image.height() > side)
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return toImage(image);
}

} // namespace corvane
