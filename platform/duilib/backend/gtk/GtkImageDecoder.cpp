#include "platform/duilib/backend/gtk/GtkImageDecoder.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace DuiLib {
namespace {

using gtk::GErrorPtr;
using gtk::GObjectPtr;
using gtk::OutParam;

// What the decoder's header said, and whether it was refused there.
struct HeaderCheck {
    int maxSide = kMaxImageSide;
    int width = 0;
    int height = 0;
    bool tooLarge = false;
};

// "size-prepared": the decoder has read the header and is about to allocate
// the pixels. A size of 0 x 0 makes the formats taken stop there.
void OnSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
    auto* check = static_cast<HeaderCheck*>(data);
    check->width = width;
    check->height = height;
    if (width > check->maxSide || height > check->maxSide) {
        check->tooLarge = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0);
    }
}

// The decoded pixels as a cairo surface (premultiplied ARGB), the mask
// colour made transparent.
gtk::CairoSurfacePtr SurfaceFromPixbuf(GdkPixbuf* pixbuf, DWORD mask) {
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    gtk::CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS || channels < 3)
        return nullptr;
    cairo_surface_flush(surface.get());
    unsigned char* out = cairo_image_surface_get_data(surface.get());
    const int outStride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < height; ++y) {
        const guchar* in = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        auto* row = reinterpret_cast<std::uint32_t*>(out + static_cast<std::ptrdiff_t>(y) * outStride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t r = in[0], g = in[1], b = in[2];
            std::uint32_t a = channels == 4 ? in[3] : 255;
            if (mask != 0 && ((r << 16) | (g << 8) | b) == (mask & 0xFFFFFF))
                a = 0;
            row[x] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
            in += channels;
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

// A little-endian 32-bit number of `bytes` at `at` (which holds 4 bytes).
std::uint32_t Dword(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The BMP decoder allocates the info header, the colour table and
// everything up to the pixels at the sizes the file gives, before anything
// else is checked: only the sizes of the known info headers (core, OS/2,
// info, v2 to v5), at most 256 colours and pixels that start inside the
// file are taken.
bool IsKnownBmpHeader(std::string_view bytes) {
    if (bytes.size() < 18)
        return false;
    constexpr std::array<std::uint32_t, 8> kSizes{12, 16, 40, 52, 56, 64, 108, 124};
    const std::uint32_t infoSize = Dword(bytes, 14);
    if (std::find(kSizes.begin(), kSizes.end(), infoSize) == kSizes.end() || Dword(bytes, 10) > bytes.size())
        return false;
    // The colours used, in the info headers that have the field.
    return infoSize < 40 || bytes.size() < 50 || Dword(bytes, 46) <= 256;
}

}  // namespace

const char* ImageFormatOf(std::string_view bytes) {
    struct Signature {
        std::string_view magic;
        const char* format;
    };
    static constexpr std::array<Signature, 3> kSignatures{{
        {std::string_view("\x89PNG\r\n\x1A\n", 8), "png"},
        {std::string_view("\xFF\xD8\xFF", 3), "jpeg"},
        {"BM", "bmp"},
    }};
    for (const Signature& signature : kSignatures) {
        if (bytes.starts_with(signature.magic))
            return signature.format != std::string_view("bmp") || IsKnownBmpHeader(bytes) ? signature.format
                                                                                          : nullptr;
    }
    return nullptr;
}

DecodedImage DecodeImage(std::string_view bytes, DWORD mask, int maxSide) {
    DecodedImage result;
    const char* format = ImageFormatOf(bytes);
    if (format == nullptr) {
        result.refusal = bytes.empty() ? ImageRefusal::Undecodable : ImageRefusal::UnknownFormat;
        return result;
    }
    GErrorPtr error;
    // By type, not by sniffing: the decoders of other formats never see
    // the bytes.
    GObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type(format, OutParam(error)));
    if (loader == nullptr) {
        result.refusal = ImageRefusal::UnknownFormat;  // this system lacks the decoder
        return result;
    }
    HeaderCheck check;
    check.maxSide = maxSide;
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(OnSizePrepared), &check);
    const bool written = gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(bytes.data()),
                                                 bytes.size(), OutParam(error)) != FALSE;
    // Closed on every path: a loader must be closed before it goes.
    const bool closed = gdk_pixbuf_loader_close(loader.get(), OutParam(error)) != FALSE;
    result.width = check.width;
    result.height = check.height;
    if (check.tooLarge) {
        result.refusal = ImageRefusal::TooLarge;
        return result;
    }
    // Borrowed from the loader, which lives until the end of this function.
    GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader.get()) : nullptr;
    // The bound holds for what was decoded too, whatever the header said.
    if (pixbuf != nullptr && gdk_pixbuf_get_width(pixbuf) <= maxSide &&
        gdk_pixbuf_get_height(pixbuf) <= maxSide)
        result.surface = SurfaceFromPixbuf(pixbuf, mask);
    if (result.surface == nullptr)
        result.refusal = ImageRefusal::Undecodable;
    return result;
}

}  // namespace DuiLib
