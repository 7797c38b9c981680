#include "platform/qt/QtPanelBackend.h"

#include "platform/qt/QtRunLoop.h"
#include "platform/qt/QtScreen.h"

#include <QCursor>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QRegion>
#include <QScreen>
#include <QSysInfo>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(CORVANE_QT_HAS_XCB)
#include <xcb/shape.h>
#include <xcb/xcb.h>
#endif

namespace corvane {

namespace {

QRect toQRect(const Rect& r) {
    return QRect(int(std::lround(r.x)), int(std::lround(r.y)), int(std::lround(r.width)),
                 int(std::lround(r.height)));
}

void syncSystemAppearance() {
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    Appearance::setSystem(window.lightnessF() < 0.5 ? AppearanceName::darkAqua
                                                    : AppearanceName::aqua);
}

// The _NET_WM_CM_S<screen> atom of a connection. Atoms live as long as the X server, so it is
// asked once: every switch checks for a compositor before the panel is mapped, and each round
// trip on that path delays the panel.
#if defined(CORVANE_QT_HAS_XCB)
xcb_atom_t compositorSelection(xcb_connection_t* connection) {
    static xcb_connection_t* askedOn = nullptr;
    static xcb_atom_t atom = XCB_ATOM_NONE;
    if (askedOn == connection && atom != XCB_ATOM_NONE)
        return atom;
    const std::string name = "_NET_WM_CM_S" + std::to_string(defaultX11ScreenNumber());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.c_str()), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    askedOn = connection;
    atom = reply->atom;
    std::free(reply);
    return atom;
}
#endif

} // namespace

// Row by row: one rectangle for each line of pixels through the corners (a pixel is in when its
// centre is inside the arc) and one for the straight part between them. Made directly rather
// than by filling a rounded path, which took most of a chord's work when the panel slides.
QRegion roundedRegion(const QRect& area, int radius, const QRect& bounds) {
    QVector<QRect> rows;
    const auto add = [&](const QRect& row) {
        const QRect clipped = row.intersected(bounds);
        if (!clipped.isEmpty())
            rows.push_back(clipped);
    };
    // How far the row'th line from the top (or bottom) edge starts inside the left (or right).
    const auto inset = [radius](int row) {
        const double dy = radius - row - 0.5;
        const double dx = std::sqrt(std::max(0.0, double(radius) * radius - dy * dy));
        return static_cast<int>(std::lround(radius - dx));
    };
    for (int row = 0; row < radius; ++row)
        add(QRect(area.left() + inset(row), area.top() + row, area.width() - 2 * inset(row), 1));
    add(QRect(area.left(), area.top() + radius, area.width(), area.height() - 2 * radius));
    for (int row = radius - 1; row >= 0; --row)
        add(QRect(area.left() + inset(row), area.bottom() - row, area.width() - 2 * inset(row), 1));
    QRegion region;
    region.setRects(rows.constData(), static_cast<int>(rows.size()));
    return region;
}

// Answers with the owner asked about at the previous call and asks again for the next one, so
// that ordering the panel front never waits on the X server; only the first call waits.
bool isCompositorRunning() {
#if !defined(CORVANE_QT_HAS_XCB)
    return false;
#else
    xcb_connection_t* connection = qtX11Connection();
    if (connection == nullptr)
        return false;
    const xcb_atom_t selection = compositorSelection(connection);
    if (selection == XCB_ATOM_NONE)
        return false;
    static xcb_connection_t* askedOn = nullptr;
    static xcb_get_selection_owner_cookie_t asked{};
    if (askedOn != connection)
        asked = xcb_get_selection_owner(connection, selection);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, asked, nullptr);
    // The question goes out with the next flush: at the chord, with the panel's map.
    asked = xcb_get_selection_owner(connection, selection);
    askedOn = connection;
    if (!owner)
        return false;
    const bool owned = owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
#endif
}

QRect desktopGeometry() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
}

