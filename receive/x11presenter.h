// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <memory>

struct xcb_connection_t;

// Shows the receive box's frames on an X11 window past Qt's backing store.
// Qt waits for a round trip to the X server before every paint that touches
// pixels it last sent through shared memory, and a frame of a steady trickle
// always does: at 70 frames a second that wait, the reader thread it wakes and
// the paint's own plumbing were most of what the window cost. Qt has no way
// to send pixels without them. Here the box lives in a pixmap of the
// server's: a frame moves the rows that stay within it, sends only the rows
// that came in, and copies the box to the window, with no reply to wait for.
class X11Presenter
{
public:
    // None unless the application runs on X11 with a 24-bit window in the
    // layout of QImage::Format_RGB32.
    static std::unique_ptr<X11Presenter> create(quintptr window);
    ~X11Presenter();
    X11Presenter(const X11Presenter &) = delete;
    X11Presenter &operator=(const X11Presenter &) = delete;

    // The pixmap no longer holds the box (Qt drew it): the next frame sends it whole.
    void forget() { m_holdsBox = false; }
    // Shows frame, the box's pixels, at origin in the window. Since the last
    // frame shown, its rows moved down by shift pixels (up when negative)
    // and those within rows were drawn anew. False when nothing was shown.
    bool present(quintptr window, QPoint origin, const QImage &frame, int shift, const QRect &rows);

private:
    X11Presenter(xcb_connection_t *connection, quintptr window);
    void put(const QImage &frame, const QRect &rows);

    xcb_connection_t *m_connection = nullptr;
    quintptr m_window = 0;
    std::uint32_t m_gc = 0;
    std::uint32_t m_pixmap = 0;
    QSize m_size;
    bool m_holdsBox = false;
    // The most bytes of pixels one request carries.
    qsizetype m_mostBytes = 0;
};
