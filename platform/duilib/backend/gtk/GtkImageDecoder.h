#pragma once
// Decodes an image of a window's archive (or a file on disk) into a cairo
// surface within a bound. Images may come from a server's archive, so their
// bytes are not trusted: the header is read before any pixel is decoded, and
// an image wider or taller than the bound is refused before its pixels are
// allocated. Only formats whose decoders check what they allocate against
// the size they report first are taken: PNG, JPEG, and BMP with sane header
// fields. The others are refused (some decoders allocate before they report
// the size, or at sizes or offsets the file gives elsewhere: GIF frames,
// icons; vector images are drawn at whatever size they declare).
//
// Pure apart from gdk-pixbuf's decoders: no display needed, any thread (each
// call has its own loader). The renderer calls it on the UI thread.

#include "platform/duilib/UIDefine.h"
#include "platform/duilib/backend/gtk/GtkHolders.h"

#include <string_view>

namespace DuiLib {

// The largest width and height an image may have (4096 x 4096 pixels are
// 64 MiB decoded).
constexpr int kMaxImageSide = 4096;

enum class ImageRefusal {
    None,
    Undecodable,    // empty, damaged or cut short
    UnknownFormat,  // not one of the formats taken
    TooLarge,       // the header declares more than the bound
};

struct DecodedImage {
    gtk::CairoSurfacePtr surface;  // premultiplied ARGB; null when refused
    ImageRefusal refusal = ImageRefusal::None;
    // The size the header declared (0 when it was never read).
    int width = 0;
    int height = 0;
};

// The gdk-pixbuf decoder that the first bytes of `bytes` name ("png",
// "jpeg", "bmp"); null for any other format, and for a BMP
// whose info header is of no known size (its decoder would allocate what
// the file says before checking it).
const char* ImageFormatOf(std::string_view bytes);

// Decodes `bytes` when its header declares at most `maxSide` pixels each way.
// `mask` (0x..RRGGBB, 0: none) makes the pixels of that colour transparent,
// (a colour key).
DecodedImage DecodeImage(std::string_view bytes, DWORD mask, int maxSide = kMaxImageSide);

}  // namespace DuiLib
