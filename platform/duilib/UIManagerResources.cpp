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

// An archive put in force: a private copy of its bytes (a window built from
// it keeps reading its images from it after the caller switched archives or
// freed its buffer) and the index of its entries. Reads are serialised by
// its own mutex: libzip handles are not shared between threads.
struct ResourceArchive {
    ~ResourceArchive() {
        if (zip != nullptr)
            zip_discard(zip);  // read-only: nothing to write back
    }
    std::mutex mutex;
    zip_t* zip = nullptr;
    std::string bytes;
    const void* callerData = nullptr;  // what GetResourceZip reports
    std::size_t callerSize = 0;
    std::uint64_t id = 0;
    // Normalised name -> entry index; the first of equal names wins.
    std::unordered_map<std::string, zip_uint64_t> index;
};

std::mutex g_archiveMutex;
std::shared_ptr<ResourceArchive> g_archive;
std::atomic<std::uint64_t> g_nextArchiveId{1};

std::optional<std::string> ReadArchiveEntry(ResourceArchive& archive, zip_uint64_t index) {
    std::lock_guard lock(archive.mutex);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.zip, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0 ||
        stat.size > kMaxResourceFileSize)
        return std::nullopt;
    zip_file_t* file = zip_fopen_index(archive.zip, index, 0);
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

std::optional<std::string> ReadFromArchive(const std::shared_ptr<ResourceArchive>& archive,
                                           const std::string& key) {
    if (archive == nullptr)
        return std::nullopt;
    const auto it = archive->index.find(key);
    if (it == archive->index.end())
        return std::nullopt;
    return ReadArchiveEntry(*archive, it->second);
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
    if (data == nullptr || size == 0) {
        std::lock_guard lock(g_archiveMutex);
        g_archive.reset();
        return data == nullptr && size == 0;
    }
    auto archive = std::make_shared<ResourceArchive>();
    archive->bytes.assign(static_cast<const char*>(data), size);
    archive->callerData = data;
    archive->callerSize = size;
    archive->id = g_nextArchiveId++;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(archive->bytes.data(), size, 0, &error);
    zip_t* zip = nullptr;
    if (source != nullptr) {
        // No ZIP_CHECKCONS: it refuses sound archives whose local and central
        // headers carry different extra fields (libarchive's and Info-ZIP's
        // output). Damage is still caught: every entry's CRC and size are
        // checked when it is read.
        zip = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (zip == nullptr)
            zip_source_free(source);  // still ours when the open failed
    }
    zip_error_fini(&error);
    if (zip == nullptr) {
        std::lock_guard lock(g_archiveMutex);
        g_archive.reset();
        return false;
    }
    archive->zip = zip;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
        if (name == nullptr)
            continue;
        const std::string_view raw(name);
        if (raw.empty() || raw.back() == '/' || raw.back() == '\\')
            continue;  // a folder entry
        archive->index.emplace(NormalizeResourceName(raw), static_cast<zip_uint64_t>(i));
    }
    std::lock_guard lock(g_archiveMutex);
    g_archive = std::move(archive);
    return true;
}

TResourceZip CPaintManagerUI::GetResourceZip() {
    std::lock_guard lock(g_archiveMutex);
    return g_archive != nullptr ? TResourceZip{g_archive->callerData, g_archive->callerSize} : TResourceZip{};
}

namespace {
std::optional<std::string> LoadFrom(const std::shared_ptr<ResourceArchive>& archive,
                                    const std::string& folder, std::string_view name) {
    const std::string key = NormalizeResourceName(name);
    if (key.empty())
        return std::nullopt;
    if (auto bytes = ReadFromArchive(archive, key))
        return bytes;
    if (folder.empty())
        return std::nullopt;
    // Normalisation keeps the name inside the resource folder ("..", never
    // above its root).
    const std::string path = ResolveBelow(folder, NormalizeResourceName(name, true));
    if (path.empty())
        return std::nullopt;
    return os::ReadWholeFile(path, kMaxResourceFileSize);
}
}  // namespace

// What a window's layout was built from.
struct CPaintManagerUI::ResourceSource {
    std::shared_ptr<ResourceArchive> archive;
    std::string folder;
};

std::optional<std::string> CPaintManagerUI::LoadResourceFile(std::string_view name) {
    std::shared_ptr<ResourceArchive> archive;
    std::string folder;
    {
        std::lock_guard lock(g_archiveMutex);
        archive = g_archive;
        folder = g_resourcePath;
    }
    return LoadFrom(archive, folder, name);
}

void CPaintManagerUI::CaptureResourceSource() {
    auto source = std::make_shared<ResourceSource>();
    {
        std::lock_guard lock(g_archiveMutex);
        source->archive = g_archive;
        source->folder = g_resourcePath;
    }
    m_resources = std::move(source);
}

std::optional<std::string> CPaintManagerUI::LoadWindowResource(std::string_view name) const {
    if (m_resources == nullptr)
        return LoadResourceFile(name);
    return LoadFrom(m_resources->archive, m_resources->folder, name);
}

std::uint64_t CPaintManagerUI::GetResourceArchiveId() const {
    if (m_resources == nullptr) {
        std::lock_guard lock(g_archiveMutex);
        return g_archive != nullptr ? g_archive->id : 0;
    }
    return m_resources->archive != nullptr ? m_resources->archive->id : 0;
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
