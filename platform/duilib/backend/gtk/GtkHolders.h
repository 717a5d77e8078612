#pragma once
// Owning holders for the toolkit's C objects, so that every reference taken
// or text allocated is given back on every path, early returns included.
// Each holder is a std::unique_ptr with the object's own release function:
//
//   GObjectPtr<GdkPixbuf> pixbuf(gdk_pixbuf_loader_get_pixbuf(...));  // wrong: not ours
//   GObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new());      // ours: unref'd at the end
//   GCharPtr name(gtk_file_chooser_get_filename(chooser));            // g_free'd
//   GErrorPtr error; gdk_pixbuf_loader_write(..., OutParam(error));   // freed when set
//
// Only for objects whose reference the caller owns (a "transfer full"
// result); borrowed pointers stay plain pointers. UI thread, like the
// objects they hold.

#include <cairo.h>
#include <glib-object.h>
#include <glib.h>
#include <pango/pango.h>

#include <memory>
#include <utility>

namespace DuiLib::gtk {

namespace detail {
template <auto Release>
struct Releaser {
    template <typename T>
    void operator()(T* object) const {
        if (object != nullptr)
            Release(object);
    }
};
inline void UnrefObject(gpointer object) {
    g_object_unref(object);
}
inline void FreeText(gchar* text) {
    g_free(text);
}
}  // namespace detail

// A GObject reference (g_object_unref). For a floating reference, sink it
// first (g_object_ref_sink) so that the holder owns a real one.
template <typename T>
using GObjectPtr = std::unique_ptr<T, detail::Releaser<&detail::UnrefObject>>;

// A text the toolkit allocated for the caller (g_free).
using GCharPtr = std::unique_ptr<gchar, detail::Releaser<&detail::FreeText>>;

// An error reported by a toolkit call (g_error_free).
using GErrorPtr = std::unique_ptr<GError, detail::Releaser<&g_error_free>>;

// cairo and Pango objects.
using CairoPtr = std::unique_ptr<cairo_t, detail::Releaser<&cairo_destroy>>;
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, detail::Releaser<&cairo_surface_destroy>>;
using CairoRegionPtr = std::unique_ptr<cairo_region_t, detail::Releaser<&cairo_region_destroy>>;
using CairoPatternPtr = std::unique_ptr<cairo_pattern_t, detail::Releaser<&cairo_pattern_destroy>>;
using CairoFontOptionsPtr =
    std::unique_ptr<cairo_font_options_t, detail::Releaser<&cairo_font_options_destroy>>;
using CairoRectangleListPtr =
    std::unique_ptr<cairo_rectangle_list_t, detail::Releaser<&cairo_rectangle_list_destroy>>;
using PangoFontDescriptionPtr =
    std::unique_ptr<PangoFontDescription, detail::Releaser<&pango_font_description_free>>;
using PangoAttrListPtr = std::unique_ptr<PangoAttrList, detail::Releaser<&pango_attr_list_unref>>;

// Lets a toolkit call fill a holder through its GError** (or other T**)
// out-parameter:  call(..., OutParam(error)).  The holder takes what the call
// stored when the expression ends.
template <typename Holder>
class OutParamT {
  public:
    explicit OutParamT(Holder& holder) : m_holder(holder) {}
    ~OutParamT() { m_holder.reset(m_raw); }
    OutParamT(const OutParamT&) = delete;
    OutParamT& operator=(const OutParamT&) = delete;
    operator typename Holder::pointer *() { return &m_raw; }

  private:
    Holder& m_holder;
    typename Holder::pointer m_raw = nullptr;
};
template <typename Holder>
OutParamT<Holder> OutParam(Holder& holder) {
    holder.reset();
    return OutParamT<Holder>(holder);
}

// A GLib event source attached to the default context by id (a timeout, an
// idle): removed when the holder goes or is reset, so a callback never runs
// for an object that is gone.
class SourceId {
  public:
    SourceId() = default;
    explicit SourceId(guint id) : m_id(id) {}
    ~SourceId() { Reset(); }
    SourceId(SourceId&& other) noexcept : m_id(std::exchange(other.m_id, 0)) {}
    SourceId& operator=(SourceId&& other) noexcept {
        if (this != &other) {
            Reset();
            m_id = std::exchange(other.m_id, 0);
        }
        return *this;
    }
    SourceId(const SourceId&) = delete;
    SourceId& operator=(const SourceId&) = delete;

    // Removes the source (when still attached) and holds `id` instead.
    void Reset(guint id = 0) {
        if (m_id != 0)
            g_source_remove(m_id);
        m_id = id;
    }
    // Forgets the source without removing it: for a callback that ends its
    // own source (returns G_SOURCE_REMOVE) and says so first.
    void Release() { m_id = 0; }
    guint Get() const { return m_id; }
    explicit operator bool() const { return m_id != 0; }

  private:
    guint m_id = 0;
};

}  // namespace DuiLib::gtk