QtPanelWindow::QtPanelWindow(Panel& panel)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus),
      panel_(&panel) {
    // A compositor that draws shadows gives the panel one unless the panel asks for none.
    setWindowFlag(Qt::NoDropShadowWindowHint, !panel.hasShadow());
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setWindowTitle(QStringLiteral("Corvane"));
    image_.shareThrough(&sharedPicture_);
}

bool QtPanelWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Expose || watched != windowHandle())
        return QWidget::eventFilter(watched, event);
    // The server has painted what was exposed from the background, which holds the picture:
    // Qt's repaint of its backing store (a fill, a copy and a put of the whole window) would
    // draw the same pixels. What Qt's own handling does besides is noting the window mapped.
    if (windowHandle()->isExposed() && presentsItself()) {
        presentChanges(); // whatever changed since the background was last brought up to date
        setAttribute(Qt::WA_Mapped);
        return true;
    }
    // Qt answers an expose from its backing store unless something is waiting to be painted.
    if (backingStoreIsBehind_) {
        backingStoreIsBehind_ = false;
        update();
    }
    return false;
}

bool QtPanelWindow::presentsItself() const {
    return background_.pixmap != 0 && isVisible() && !isUnmappedBehindQt_ &&
           background_.window == static_cast<std::uint32_t>(winId()) &&
           sharedPicture_.holds(image_.image()) && devicePixelRatioF() == 1.0 &&
           image_.image().size() == size();
}

void QtPanelWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (!panel_) {
        painter.fillRect(event->rect(), Qt::transparent);
        return;
    }
    if (event->region().contains(rect()))
        backingStoreIsBehind_ = false;
    prepareImage();
    const QRect area = event->rect();
    const qreal ratio = image_.image().devicePixelRatio();
    painter.drawImage(QRectF(area), image_.image(),
                      QRectF(area.topLeft() * ratio, area.size() * ratio));
}

void QtPanelWindow::prepareImage() {
    if (panel_)
        image_.update(*panel_, painter_, size(), panelOrigin_, devicePixelRatioF());
}

void QtPanelWindow::prepareBackground() {
    prepareImage();
    syncBackground();
}

Point QtPanelWindow::toPanel(QPointF position) const {
    return {position.x() + panelOrigin_.x(), position.y() + panelOrigin_.y()};
}

QtPanelWindow::~QtPanelWindow() {
    forgetRestingPointer();
    forgetBackground();
}

void QtPanelWindow::showUnderRestingPointer() {
    forgetRestingPointer();
#if defined(CORVANE_QT_HAS_XCB)
    // Qt's own show asks the server twice, before the map and after it, and the panel would
    // wait for both. Once Qt has shown the window, it stays shown to Qt and is mapped and
    // unmapped here, as a window manager does when it minimizes and restores: Qt paints it on
    // the map's expose, from its backing store when nothing changed.
    xcb_connection_t* c = qtX11Connection();
    if (c != nullptr && isUnmappedBehindQt_) {
        isUnmappedBehindQt_ = false;
        prepareBackground(); // usually current already: prepared while hidden
        const auto id = static_cast<xcb_window_t>(winId());
        // On top before it appears: windows raised since it was last up stay below it.
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_map_window(c, id);
        // Where the pointer rests as the window appears; read when the first pointer event
        // asks, long after the answer came.
        if (devicePixelRatioF() == 1.0)
            restingPointerQuery_ = xcb_query_pointer(c, id).sequence;
        else
            restingPointer_ = QCursor::pos();
        xcb_flush(c);
        return;
    }
#endif
    show();
    raise(); // on top, as the direct map above does before mapping
    // Asked after the map request, which goes out with the question: the answer is where the
    // pointer was as the window appeared, and the map does not wait for it.
    restingPointer_ = QCursor::pos();
}

