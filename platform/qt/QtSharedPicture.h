#pragma once
// The panel's picture in memory the X server shares with Corvane (MIT-SHM). Putting a part of
// it into a window or pixmap then costs the server one copy out of that memory: nothing goes
// through the socket, and nothing waits for the toolkit's own backing store, which makes every
// repaint after a put wait a round trip until the server has read it.
//
// The server reads a put's pixels when it gets to the request, so the picture is only written
// again once it has: each put asks for the server's completion event, and beforeWriting() waits
// (a round trip) only when the last put has not been reported done yet, which between key
// presses it always has.
//
// Off X11, or where the server cannot share memory with Corvane (a display on another machine,
// no MIT-SHM), make() answers a null image and the caller keeps a picture of its own.

#include <QImage>
#include <QRegion>
#include <QSize>
#include <cstdint>
#include <memory>

namespace corvane {

class QtSharedPicture {
  public:
    QtSharedPicture();
    ~QtSharedPicture();
    QtSharedPicture(const QtSharedPicture&) = delete;
    QtSharedPicture& operator=(const QtSharedPicture&) = delete;

    // A premultiplied 32-bit picture of that many pixels in shared memory, or a null image. The
    // memory is given back when the last copy of the image goes.
    QImage make(QSize pixels);
    // Whether `image` is a picture this made, still in its shared memory (a copy that was
    // written to has pixels of its own).
    bool holds(const QImage& image) const;
    // Copies each rectangle of `region` of `image` (which holds() must accept) to the same place
    // in `drawable`, a window or pixmap of `depth` 24 or 32. False when it could not.
    bool put(const QImage& image, const QRegion& region, std::uint32_t drawable, std::uint32_t gc,
             std::uint8_t depth);
    // Returns once the server has read every put so far.
    void beforeWriting();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace corvane
