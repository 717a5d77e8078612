// Fuzzes the image decoder the renderer uses for the images of a window's
// archive (a server's toolbox archive among them): the format check and the
// size bound read from the header. The first byte picks the bound (1 to 256
// pixels each way) and a colour key; the rest is the file. A decoded image
// never exceeds the bound, a refusal for size names a size beyond it, and
// nothing may crash, hang or leak. Run with -malloc_limit_mb=16: with the
// bound this small, no allocation of the decoder may come near it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/duilib/backend/gtk/GtkImageDecoder.h"

using namespace DuiLib;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int bound = 1 + (data[0] & 0x7F) * 2;
    const DWORD mask = (data[0] & 0x80) != 0 ? 0xFF000000u : 0u;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const char* format = ImageFormatOf(bytes);
    const DecodedImage image = DecodeImage(bytes, mask, bound);
    if (image.surface != nullptr) {
        Check(format != nullptr && image.refusal == ImageRefusal::None);
        Check(cairo_image_surface_get_width(image.surface.get()) <= bound);
        Check(cairo_image_surface_get_height(image.surface.get()) <= bound);
    }
    if (image.refusal == ImageRefusal::TooLarge) {
        Check(image.width > bound || image.height > bound);
    }
    if (format == nullptr) {
        Check(image.refusal == ImageRefusal::UnknownFormat ||
              (bytes.empty() && image.refusal == ImageRefusal::Undecodable));
    }
    return 0;
}