bool QtPanelWindow::presentChanges() {
#if defined(CORVANE_QT_HAS_XCB)
    xcb_connection_t* c = qtX11Connection();
    if (c == nullptr || !isMapped())
        return false;
    prepareImage();
    // Without shared memory the background is only brought up to date at the map and after.
    if (!sharedPicture_.holds(image_.image()))
        return false;
    const QRegion changed = syncBackground();
    if (!presentsItself())
        return false;
    const auto window = static_cast<xcb_window_t>(winId());
    for (const QRect& area : changed)
        xcb_copy_area(c, background_.pixmap, window, background_.gc, std::int16_t(area.x()),
                      std::int16_t(area.y()), std::int16_t(area.x()), std::int16_t(area.y()),
                      std::uint16_t(area.width()), std::uint16_t(area.height()));
    xcb_flush(c);
    if (!changed.isEmpty())
        backingStoreIsBehind_ = true;
    return true;
#else
    return false;
#endif
}

QRegion QtPanelWindow::syncBackground() {
#if defined(CORVANE_QT_HAS_XCB)
    xcb_connection_t* c = qtX11Connection();
    const QImage& picture = image_.image();
    // Pixel for pixel only: the picture in the server's 32-bit layout, as big as the window.
    if (c == nullptr || !testAttribute(Qt::WA_WState_Created) || picture.isNull() ||
        picture.format() != QImage::Format_ARGB32_Premultiplied || picture.size() != size() ||
        devicePixelRatioF() != 1.0 || QSysInfo::ByteOrder != QSysInfo::LittleEndian)
        return {};
    const auto window = static_cast<xcb_window_t>(winId());
    if (window != background_.window) {
        forgetBackground();
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
        background_.window = window;
        background_.depth = geometry ? geometry->depth : 0;
        std::free(geometry);
    }
    if (background_.depth != 24 && background_.depth != 32)
        return {};
    QRegion changed = image_.takeChanged();
    if (background_.size != picture.size()) {
        if (background_.pixmap != 0)
            xcb_free_pixmap(c, background_.pixmap);
        background_.pixmap = xcb_generate_id(c);
        xcb_create_pixmap(c, background_.depth, background_.pixmap, window,
                          std::uint16_t(picture.width()), std::uint16_t(picture.height()));
        if (background_.gc == 0) {
            background_.gc = xcb_generate_id(c);
            // Copies into the window report no exposure of their own.
            const std::uint32_t noExposures = 0;
            xcb_create_gc(c, background_.gc, background_.pixmap, XCB_GC_GRAPHICS_EXPOSURES,
                          &noExposures);
        }
        xcb_change_window_attributes(c, window, XCB_CW_BACK_PIXMAP, &background_.pixmap);
        // Exposes are answered from the background from now on (see eventFilter).
        windowHandle()->installEventFilter(this);
        background_.size = picture.size();
        changed = QRegion(picture.rect());
    }
    changed &= picture.rect();
    if (sharedPicture_.put(picture, changed, background_.pixmap, background_.gc, background_.depth))
        return changed;
    // Each changed rectangle in bands that fit one request (its length counts 4-byte units).
    const std::size_t maximum = std::size_t(xcb_get_maximum_request_length(c)) * 4 - 64;
    std::vector<std::uint32_t> rows;
    for (const QRect& area : changed) {
        const std::size_t rowPixels = std::size_t(area.width());
        const int rowsPerBand = int(std::max<std::size_t>(1, maximum / (rowPixels * 4)));
        // Whole rows lie one after the other in the picture; a narrower area is gathered.
        const bool wholeRows =
            area.width() == picture.width() && std::size_t(picture.bytesPerLine()) == rowPixels * 4;
        for (int top = area.top(); top <= area.bottom(); top += rowsPerBand) {
            const int count = std::min(rowsPerBand, area.bottom() + 1 - top);
            const std::uint8_t* band = picture.constScanLine(top);
            if (!wholeRows) {
                rows.resize(rowPixels * std::size_t(count));
                for (int y = 0; y < count; ++y)
                    std::memcpy(rows.data() + rowPixels * std::size_t(y),
                                picture.constScanLine(top + y) + std::size_t(area.left()) * 4,
                                rowPixels * 4);
                band = reinterpret_cast<const std::uint8_t*>(rows.data());
            }
            xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, background_.pixmap, background_.gc,
                          std::uint16_t(area.width()), std::uint16_t(count),
                          std::int16_t(area.left()), std::int16_t(top), 0, background_.depth,
                          std::uint32_t(rowPixels * std::size_t(count) * 4), band);
        }
    }
    return changed;
