#pragma once
// Images for the renderer's tests: real files as gdk-pixbuf writes them,
// PNG headers that declare another size than their data holds, a GIF whose
// frame lies beyond its screen, and the process's peak resident size (to see that a refused
// image's pixels were never allocated).

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <fstream>
#include <string>

namespace imagetest {

// An image of one colour (0xRRGGBBAA) in `format` ("png", "jpeg", "bmp",
// "ico", "tiff"); empty when gdk-pixbuf cannot write it.
inline std::string Saved(const char* format, int width, int height, guint32 rgba = 0x336699FF) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    gdk_pixbuf_fill(pixbuf, rgba);
    gchar* buffer = nullptr;
    gsize size = 0;
    std::string bytes;
    if (gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, format, nullptr, nullptr))
        bytes.assign(buffer, size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}

inline std::uint32_t Crc32(const std::string& bytes, std::size_t from, std::size_t count) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < from + count; ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void PutBigEndian(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
}

// A PNG whose header declares width x height over the (small) pixel data
// of a 16 x 16 image: a file of a few hundred bytes.
inline std::string PngDeclaring(std::uint32_t width, std::uint32_t height) {
    std::string png = Saved("png", 16, 16);
    // The signature (8 bytes), then IHDR: length, "IHDR", width, height, ...
    PutBigEndian(png, 16, width);
    PutBigEndian(png, 20, height);
    PutBigEndian(png, 29, Crc32(png, 12, 17));
    return png;
}

// A GIF whose screen and only frame declare width x height, the frame
// `frameLeft` pixels from the screen's left edge.
inline std::string GifDeclaring(int width, int height, int frameLeft = 0) {
    auto le16 = [](std::string& s, int v) {
        s.push_back(static_cast<char>(v & 0xFF));
        s.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    std::string gif = "GIF89a";
    le16(gif, width);
    le16(gif, height);
    gif += std::string("\x80\x00\x00", 3) + std::string(6, '\0');  // two colours, black
    gif += ',';
    le16(gif, frameLeft);
    le16(gif, 0);
    le16(gif, width);
    le16(gif, height);
    gif += std::string("\x00\x02\x02\x4C\x01\x00;", 7);
    return gif;
}

// Resets the process's peak resident size to its current one; false where
// the kernel does not offer it.
inline bool ResetPeakRss() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

// The peak resident size since the last reset, in KiB (-1: unknown).
inline long PeakRssKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace imagetest
