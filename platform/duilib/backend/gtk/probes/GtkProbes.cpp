#include "platform/duilib/backend/gtk/probes/GtkProbes.h"

#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/gtk/GtkBackend.h"
#include "platform/duilib/backend/gtk/GtkHolders.h"
#include "platform/duilib/backend/gtk/GtkScreen.h"
#include "platform/duilib/backend/gtk/GtkWindowPeer.h"

#include <gtk/gtk.h>

#include <algorithm>

namespace DuiLib {
namespace {
std::optional<GtkProbes::Image> ImageFromSurface(cairo_surface_t* surface) {
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return std::nullopt;
    cairo_surface_flush(surface);
    GtkProbes::Image image;
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    const bool opaque = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24;
    for (int y = 0; y < image.height; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width; ++x)
            image.pixels[static_cast<std::size_t>(y) * image.width + x] =
                opaque ? (row[x] | 0xFF000000u) : row[x];
    }
    return image;
}

std::optional<GtkProbes::Image> ImageFromWindow(GdkWindow* window, int x, int y, int width, int height) {
    if (window == nullptr || width <= 0 || height <= 0)
        return std::nullopt;
    gtk::GObjectPtr<GdkPixbuf> pixbuf(gdk_pixbuf_get_from_window(window, x, y, width, height));
    if (pixbuf == nullptr)
        return std::nullopt;
    gtk::CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    {
        gtk::CairoPtr cr(cairo_create(surface.get()));
        gdk_cairo_set_source_pixbuf(cr.get(), pixbuf.get(), 0, 0);
        cairo_paint(cr.get());
    }
    return ImageFromSurface(surface.get());
}
}  // namespace

GtkProbes::GtkProbes(DuiLib::Backend& backend) : m_gtk(dynamic_cast<GtkBackend*>(&backend)) {}

std::optional<GtkProbes::Image> GtkProbes::RenderWindow(HWND hwnd, bool composited) {
    GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
    CPaintManagerUI* manager = peer != nullptr ? peer->Manager() : nullptr;
    if (manager == nullptr)
        return std::nullopt;
    const int margin =
        composited && manager->IsShadowEnabled() ? manager->GetDPIObj().Scale(manager->GetShadowSize()) : 0;
    const RECT rect = peer->Rect();
    const int width = static_cast<int>(std::max<long>(1, rect.Width())) + 2 * margin;
    const int height = static_cast<int>(std::max<long>(1, rect.Height())) + 2 * margin;
    gtk::CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    {
        gtk::CairoPtr cr(cairo_create(surface.get()));
        cairo_translate(cr.get(), margin, margin);
        peer->Paint(cr.get(), RECT{0, 0, rect.Width(), rect.Height()}, composited, margin);
    }
    return ImageFromSurface(surface.get());
}

std::optional<GtkProbes::Image> GtkProbes::GrabWindow(HWND hwnd) {
    if (!FlushPaint(hwnd))
        return std::nullopt;
    GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
    GdkWindow* canvas = peer != nullptr ? gtk_widget_get_window(peer->Canvas()) : nullptr;
    if (canvas == nullptr)
        return std::nullopt;
    return ImageFromWindow(canvas, 0, 0, gdk_window_get_width(canvas), gdk_window_get_height(canvas));
}

std::optional<GtkProbes::Image> GtkProbes::GrabScreen(const RECT& area) {
    Pump();
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr)
        return std::nullopt;
    gdk_display_sync(display);
    GdkWindow* root = gdk_screen_get_root_window(gdk_screen_get_default());
    return ImageFromWindow(root, static_cast<int>(area.left), static_cast<int>(area.top),
                           static_cast<int>(area.Width()), static_cast<int>(area.Height()));
}

bool GtkProbes::FlushPaint(HWND hwnd, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        Pump();
        GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
        if (peer == nullptr)
            return false;
        const GtkWindowPeer::PaintRecord& paints = peer->Paints();
        if (peer->IsMapped() && paints.frames > 0 && paints.paintedSerial == paints.damageSerial)
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        // The display answers in its own time: look again shortly.
        g_usleep(2000);
    }
}