#else
    return {};
#endif
}

void QtPanelWindow::forgetBackground() {
#if defined(CORVANE_QT_HAS_XCB)
    xcb_connection_t* c = qtX11Connection();
    if (c != nullptr && background_.pixmap != 0)
        xcb_free_pixmap(c, background_.pixmap);
    if (c != nullptr && background_.gc != 0)
        xcb_free_gc(c, background_.gc);
#endif
    background_ = {};
}

void QtPanelWindow::hideKeepingPointer() {
    forgetRestingPointer();
#if defined(CORVANE_QT_HAS_XCB)
    xcb_connection_t* c = qtX11Connection();
    if (c != nullptr && windowHandle() != nullptr && isVisible()) {
        if (!isUnmappedBehindQt_) {
            isUnmappedBehindQt_ = true;
            xcb_unmap_window(c, static_cast<xcb_window_t>(winId()));
            xcb_flush(c);
        }
        return;
    }
#endif
    hidingQuietly_ = true;
    hide();
    hidingQuietly_ = false;
}

void QtPanelWindow::readRestingPointer() {
#if defined(CORVANE_QT_HAS_XCB)
    xcb_connection_t* c = qtX11Connection();
    if (!restingPointerQuery_ || c == nullptr)
        return;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(c, xcb_query_pointer_cookie_t{*restingPointerQuery_}, nullptr);
    restingPointerQuery_.reset();
    if (reply)
        restingPointer_ = QPoint(reply->root_x, reply->root_y);
    std::free(reply);
#endif
}

void QtPanelWindow::forgetRestingPointer() {
#if defined(CORVANE_QT_HAS_XCB)
    if (xcb_connection_t* c = qtX11Connection(); c != nullptr && restingPointerQuery_)
        xcb_discard_reply(c, *restingPointerQuery_);
#endif
    restingPointerQuery_.reset();
    restingPointer_.reset();
}

bool QtPanelWindow::pointerHasMoved(QPointF globalPosition) {
    readRestingPointer();
    if (restingPointer_ && globalPosition.toPoint() == *restingPointer_)
        return false;
    restingPointer_.reset();
    return true;
}

void QtPanelWindow::enterEvent(QEnterEvent* event) {
    if (panel_ && pointerHasMoved(event->globalPosition()))
        panel_->pointerMoved(toPanel(event->position()));
}

void QtPanelWindow::mouseMoveEvent(QMouseEvent* event) {
    if (panel_ && pointerHasMoved(event->globalPosition()))
        panel_->pointerMoved(toPanel(event->position()));
}

void QtPanelWindow::leaveEvent(QEvent*) {
    // A leave for a window that is hidden, or one the server sends for the unmapping before a
    // quick re-show while the pointer still rests where it was, is not the pointer leaving.
    if (!panel_ || hidingQuietly_ || !isMapped())
        return;
    readRestingPointer();
    if (restingPointer_ && QCursor::pos() == *restingPointer_)
        return;
    restingPointer_.reset();
    panel_->pointerLeft();
}

void QtPanelWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (panel_ && event->button() == Qt::LeftButton)
        panel_->mouseUp(toPanel(event->position()));
}

void QtPanelWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ApplicationPaletteChange && panel_) {
        syncSystemAppearance();
        panel_->systemAppearanceDidChange();
    }
    QWidget::changeEvent(event);
}

QtPanelBackend::QtPanelBackend(Panel& panel, std::function<bool()> compositorProbe,
                               std::function<QRect()> screenArea)
    : panel_(panel), compositorProbe_(std::move(compositorProbe)),
      screenArea_(std::move(screenArea)), window_(std::make_unique<QtPanelWindow>(panel)),
      // Only on X11 do the keys come on a connection of Corvane's own, drained before sleeping.
      mapsBeforeSleeping_(QGuiApplication::platformName() == QLatin1String("xcb")) {}

