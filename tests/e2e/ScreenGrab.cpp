#include "e2e/ScreenGrab.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Orvanta::E2E {

namespace {

struct Connection {
    explicit Connection(const QString& display) : c(xcb_connect(display.toLatin1().constData(), nullptr)) {}
    ~Connection() { xcb_disconnect(c); }
    bool ok() const { return c && !xcb_connection_has_error(c); }
    xcb_screen_t* screen() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data; }
    xcb_connection_t* c;
};

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <class T> Reply<T> reply(T* r)
{
    return Reply<T>(r, &std::free);
}

// Bits per pixel the server uses for images of that depth.
int bitsPerPixel(xcb_connection_t* c, int depth)
{
    for (auto it = xcb_setup_pixmap_formats_iterator(xcb_get_setup(c)); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == depth)
            return it.data->bits_per_pixel;
    }
    return 0;
}

} // namespace

QImage grabScreen(const QString& display)
{
    Connection x(display);
    if (!x.ok())
        return {};
    xcb_screen_t* screen = x.screen();
    // 32 bits per pixel, least significant byte first: Qt's RGB32 on this
    // machine. Anything else is not read.
    if (screen->root_depth != 24 || bitsPerPixel(x.c, 24) != 32
        || xcb_get_setup(x.c)->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return {};
    const int width = screen->width_in_pixels;
    const int height = screen->height_in_pixels;
    QImage image(width, height, QImage::Format_RGB32);
    // In bands, so that no request exceeds the server's size limit.
    const int band = 128;
    for (int top = 0; top < height; top += band) {
        const int rows = std::min(band, height - top);
        auto r = reply(xcb_get_image_reply(
            x.c, xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, int16_t(top), uint16_t(width),
                               uint16_t(rows), ~0u),
            nullptr));
        if (!r || xcb_get_image_data_length(r.get()) < width * rows * 4)
            return {};
        const uint8_t* data = xcb_get_image_data(r.get());
        for (int y = 0; y < rows; ++y)
            std::memcpy(image.scanLine(top + y), data + size_t(y) * width * 4, size_t(width) * 4);
    }
    return image;
}

QRect windowRect(const QString& display, const QString& window)
{
    bool ok = false;
    const xcb_window_t id = window.toUInt(&ok, 0);
    Connection x(display);
    if (!ok || !x.ok())
        return {};
    auto geometry = reply(xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, id), nullptr));
    auto origin = reply(xcb_translate_coordinates_reply(
        x.c, xcb_translate_coordinates(x.c, id, x.screen()->root, 0, 0), nullptr));
    if (!geometry || !origin)
        return {};
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

QStringList viewableTopLevels(const QString& display)
{
    Connection x(display);
    if (!x.ok())
        return {};
    auto tree = reply(xcb_query_tree_reply(x.c, xcb_query_tree(x.c, x.screen()->root), nullptr));
    if (!tree)
        return {};
    QStringList ids;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        auto attributes = reply(
            xcb_get_window_attributes_reply(x.c, xcb_get_window_attributes(x.c, children[i]), nullptr));
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            ids << QString::number(children[i]);
    }
    return ids;
}

bool looksPainted(const QImage& image)
{
    if (image.isNull() || image.width() == 0 || image.height() == 0)
        return false;
    qint64 black = 0;
    QRgb first = image.pixel(0, 0);
    bool flat = true;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xffffff) == 0)
                ++black;
            if (line[x] != first)
                flat = false;
        }
    }
    return !flat && black * 2 < qint64(image.width()) * image.height();
}

} // namespace Orvanta::E2E