GtkProbes::PaintStats GtkProbes::GetPaintStats(HWND hwnd) const {
    GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
    if (peer == nullptr)
        return PaintStats{};
    const GtkWindowPeer::PaintRecord& paints = peer->Paints();
    return PaintStats{paints.frames, paints.lastDamage, paints.allDamage};
}

void GtkProbes::ResetPaintStats(HWND hwnd) {
    if (GtkWindowPeer* peer = m_gtk->FindPeer(hwnd)) {
        GtkWindowPeer::PaintRecord& paints = peer->Paints();
        paints.frames = 0;
        paints.lastDamage.clear();
        paints.allDamage.clear();
    }
}

std::optional<RECT> GtkProbes::DisplayedRect(HWND hwnd) {
    Pump();
    if (GdkDisplay* display = gdk_display_get_default())
        gdk_display_sync(display);
    Pump();
    return m_gtk->DisplayedRect(hwnd);
}

int GtkProbes::ShadowMargin(HWND hwnd) const {
    GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
    return peer != nullptr ? peer->Margin() : 0;
}

std::optional<POINT> GtkProbes::OffsetFromOwner(HWND hwnd, std::chrono::milliseconds deadline) {
    if (!FlushPaint(hwnd, deadline))
        return std::nullopt;
    if (!IsWayland()) {
        const std::optional<RECT> popup = DisplayedRect(hwnd);
        const std::optional<RECT> owner = DisplayedRect(::GetWindowOwner(hwnd));
        if (!popup || !owner)
            return std::nullopt;
        return POINT{popup->left - owner->left, popup->top - owner->top};
    }
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        Pump();
        GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
        if (peer == nullptr || !peer->IsPlacedAtOwner())
            return std::nullopt;
        if (std::optional<POINT> offset = peer->PlacedOffset())
            return offset;
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        // The compositor answers in its own time: look again shortly.
        g_usleep(2000);
    }
}

bool GtkProbes::IsWayland() const {
    return m_gtk->Screen().IsWayland();
}

std::vector<RECT> GtkProbes::WindowShape(HWND hwnd) const {
    GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
    return peer != nullptr ? peer->Shape() : std::vector<RECT>{};
}

void* GtkProbes::NativeWindow(HWND hwnd) const {
    GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
    return peer != nullptr ? peer->Widget() : nullptr;
}

void* GtkProbes::InputMethodContext(HWND hwnd) const {
    GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
    return peer != nullptr ? peer->InputMethod().Context() : nullptr;
}

double GtkProbes::WindowOpacity(HWND hwnd) const {
    GtkWindowPeer* peer = m_gtk->FindPeer(hwnd);
    return peer != nullptr ? peer->Opacity() : 1.0;
}

bool GtkProbes::PointerGrabbed() const {
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = display != nullptr ? gdk_display_get_default_seat(display) : nullptr;
    GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
    return pointer != nullptr && gdk_display_device_is_grabbed(display, pointer);
}

bool GtkProbes::IsComposited() const {
    return m_gtk->Screen().IsComposited();
}

void GtkProbes::RefreshScreen() {
    m_gtk->Screen().Refresh();
}

void GtkProbes::Pump() {
    m_gtk->Pump();
}

bool GtkProbes::Image::WritePng(const std::string& path) const {
    gtk::CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.data() + static_cast<std::size_t>(y) * width, width,
                    reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride));
    cairo_surface_mark_dirty(surface.get());
    return cairo_surface_write_to_png(surface.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::optional<GtkProbes::Image> GtkProbes::Image::ReadPng(const std::string& path) {
    gtk::CairoSurfacePtr surface(cairo_image_surface_create_from_png(path.c_str()));
    return ImageFromSurface(surface.get());
}

}  // namespace DuiLib
