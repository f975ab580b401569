// SPDX-License-Identifier: MIT
#include "receive/x11presenter.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace {

xcb_connection_t *x11Connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// Whether the window's pixels are laid out as QImage::Format_RGB32 holds
// them: 24 bits of depth in 32-bit pixels, red, green and blue from the top
// byte down, least significant byte first.
bool takesRgb32(xcb_connection_t *connection, xcb_window_t window)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    bool fourBytes = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats))
        fourBytes |= formats.data->depth == 24 && formats.data->bits_per_pixel == 32;
    xcb_get_window_attributes_reply_t *attributes
        = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
    xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    const bool deep = geometry && geometry->depth == 24;
    const xcb_visualid_t visual = attributes ? attributes->visual : 0;
    std::free(attributes);
    std::free(geometry);
    if (!fourBytes || !deep)
        return false;
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem; xcb_depth_next(&depths)) {
            for (auto types = xcb_depth_visuals_iterator(depths.data); types.rem; xcb_visualtype_next(&types)) {
                if (types.data->visual_id == visual)
                    return types.data->red_mask == 0xff0000 && types.data->green_mask == 0xff00
                           && types.data->blue_mask == 0xff;
            }
        }
    }
    return false;
}

} // namespace

std::unique_ptr<X11Presenter> X11Presenter::create(quintptr window)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection || window == 0 || !takesRgb32(connection, xcb_window_t(window)))
        return nullptr;
    return std::unique_ptr<X11Presenter>(new X11Presenter(connection, window));
}

X11Presenter::X11Presenter(xcb_connection_t *connection, quintptr window)
    : m_connection(connection), m_window(window)
{
    // Counted in words, the request's own fields included.
    m_mostBytes = qsizetype(xcb_get_maximum_request_length(connection)) * 4 - qsizetype(sizeof(xcb_put_image_request_t));
}

X11Presenter::~X11Presenter()
{
    // Only while the connection that made them is still open.
    if (x11Connection() != m_connection)
        return;
    if (m_pixmap)
        xcb_free_pixmap(m_connection, m_pixmap);
    if (m_gc)
        xcb_free_gc(m_connection, m_gc);
    xcb_flush(m_connection);
}

bool X11Presenter::present(quintptr window, QPoint origin, const QImage &frame, int shift, const QRect &rows)
{
    if (frame.isNull() || frame.depth() != 32 || frame.bytesPerLine() != qsizetype(frame.width()) * 4
        || frame.bytesPerLine() > m_mostBytes)
        return false;
    m_window = window;
    if (frame.size() != m_size) {
        if (m_pixmap)
            xcb_free_pixmap(m_connection, m_pixmap);
        m_pixmap = xcb_generate_id(m_connection);
        xcb_create_pixmap(m_connection, 24, m_pixmap, xcb_window_t(m_window), uint16_t(frame.width()),
                          uint16_t(frame.height()));
        if (!m_gc) {
            // Copies to a window that is partly covered ask for no events about what they missed.
            m_gc = xcb_generate_id(m_connection);
            const uint32_t values[] = {0};
            xcb_create_gc(m_connection, m_gc, m_pixmap, XCB_GC_GRAPHICS_EXPOSURES, values);
        }
        m_size = frame.size();
        m_holdsBox = false;
    }
    const int width = frame.width();
    const int height = frame.height();
    if (!m_holdsBox) {
        put(frame, frame.rect());
        m_holdsBox = true;
    } else {
        // Within the pixmap, which always holds all of the box: the window may be covered in part.
        if (shift != 0 && qAbs(shift) < height)
            xcb_copy_area(m_connection, m_pixmap, m_pixmap, m_gc, 0, int16_t(shift < 0 ? -shift : 0), 0,
                          int16_t(shift < 0 ? 0 : shift), uint16_t(width), uint16_t(height - qAbs(shift)));
        put(frame, rows);
    }
    xcb_copy_area(m_connection, m_pixmap, xcb_window_t(m_window), m_gc, 0, 0, int16_t(origin.x()),
                  int16_t(origin.y()), uint16_t(width), uint16_t(height));
    xcb_flush(m_connection);
    return true;
}

void X11Presenter::put(const QImage &frame, const QRect &rows)
{
    // Whole lines, so that each band is one run of the image's bytes.
    const QRect band = QRect(0, rows.top(), frame.width(), rows.height()) & frame.rect();
    const qsizetype stride = frame.bytesPerLine();
    const int most = int(std::max<qsizetype>(1, m_mostBytes / stride));
    for (int top = band.top(); top <= band.bottom(); top += most) {
        const int lines = std::min(most, band.bottom() + 1 - top);
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_pixmap, m_gc, uint16_t(band.width()),
                      uint16_t(lines), 0, int16_t(top), 0, 24, uint32_t(lines * stride), frame.constScanLine(top));
    }
}
