#include "platform/qt/QtTextMetrics.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

QFont::Weight qWeightFor(FontWeight weight) {
    switch (weight) {
    case FontWeight::regular:
        return QFont::Normal;
    case FontWeight::medium:
        return QFont::Medium;
    case FontWeight::semibold:
        return QFont::DemiBold;
    case FontWeight::bold:
        return QFont::Bold;
    }
    return QFont::Normal;
}

QString toQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

std::string toStd(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// A line break or tab inside a window title would start a line of its own or draw a box.
QString flattened(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return text;
}

// A point is a logical pixel (see the header); nonsense sizes end up 1 to 4,096 pixels.
int pixelSizeOf(const Font& font) {
    if (!std::isfinite(font.pointSize))
        return 1;
    return int(std::clamp(std::round(font.pointSize), 1.0, 4096.0));
}

} // namespace

QFont qFontFor(const Font& font) {
    QFont result = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    result.setPixelSize(pixelSizeOf(font));
    result.setWeight(qWeightFor(font.weight));
    result.setKerning(true);
    return result;
}

namespace {

constexpr std::size_t kRememberedLayoutsLimit = 8192;

// Calls back when the application's font changes (Qt also changes it when the desktop's
// theme font does).
class FontWatch : public QObject {
  public:
    explicit FontWatch(std::function<void()> changed) : changed_(std::move(changed)) {
        if (qGuiApp)
            qGuiApp->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qGuiApp && event->type() == QEvent::ApplicationFontChange)
            changed_();
        return false;
    }

  private:
    std::function<void()> changed_;
};

} // namespace

QtTextMetrics::QtTextMetrics()
    : fontWatch_(std::make_unique<FontWatch>([this] { layouts_.clear(); })) {
    for (const Font& font : {Font::systemFont(11, FontWeight::semibold), Font::systemFont(10)})
        measureLayout("Corvane — Tab", font, 130, 2);
}

QtTextMetrics::~QtTextMetrics() = default;

TextLayout QtTextMetrics::remembered(Key key, const std::function<TextLayout()>& measure) const {
    if (auto found = layouts_.find(key); found != layouts_.end())
        return found->second;
    if (layouts_.size() >= kRememberedLayoutsLimit)
        layouts_.clear();
    TextLayout layout = measure();
    layouts_.emplace(std::move(key), layout);
    return layout;
}

double QtTextMetrics::lineHeight(const Font& font) {
    return QFontMetricsF(qFontFor(font)).lineSpacing();
}

TextLayout QtTextMetrics::measureSingleLine(std::string_view utf8, const Font& font) const {
    return remembered({false, std::string(utf8), pixelSizeOf(font), font.weight, 0, 0}, [&] {
        const QString text = flattened(toQString(utf8));
        const QFontMetricsF metrics(qFontFor(font));
        TextLayout layout;
        layout.lines.push_back(toStd(text));
        layout.width = metrics.horizontalAdvance(text);
        layout.height = metrics.height();
        return layout;
    });
}

TextLayout QtTextMetrics::layoutText(std::string_view utf8, const Font& font, double width,
                                     int maxLines) const {
    // A NaN would break the key's ordering; it measures as a width of 0 anyway.
    const double keyWidth = std::isnan(width) ? 0.0 : width;
    return remembered({true, std::string(utf8), pixelSizeOf(font), font.weight, keyWidth, maxLines},
                      [&] { return measureLayout(utf8, font, width, maxLines); });
}

TextLayout QtTextMetrics::measureLayout(std::string_view utf8, const Font& font, double width,
                                        int maxLines) const {
    const QFont qfont = qFontFor(font);
    const QFontMetricsF metrics(qfont);
    const QString text = flattened(toQString(utf8));
    const double lineWidth = std::max(0.0, width);

    TextLayout result;
    QTextLayout layout(text, qfont);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(lineWidth);
        const int start = line.textStart();
        const bool isLastAllowed = maxLines > 0 && int(result.lines.size()) + 1 == maxLines;
        const bool textRemains = start + line.textLength() < text.size();
        QString lineText;
        if (isLastAllowed && textRemains) {
            // Everything from here on goes on this line, cut with an ellipsis at the end.
            const QString rest = text.mid(start).trimmed();
            lineText = metrics.elidedText(rest, Qt::ElideRight, lineWidth);
            if (lineText.isEmpty())
                lineText = QStringLiteral("…");
            result.truncated = lineText != rest;
        } else {
            lineText = text.mid(start, line.textLength());
            // Trailing spaces at a soft break take no room.
            while (lineText.endsWith(QLatin1Char(' ')))
                lineText.chop(1);
        }
        result.lines.push_back(toStd(lineText));
        result.width =
            std::max(result.width, std::min(lineWidth, metrics.horizontalAdvance(lineText)));
        if (isLastAllowed)
            break;
    }
    layout.endLayout();

    const std::size_t lineCount = std::max<std::size_t>(1, result.lines.size());
    result.height = std::ceil(double(lineCount - 1) * metrics.lineSpacing() + metrics.height());
    return result;
}

} // namespace corvane