QtPanelBackend::~QtPanelBackend() {
    // The panel is going away: no event of the closing window may reach it.
    window_->detach();
    window_->hide();
}

void QtPanelBackend::panelDidOrderFront() {
    compositorRuns_ = compositorProbe_ && compositorProbe_();
    applyGeometry();
    applyShape();
    lastAlpha_ = panel_.alphaValue();
    window_->setWindowOpacity(std::clamp(lastAlpha_, 0.0, 1.0));
    showWindow();
}

void QtPanelBackend::showWindow() {
    // A window already up keeps its pointer state: re-showing a fading panel must not make the
    // pointer leave and enter again.
    if (window_->isMapped()) {
        window_->raise();
        window_->update();
        return;
    }
    if (mapRequested_)
        return;
    mapRequested_ = true;
    if (!mapsBeforeSleeping_) {
        mapIfStillWanted();
        return;
    }
    runBeforeSleeping(window_.get(), [this] { mapIfStillWanted(); });
}

void QtPanelBackend::mapIfStillWanted() {
    if (!mapRequested_)
        return;
    mapRequested_ = false;
    if (!panel_.isVisible() || window_->isMapped())
        return;
    if (panel_.ignoresMouseEvents() && panel_.alphaValue() <= 0)
        return;
    window_->showUnderRestingPointer(); // on top
    applyInputShape();
    // Shown with its background, which holds the picture; else Qt paints it.
    if (!window_->presentsItself())
        window_->update();
}

void QtPanelBackend::panelDidOrderOut() {
    mapRequested_ = false;
    window_->hideKeepingPointer();
    // What the switch repainted goes to the background now, not at the next chord.
    window_->syncBackground();
    // The probe answers what it was asked at its last call (see isCompositorRunning): asked
    // now, the answer at the next order-front is from the end of this switch.
    if (compositorProbe_)
        compositorProbe_();
#if defined(CORVANE_QT_HAS_XCB)
    if (xcb_connection_t* c = qtX11Connection())
        xcb_flush(c);
#endif
}

void QtPanelBackend::panelDidChangeIgnoresMouseEvents() {
    applyInputShape();
    // Committed before its fade-in showed anything: nothing of it would be seen or take input.
    if (panel_.ignoresMouseEvents() && panel_.alphaValue() <= 0 && window_->isMapped())
        window_->hideKeepingPointer();
}

void QtPanelBackend::applyInputShape() {
#if defined(CORVANE_QT_HAS_XCB)
    const bool empty = panel_.ignoresMouseEvents();
    xcb_connection_t* c = qtX11Connection();
    // A window not made yet gets its shape when it is mapped.
    if (empty == inputShapeIsEmpty_ || c == nullptr || !window_->windowHandle())
        return;
    inputShapeIsEmpty_ = empty;
    const auto id = static_cast<xcb_window_t>(window_->winId());
    if (!empty) {
        xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, id, 0, 0, XCB_NONE);
        xcb_flush(c);
        return;
    }
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, id, 0,
                         0, 0, nullptr);
    // The round trip proves the server has processed the change and sent the crossing events
    // it caused before the caller's next request on any other connection.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
#endif
}

void QtPanelBackend::panelDidChangeFrame() {
    applyGeometry();
    applyShape();
}

void QtPanelBackend::panelDidChangeAlpha() {
    const double alpha = panel_.alphaValue();
    const bool fadingOut = alpha < lastAlpha_;
    lastAlpha_ = alpha;
    if (compositorRuns_) {
        window_->setWindowOpacity(std::clamp(alpha, 0.0, 1.0));
        return;
    }
    // Without a compositor a fade cannot be seen: a fading-out panel would stand still for the
    // whole fade over the window just raised. It goes at the first step instead; the panel
    // itself stays visible until ordered out, so the switch logic is unchanged.
    if (fadingOut && window_->isMapped())
        window_->hideKeepingPointer();
    else if (!fadingOut && panel_.isVisible() && !window_->isMapped())
        showWindow();
}

