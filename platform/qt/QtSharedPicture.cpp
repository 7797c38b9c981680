#include "platform/qt/QtSharedPicture.h"

#include "platform/qt/QtScreen.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QDebug>
#include <QSysInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#if defined(CORVANE_QT_HAS_XCB)
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#endif

namespace corvane {

#if defined(CORVANE_QT_HAS_XCB)

namespace {

// One shared segment, alive while an image over it is.
struct Segment {
    QtSharedPicture* owner = nullptr;
    xcb_connection_t* connection = nullptr;
    std::uint32_t id = 0; // the server's name for it
    void* address = nullptr;
    std::size_t bytes = 0;
};

// Whether sequence number `a` comes at or after `b` (they wrap).
bool isAtOrAfter(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) >= 0;
}

} // namespace

struct QtSharedPicture::State : QAbstractNativeEventFilter {
    Segment* current = nullptr; // the segment of the image make() answered last
    xcb_connection_t* checkedOn = nullptr;
    bool serverShares = false;
    bool saidRefused = false;
    std::uint8_t completionEvent = 0;
    bool putPending = false;
    std::uint32_t lastPut = 0;  // the sequence number of the last put that reports completion
    std::uint32_t readUpTo = 0; // every request up to this one is known to be done

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (completionEvent == 0 || type != "xcb_generic_event_t")
            return false;
        // Only Corvane's puts ask for completions: Qt is never shown one.
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != completionEvent)
            return false;
        if (isAtOrAfter(event->full_sequence, readUpTo))
            readUpTo = event->full_sequence;
        putPending = !isAtOrAfter(readUpTo, lastPut);
        return true;
    }

    bool serverSharesMemory(xcb_connection_t* c) {
        if (c == checkedOn)
            return serverShares;
        checkedOn = c;
        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
        serverShares =
            shm != nullptr && shm->present && QSysInfo::ByteOrder == QSysInfo::LittleEndian;
        completionEvent = serverShares ? std::uint8_t(shm->first_event + XCB_SHM_COMPLETION) : 0;
        return serverShares;
    }
};

QtSharedPicture::QtSharedPicture() : state_(std::make_unique<State>()) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installNativeEventFilter(state_.get());
}

QtSharedPicture::~QtSharedPicture() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(state_.get());
    // Images still out there free their memory themselves.
    if (state_->current)
        state_->current->owner = nullptr;
}

QImage QtSharedPicture::make(QSize pixels) {
    xcb_connection_t* c = qtX11Connection();
    if (c == nullptr || pixels.isEmpty() || !state_->serverSharesMemory(c))
        return {};
    const std::size_t bytes = std::size_t(pixels.width()) * std::size_t(pixels.height()) * 4;
    // The system's limits on shared memory may refuse it: the picture is then Corvane's own.
    const auto refused = [this](const char* call) {
        if (!state_->saidRefused)
            qInfo("Corvane: %s refused shared memory for the panel (%s); its pictures go through "
                  "the connection",
                  call, std::strerror(errno));
        state_->saidRefused = true;
        return QImage();
    };
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id == -1)
        return refused("shmget");
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        const QImage none = refused("shmat");
        shmctl(id, IPC_RMID, nullptr);
        return none;
    }
    const std::uint32_t seg = xcb_generate_id(c);
    xcb_generic_error_t* error = xcb_request_check(c, xcb_shm_attach_checked(c, seg, id, 1));
    // Gone once both sides have let go of it.
    shmctl(id, IPC_RMID, nullptr);
    if (error != nullptr) {
        // A server that cannot reach Corvane's memory (another machine) says so once for all.
        std::free(error);
        shmdt(address);
        state_->serverShares = false;
        qInfo("Corvane: the X server cannot share memory with Corvane; the panel's pictures go "
              "through the connection");
        return {};
    }
    auto* segment = new Segment{this, c, seg, address, bytes};
    if (state_->current)
        state_->current->owner = nullptr;
    state_->current = segment;
    return QImage(
        static_cast<uchar*>(address), pixels.width(), pixels.height(), pixels.width() * 4,
        QImage::Format_ARGB32_Premultiplied,
        [](void* info) {
            auto* gone = static_cast<Segment*>(info);
            if (gone->owner && gone->owner->state_->current == gone)
                gone->owner->state_->current = nullptr;
            // Detached after any put still queued: the server reads those first.
            if (QCoreApplication::instance() && qtX11Connection() == gone->connection)
                xcb_shm_detach(gone->connection, gone->id);
            shmdt(gone->address);
            delete gone;
        },
        segment);
}

bool QtSharedPicture::holds(const QImage& image) const {
    const Segment* segment = state_->current;
    return segment != nullptr && !image.isNull() && image.constBits() == segment->address &&
           std::size_t(image.sizeInBytes()) <= segment->bytes &&
           image.bytesPerLine() == image.width() * 4 &&
           image.format() == QImage::Format_ARGB32_Premultiplied;
}

bool QtSharedPicture::put(const QImage& image, const QRegion& region, std::uint32_t drawable,
                          std::uint32_t gc, std::uint8_t depth) {
    xcb_connection_t* c = qtX11Connection();
    if (!holds(image) || c != state_->current->connection || (depth != 24 && depth != 32))
        return false;
    const QRegion inside = region.intersected(image.rect());
    int left = inside.rectCount();
    for (const QRect& area : inside) {
        // The last one reports when the server is done, and with it every one before.
        const bool reports = --left == 0;
        const xcb_void_cookie_t cookie = xcb_shm_put_image(
            c, drawable, gc, std::uint16_t(image.width()), std::uint16_t(image.height()),
            std::uint16_t(area.x()), std::uint16_t(area.y()), std::uint16_t(area.width()),
            std::uint16_t(area.height()), std::int16_t(area.x()), std::int16_t(area.y()), depth,
            XCB_IMAGE_FORMAT_Z_PIXMAP, reports ? 1 : 0, state_->current->id, 0);
        if (reports) {
            state_->lastPut = cookie.sequence;
            state_->putPending = true;
        }
    }
    return true;
}

void QtSharedPicture::beforeWriting() {
    xcb_connection_t* c = qtX11Connection();
    if (!state_->putPending || c == nullptr)
        return;
    // The reply comes after the server has handled every request sent before it.
    const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(c);
    std::free(xcb_get_input_focus_reply(c, cookie, nullptr));
    if (isAtOrAfter(cookie.sequence, state_->readUpTo))
        state_->readUpTo = cookie.sequence;
    state_->putPending = false;
}

#else

struct QtSharedPicture::State {};

QtSharedPicture::QtSharedPicture() : state_(std::make_unique<State>()) {}
QtSharedPicture::~QtSharedPicture() = default;
QImage QtSharedPicture::make(QSize) {
    return {};
}
bool QtSharedPicture::holds(const QImage&) const {
    return false;
}
bool QtSharedPicture::put(const QImage&, const QRegion&, std::uint32_t, std::uint32_t,
                          std::uint8_t) {
    return false;
}
void QtSharedPicture::beforeWriting() {}

#endif

} // namespace corvane
