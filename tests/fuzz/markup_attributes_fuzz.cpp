// Fuzzes the text painter's markup step, which reads labels' texts from
// layouts (a server's toolbox archive among them). The first byte picks the
// options: bit 0 markup on, bit 1 an underlined font, bits 2-3 the scale,
// bits 4-7 the label's font size and its line; the rest is the text (an
// image named by a digit is found, of that size). Every attribute must
// lie inside the text, which is valid UTF-8, on character boundaries, and
// Pango must lay the result out. Nothing may crash, hang or leak.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <pango/pangocairo.h>

#include "platform/duilib/UIManager.h"
#include "platform/duilib/backend/gtk/GtkTextPainter.h"

using namespace DuiLib;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool OnBoundary(const std::string& text, guint index) {
    return index == PANGO_ATTR_INDEX_TO_TEXT_END || index == text.size() ||
           (index < text.size() && (static_cast<unsigned char>(text[index]) & 0xC0) != 0x80);
}

void CheckRanges(const AttributedText& laid) {
    GSList* attributes = pango_attr_list_get_attributes(laid.attributes.get());
    for (GSList* item = attributes; item != nullptr; item = item->next) {
        const auto* attribute = static_cast<PangoAttribute*>(item->data);
        Check(attribute->start_index <= attribute->end_index);
        Check(attribute->end_index == PANGO_ATTR_INDEX_TO_TEXT_END ||
              attribute->end_index <= laid.text.size());
        Check(OnBoundary(laid.text, attribute->start_index) && OnBoundary(laid.text, attribute->end_index));
    }
    g_slist_free_full(attributes, reinterpret_cast<GDestroyNotify>(pango_attribute_destroy));
}

void LayOut(const AttributedText& laid) {
    static cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_layout_set_width(layout, 200 * PANGO_SCALE);
    pango_layout_set_text(layout, laid.text.c_str(), static_cast<int>(laid.text.size()));
    pango_layout_set_attributes(layout, laid.attributes.get());
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    Check(width >= 0 && height >= 0);
    g_object_unref(layout);
    cairo_destroy(cr);
}

}  // namespace

// Fontconfig keeps its caches for the life of the process, by design: they
// are not this target's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    TFontInfo own;
    own.size = 12 + (flags >> 4);
    own.underline = (flags & 2) != 0;
    const long factor = 1 + ((flags >> 2) & 3);
    const TextScale scale{[factor](int id) {
                              TFontInfo font;
                              font.size = static_cast<int>((id % 64) * factor);
                              font.bold = id % 2 == 1;
                              return font;
                          },
                          [factor](long length) { return length * factor; },
                          // An image for every name that starts with a digit,
                          // of that many pixels each way.
                          [](std::string_view name) {
                              if (name.empty() || name[0] < '0' || name[0] > '9')
                                  return MarkupImage{};
                              const int side = name[0] - '0';
                              return MarkupImage{gtk::CairoSurfacePtr(cairo_image_surface_create(
                                                     CAIRO_FORMAT_ARGB32, side, side)),
                                                 side, side};
                          }};
    const LineBox line{static_cast<long>(flags >> 4) * 2, static_cast<long>(flags >> 6)};
    const AttributedText laid = MarkupToAttributes(text, (flags & 1) != 0, own, scale, line);
    // Whatever the bytes, Pango gets valid UTF-8 and runs of whole characters.
    Check(g_utf8_validate(laid.text.data(), static_cast<gssize>(laid.text.size()), nullptr) != FALSE);
    CheckRanges(laid);
    if (laid.text.size() < 4096) {
        LayOut(laid);
    }
    return 0;
}