void QtPanelBackend::panelNeedsDisplay() {
    repaintSoon(QRect(QPoint(0, 0), window_->size()));
}

void QtPanelBackend::repaintSoon(const QRect& area) {
    if (!window_->isMapped()) {
        window_->update(area);
        return;
    }
    pendingRepaint_ += area;
    if (repaintPosted_)
        return;
    repaintPosted_ = true;
    QMetaObject::invokeMethod(
        window_.get(),
        [this] {
            repaintPosted_ = false;
            const QRegion region = std::exchange(pendingRepaint_, QRegion());
            if (window_->isMapped()) {
                if (!window_->presentChanges())
                    window_->repaint(region);
            } else
                window_->update(region);
        },
        Qt::QueuedConnection);
}

void QtPanelBackend::panelNeedsDisplayInRect(Rect rect) {
    // Antialiased edges reach into the pixel around the view's frame.
    const QRect area = toQRect(rect).adjusted(-1, -1, 1, 1).translated(-window_->panelOrigin());
    window_->invalidateImage(area);
    repaintSoon(area);
}

void QtPanelBackend::panelPrepareDisplay() {
    applyGeometry();
    window_->prepareBackground();
}

void QtPanelBackend::applyGeometry() {
    const double screenHeight = QtScreen::primaryScreenHeight();
    panelRect_ = toQRect(flippedScreenRect(panel_.frame(), screenHeight > 0 ? screenHeight : 900));
    // Only the on-screen part becomes a window. A panel wholly off screen (or no known screen)
    // keeps its whole frame: nothing of it shows either way.
    const QRect screen = screenArea_ ? screenArea_() : QRect();
    const QRect visible =
        panelRect_.intersects(screen) ? panelRect_.intersected(screen) : panelRect_;
    const QPoint origin = visible.topLeft() - panelRect_.topLeft();
    const bool originMoved = origin != window_->panelOrigin();
    window_->setPanelOrigin(origin);
    window_->setGeometry(visible);
    if (originMoved)
        repaintSoon(QRect(QPoint(0, 0), window_->size())); // same window, other part of the panel
}

void QtPanelBackend::applyShape() {
    const auto& root = panel_.contentView();
    const Layer* layer = root ? root->layer() : nullptr;
    const bool rounded = layer && layer->masksToBounds() && layer->cornerRadius() > 0;
    usesShapeMask_ = !compositorRuns_ && rounded;
    // Each switch orders the panel front and places it: a shape made for the same geometry is
    // not made again (turning the rounded rectangle into a region is most of the chord's work).
    const ShapeKey key{usesShapeMask_, panelRect_.size(), window_->panelOrigin(), window_->size(),
                       usesShapeMask_ ? layer->cornerRadius() : 0};
    if (key == shapeKey_)
        return;
    shapeKey_ = key;
    if (!usesShapeMask_) {
        window_->clearMask();
        return;
    }
    // The panel's rounded shape in the window's coordinates; corners off screen are not in the
    // window at all.
    const QRect area(-window_->panelOrigin(), panelRect_.size());
    const double radius =
        std::min(layer->cornerRadius(), std::min(area.width(), area.height()) / 2.0);
    window_->setMask(roundedRegion(area, static_cast<int>(std::lround(radius)),
                                   QRect(QPoint(0, 0), window_->size())));
}

QtPanelBackendFactory::QtPanelBackendFactory(std::function<bool()> compositorProbe,
                                             std::function<QRect()> screenArea)
    : compositorProbe_(std::move(compositorProbe)), screenArea_(std::move(screenArea)) {
    syncSystemAppearance();
}

std::unique_ptr<PanelBackend> QtPanelBackendFactory::createPanelBackend(Panel& panel) {
    return std::make_unique<QtPanelBackend>(panel, compositorProbe_, screenArea_);
}

} // namespace corvane
