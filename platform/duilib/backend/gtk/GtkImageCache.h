#pragma once
// The decoded images of the windows' archives, kept per archive (the
// archive's id) and file, so that a window built from the toolbox archive and
// one built from the skin each find their own, and an image is decoded once.
// Images named by a path on disk (restype='fullpath') are kept apart. An image
// that cannot be drawn is remembered as such (not decoded again every paint);
// one refused for its size or format says so once on the debug output.
// UI thread only, like the windows whose images it holds.

#include "platform/duilib/backend/gtk/GtkHolders.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace DuiLib {

class CPaintManagerUI;
struct TImageInfo;

class GtkImageCache {
  public:
    // The image `info` names for a window of `manager`: from the archive
    // the window was built from, or from disk. Null when it cannot be
    // drawn. The surface stays the cache's.
    cairo_surface_t* Get(const CPaintManagerUI& manager, const TImageInfo& info);

    // Drops the images of archives no live window uses any more.
    void ForgetArchivesExcept(const std::set<std::uint64_t>& live);
    // Images kept (decoded or known undrawable), for the cache's tests.
    std::size_t Count() const { return m_images.size(); }

  private:
    // (archive id, file key) -> decoded image; null: cannot be drawn.
    std::map<std::pair<std::uint64_t, std::string>, gtk::CairoSurfacePtr> m_images;
    // Files on disk already reported as refused (they are read again at
    // each paint, as they may change, but said once).
    std::set<std::string> m_reportedFiles;
};

}  // namespace DuiLib
