#include "platform/duilib/backend/gtk/GtkImageCache.h"

#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"
#include "platform/duilib/backend/gtk/GtkImageDecoder.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/FileIo.h"

#include <sys/stat.h>

#include <optional>

namespace DuiLib {
namespace {

constexpr std::uint64_t kFullPathArchive = 0;  // images named by a path on disk
constexpr std::size_t kMaxImageBytes = 16u * 1024u * 1024u;

// "@" and what tells this version of a file from another at the same path:
// device, inode, size and modification time (a new file renamed into place
// has another inode). "@-" for a file that cannot be looked at.
std::string FileVersion(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "@-";
    return "@" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

// Refusals a skin's author can act on are said on the debug output.
bool IsReported(ImageRefusal refusal) {
    return refusal == ImageRefusal::TooLarge || refusal == ImageRefusal::UnknownFormat;
}

void ReportRefusal(const std::string& file, const DecodedImage& image) {
    if (image.refusal == ImageRefusal::TooLarge)
        DebugPrint("image '%s' not drawn: %d x %d pixels is more than %d x %d", file.c_str(), image.width,
                   image.height, kMaxImageSide, kMaxImageSide);
    else
        DebugPrint("image '%s' not drawn: not a PNG, JPEG or BMP image", file.c_str());
}

}  // namespace

cairo_surface_t* GtkImageCache::Get(const CPaintManagerUI& manager, const TImageInfo& info) {
    const bool fullPath = info.resType == "fullpath";
    const std::uint64_t archive = fullPath ? kFullPathArchive : manager.GetResourceArchiveId();
    std::string key = fullPath ? info.file : NormalizeResourceName(info.file);
    key += "#" + std::to_string(info.mask);
    // A file on disk is known by its identity too: the user's picture
    // replaced by a new one at the same path is read again.
    const std::string version = fullPath ? FileVersion(info.file) : std::string();
    const auto cacheKey = std::make_pair(archive, key + version);
    if (auto it = m_images.find(cacheKey); it != m_images.end())
        return it->second.get();
    const std::optional<std::string> bytes =
        fullPath ? os::ReadWholeFile(info.file, kMaxImageBytes) : manager.LoadWindowResource(info.file);
    DecodedImage image = bytes ? DecodeImage(*bytes, info.mask) : DecodedImage{};
    if (image.surface == nullptr && IsReported(image.refusal)) {
        // An archive's refusal is kept below, so it is said once; a file on
        // disk is read again at the next paint, so its name is kept.
        if (!fullPath || m_reportedFiles.insert(key).second)
            ReportRefusal(info.file, image);
    }
    // A picture on disk (the user's head picture) may arrive later: only
    // decoded ones are kept.
    if (fullPath && image.surface == nullptr)
        return nullptr;
    if (fullPath) {
        // Earlier versions of the file are not shown again.
        std::erase_if(m_images, [&key](const auto& entry) {
            return entry.first.first == kFullPathArchive && entry.first.second.starts_with(key + "@");
        });
    }
    return m_images.insert_or_assign(cacheKey, std::move(image.surface)).first->second.get();
}

void GtkImageCache::ForgetArchivesExcept(const std::set<std::uint64_t>& live) {
    std::erase_if(m_images, [&live](const auto& entry) {
        return entry.first.first != kFullPathArchive && !live.contains(entry.first.first);
    });
}

}  // namespace DuiLib
