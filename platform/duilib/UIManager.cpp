// The model side of the paint manager: the process-wide state (instance,
// skin folder, the resource archive in force), the registry of live
// managers, and each window's control tree, name index, fonts, default
// attributes, window attributes, scale and layout pass.
#include "platform/duilib/UIManager.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManagerState.h"
#include "platform/duilib/UIRender.h"
#include "platform/os/Paths.h"

#include <zip.h>

#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
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

std::optional<std::string> ReadDiskFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    struct stat info {};
    std::optional<std::string> result;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uint64_t>(info.st_size) <= kMaxResourceFileSize) {
        std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
        if (std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size())
            result = std::move(bytes);
    }
    std::fclose(file);
    return result;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
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
                if (EqualsNoCase(name, segment)) {
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

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// The live managers; touched on the UI thread only.
std::vector<CPaintManagerUI*>& Registry() {
    static std::vector<CPaintManagerUI*> managers;
    return managers;
}

}  // namespace

// ---- process-wide state ----------------------------------------------------------

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
    return ReadDiskFile(path);
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
    for (CPaintManagerUI* manager : Registry())
        manager->SetDPI(dpi);
}

std::vector<CPaintManagerUI*> CPaintManagerUI::GetPaintManagers() {
    return Registry();
}

// ---- per window --------------------------------------------------------------------

CPaintManagerUI::CPaintManagerUI()
    : m_pDPI(std::make_unique<CDPI>()), m_messages(std::make_unique<MessageState>()) {
    m_pDPI->SetScale(g_allDpi.load());
    Registry().push_back(this);
}

CPaintManagerUI::~CPaintManagerUI() {
    auto& registry = Registry();
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
    // The tree goes while the indexes it reports to are still alive.
    m_pRoot.reset();
}

void CPaintManagerUI::Init(HWND hWnd, std::string_view name) {
    m_hWndPaint = hWnd;
    m_sName = name;
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
    if (root == nullptr)
        return false;
    if (root == m_pRoot.get())
        return true;
    // The old tree (if any) goes; its controls leave the indexes as they go.
    m_pRoot.reset();
    m_nameIndex.clear();
    m_pFocus = nullptr;
    m_pRoot.reset(root);
    // Detached first, so that a tree that already named this manager is
    // indexed afresh.
    root->SetManager(nullptr, nullptr, false);
    root->SetManager(this, nullptr, true);
    m_bUpdateNeeded = true;
    return true;
}

CControlUI* CPaintManagerUI::FindControl(std::string_view name) const {
    if (name.empty())
        return nullptr;
    const auto [first, last] = m_nameIndex.equal_range(name);
    if (first == last)
        return nullptr;
    if (std::next(first) == last)
        return first->second;
    // Several controls share the name: the first in tree order wins.
    CControlUI* found = nullptr;
    if (m_pRoot != nullptr)
        found = m_pRoot->FindControlByName(name);
    return found != nullptr ? found : first->second;
}

namespace {
CControlUI* HitTest(CControlUI* control, POINT pt) {
    const RECT& rc = control->GetPos();
    if (!control->IsOwnVisible() || pt.x < rc.left || pt.x >= rc.right || pt.y < rc.top || pt.y >= rc.bottom)
        return nullptr;
    if (auto* container = static_cast<CContainerUI*>(control->GetInterface("Container"))) {
        for (int i = container->GetCount() - 1; i >= 0; --i) {
            if (CControlUI* hit = HitTest(container->GetItemAt(i), pt))
                return hit;
        }
    }
    return control;
}
}  // namespace

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
    return m_pRoot != nullptr ? HitTest(m_pRoot.get(), pt) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, std::string_view name) const {
    if (parent == nullptr || name.empty())
        return nullptr;
    return parent->FindControlByName(name);
}

void CPaintManagerUI::NameChanged(CControlUI* control, std::string_view oldName) {
    if (control == nullptr)
        return;
    if (!oldName.empty()) {
        const auto [first, last] = m_nameIndex.equal_range(oldName);
        for (auto it = first; it != last; ++it) {
            if (it->second == control) {
                m_nameIndex.erase(it);
                break;
            }
        }
    }
    if (control->GetManager() == this && !control->GetName().empty())
        m_nameIndex.emplace(control->GetName(), control);
}

