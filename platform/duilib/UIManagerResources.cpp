// The process-wide side of the paint manager: the program instance, the
// skin folder and extension, the resource archive in force and the reading
// of skin files, the scale every window follows, and the registry of live
// managers. The per-window model lives in UIManager.cpp.
#include "platform/duilib/UIManager.h"

#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManagerState.h"
#include "platform/duilib/UIRender.h"
#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"
#include "platform/os/Text.h"

#include <zip.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <unordered_map>

namespace DuiLib {
namespace {

// No single skin file is this large; a zip header that claims more is lying
// and must not make us allocate it.
constexpr std::uint64_t kMaxResourceFileSize = 16u * 1024u * 1024u;

std::atomic<void*> g_instance{nullptr};
// The scale SetAllDPI gave every window; windows made later take it too.
std::atomic<int> g_allDpi{96};
std::string g_skinExt;
std::string g_resourcePath;

// The archive in force. The bytes belong to the caller; libzip reads them in
// place. Guarded by g_archiveMutex: lookups may come from any thread.
struct ResourceArchive {
    zip_t* zip = nullptr;
    const void* data = nullptr;
    std::size_t size = 0;
    // Normalised name -> entry index; the first of equal names wins.
    std::unordered_map<std::string, zip_uint64_t> index;
};
std::mutex g_archiveMutex;
ResourceArchive g_archive;

void CloseArchiveLocked() {
    if (g_archive.zip != nullptr)
        zip_discard(g_archive.zip);  // read-only: nothing to write back
    g_archive = ResourceArchive{};
}

std::optional<std::string> ReadArchiveEntryLocked(zip_uint64_t index) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(g_archive.zip, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0 ||
        stat.size > kMaxResourceFileSize)
        return std::nullopt;
    zip_file_t* file = zip_fopen_index(g_archive.zip, index, 0);
    if (file == nullptr)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(stat.size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const zip_int64_t n = zip_fread(file, bytes.data() + got, bytes.size() - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    // Reading on to the end makes libzip check the CRC; more bytes than the
    // header declared, or a CRC mismatch, is a damaged entry.
    char extra = 0;
    const zip_int64_t tail = got == bytes.size() ? zip_fread(file, &extra, 1) : -1;
    zip_fclose(file);
    if (got != bytes.size() || tail != 0)
        return std::nullopt;
    return bytes;
}

// `relative` (already normalised, '/'-separated) below `folder`, each
// segment matched without regard to ASCII case as the Windows file names of
// the skin are. Empty when some segment is not there.
std::string ResolveBelow(const std::string& folder, std::string_view relative) {
    std::string path = folder;
    while (!relative.empty()) {
        const std::size_t slash = relative.find('/');
        const std::string_view segment = relative.substr(0, slash);
        relative = slash == std::string_view::npos ? std::string_view{} : relative.substr(slash + 1);
        std::error_code error;
        if (std::filesystem::exists(path + std::string(segment), error)) {
            path += std::string(segment);
        } else {
            std::string match;
            for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
                 it.increment(error)) {
                const std::string name = it->path().filename().string();
                if (os::AsciiEqualsIgnoreCase(name, segment)) {
                    match = name;
                    break;
                }
            }
            if (match.empty())
                return {};
            path += match;
        }
        if (!relative.empty())
            path += '/';
    }
    return path;
}

std::string WithTrailingSlash(std::string path) {
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}
}  // namespace

std::vector<CPaintManagerUI*>& LiveManagers() {
    static std::vector<CPaintManagerUI*> managers;
    return managers;
}

int DefaultDpi() {
    return g_allDpi.load();
}

void CPaintManagerUI::SetInstance(void* instance) {
    g_instance.store(instance);
}

void* CPaintManagerUI::GetInstance() {
    return g_instance.load();
}

std::string CPaintManagerUI::GetInstancePath() {
    return WithTrailingSlash(os::GetProgramFolder());
}

void CPaintManagerUI::SetSkinExt(std::string_view ext) {
    g_skinExt = ext;
}

const std::string& CPaintManagerUI::GetSkinExt() {
    return g_skinExt;
}

void CPaintManagerUI::SetSkinPath(std::string_view path) {
    SetResourcePath(path);
}

void CPaintManagerUI::SetResourcePath(std::string_view path) {
    std::string folder(path);
    for (char& c : folder) {
        if (c == '\\')
            c = '/';
    }
    // A relative folder is relative to the program folder, as the skin
    // folder beside the program is named.
    if (!folder.empty() && folder.front() != '/')
        folder = GetInstancePath() + folder;
    folder = WithTrailingSlash(std::move(folder));
    std::lock_guard lock(g_archiveMutex);
    g_resourcePath = std::move(folder);
}

const std::string& CPaintManagerUI::GetResourcePath() {
    return g_resourcePath;
}

bool CPaintManagerUI::SetResourceZip(const void* data, std::size_t size, bool /*cachedResZip*/) {
    std::lock_guard lock(g_archiveMutex);
    CloseArchiveLocked();
    if (data == nullptr || size == 0)
        return data == nullptr && size == 0;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (source == nullptr) {
        zip_error_fini(&error);
        return false;
    }
    // No ZIP_CHECKCONS: it refuses sound archives whose local and central
    // headers carry different extra fields (libarchive's and Info-ZIP's
    // output). Damage is still caught: every entry's CRC and size are
    // checked when it is read.
    zip_t* zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (zip == nullptr) {
        zip_source_free(source);  // still ours when the open failed
        return false;
    }
    g_archive.zip = zip;
    g_archive.data = data;
    g_archive.size = size;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
        if (name == nullptr)
            continue;
        const std::string_view raw(name);
        if (raw.empty() || raw.back() == '/' || raw.back() == '\\')
            continue;  // a folder entry
        g_archive.index.emplace(NormalizeResourceName(raw), static_cast<zip_uint64_t>(i));
    }
    return true;
}

TResourceZip CPaintManagerUI::GetResourceZip() {
    std::lock_guard lock(g_archiveMutex);
    return TResourceZip{g_archive.data, g_archive.size};
}

std::optional<std::string> CPaintManagerUI::LoadResourceFile(std::string_view name) {
    const std::string key = NormalizeResourceName(name);
    if (key.empty())
        return std::nullopt;
    std::string folder;
    {
        std::lock_guard lock(g_archiveMutex);
        folder = g_resourcePath;
        if (g_archive.zip != nullptr) {
            const auto it = g_archive.index.find(key);
            if (it != g_archive.index.end()) {
                if (auto bytes = ReadArchiveEntryLocked(it->second))
                    return bytes;
            }
        }
    }
    if (folder.empty())
        return std::nullopt;
    // Normalisation keeps the name inside the resource folder ("..", never
    // above its root).
    const std::string path = ResolveBelow(folder, NormalizeResourceName(name, true));
    if (path.empty())
        return std::nullopt;
    return os::ReadWholeFile(path, kMaxResourceFileSize);
}

void CPaintManagerUI::DeletePtr(void* ptr) {
    // The only heap object the library hands over: a menu item's name.
    delete static_cast<std::string*>(ptr);
}

void CPaintManagerUI::SetAllDPI(int dpi) {
    CDPI probe;
    probe.SetScale(dpi);
    if (probe.GetDPI() != dpi)
        return;  // out of range: refused, as each window would refuse it
    g_allDpi.store(dpi);
    for (CPaintManagerUI* manager : LiveManagers())
        manager->SetDPI(dpi);
}

std::vector<CPaintManagerUI*> CPaintManagerUI::GetPaintManagers() {
    return LiveManagers();
}

}  // namespace DuiLib