void CPaintManagerUI::ReapControl(CControlUI* control) {
    if (control == nullptr)
        return;
    const auto [first, last] = m_nameIndex.equal_range(control->GetName());
    for (auto it = first; it != last; ++it) {
        if (it->second == control) {
            m_nameIndex.erase(it);
            break;
        }
    }
    // No focus events: the control is going away.
    if (m_pFocus == control)
        m_pFocus = nullptr;
    // Nor may a timer of it fire later.
    KillTimer(control);
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
    m_szInitWindowSize = SIZE{cx, cy};
}

void CPaintManagerUI::SetRoundCorner(int cx, int cy) {
    m_szRoundCorner = SIZE{cx, cy};
}

void CPaintManagerUI::SetShadow(bool on, int size, std::string_view image) {
    m_bShadow = on;
    if (size > 0)
        m_nShadowSize = size;
    if (!image.empty())
        m_sShadowImage = image;
}

void CPaintManagerUI::SetWindowAttribute(std::string_view name, std::string_view value) {
    m_windowAttributes.insert_or_assign(std::string(name), std::string(value));
    if (name == "size") {
        if (auto size = ParseSize(value))
            SetInitSize(size->cx, size->cy);
    } else if (name == "caption") {
        if (auto rc = ParseRect(value))
            SetCaptionRect(*rc);
    } else if (name == "roundcorner") {
        if (auto size = ParseSize(value))
            SetRoundCorner(size->cx, size->cy);
    } else if (name == "mininfo") {
        if (auto size = ParseSize(value))
            SetMinInfo(size->cx, size->cy);
    } else if (name == "maxinfo") {
        if (auto size = ParseSize(value))
            SetMaxInfo(size->cx, size->cy);
    } else if (name == "sizebox") {
        if (auto rc = ParseRect(value))
            SetSizeBox(*rc);
    } else if (name == "showshadow") {
        if (auto on = ParseBool(value))
            m_bShadow = *on;
    } else if (name == "shadowsize") {
        if (auto size = ParseInt(value); size && *size >= 0)
            m_nShadowSize = *size;
    } else if (name == "shadowimage") {
        m_sShadowImage = value;
    }
}

std::string CPaintManagerUI::GetWindowAttribute(std::string_view name) const {
    const auto it = m_windowAttributes.find(name);
    return it == m_windowAttributes.end() ? std::string() : it->second;
}

void CPaintManagerUI::AddFont(const TFontInfo& font) {
    m_fonts.insert_or_assign(font.id, font);
    if (font.isDefault)
        m_defaultFont = font;
    m_bUpdateNeeded = true;
}

const TFontInfo& CPaintManagerUI::GetFont(int id) const {
    const auto it = m_fonts.find(id);
    return it == m_fonts.end() ? m_defaultFont : it->second;
}

const TFontInfo& CPaintManagerUI::GetDefaultFont() const {
    return m_defaultFont;
}

void CPaintManagerUI::AddDefaultAttributeList(std::string_view controlClass, std::string_view list) {
    m_defaultAttributes.insert_or_assign(LowerAscii(controlClass), std::string(list));
}

std::string CPaintManagerUI::GetDefaultAttributeList(std::string_view controlClass) const {
    const auto it = m_defaultAttributes.find(LowerAscii(controlClass));
    return it == m_defaultAttributes.end() ? std::string() : it->second;
}

CDPI& CPaintManagerUI::GetDPIObj() {
    return *m_pDPI;
}

void CPaintManagerUI::SetDPI(int dpi) {
    const int before = m_pDPI->GetScale();
    m_pDPI->SetScale(dpi);
    if (m_pDPI->GetScale() != before)
        m_bUpdateNeeded = true;
}

void CPaintManagerUI::UpdateLayout(RECT client) {
    m_rcClient = client;
    m_bUpdateNeeded = false;
    if (m_pRoot != nullptr)
        m_pRoot->SetPos(client);
}

void CPaintManagerUI::UpdateLayout() {
    UpdateLayout(m_rcClient);
}

}  // namespace DuiLib
