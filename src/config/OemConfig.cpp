#include "config/OemConfig.h"

#include "platform/os/Paths.h"
#include "platform/os/Profile.h"
#include "platform/os/Resource.h"

namespace {

constexpr const char* kPartner = "Partner";
constexpr const char* kDefaultToolboxName = "vanto";
constexpr const char* kDefaultTitle = "墨林工坊 - 模板素材大全";
// The skin archive's place among the program's resources.
constexpr const char* kSkinResourceType = "DATA";
constexpr WORD kSkinResourceId = 202;
// Texts are read into buffers of 260 characters: at most 259 are kept.
constexpr std::size_t kTextCapacity = 260;

}  // namespace

COemConfig& COemConfig::Instance() {
    static COemConfig config;
    return config;
}

void COemConfig::Load(const std::string& oemIniPath) {
    m_partnerId = os::ReadProfileString(kPartner, "Id", "0", oemIniPath, kTextCapacity);
    m_toolboxName = os::ReadProfileString(kPartner, "Toolbox", "", oemIniPath, kTextCapacity);
    m_hideCompanyInfo = os::ReadProfileInt(kPartner, "HideCompanyInfo", 0, oemIniPath);
}

std::string COemConfig::ToolboxFolderName() const {
    return m_toolboxName.empty() ? std::string(kDefaultToolboxName) : m_toolboxName;
}

bool COemConfig::LoadSkinArchive() {
    m_skinArchive = nullptr;
    m_skinArchiveSize = 0;
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(kSkinResourceId), kSkinResourceType);
    if (info == nullptr) {
        return false;
    }
    HGLOBAL handle = LoadResource(nullptr, info);
    const DWORD size = SizeofResource(nullptr, info);
    const void* data = handle != nullptr ? LockResource(handle) : nullptr;
    if (data == nullptr || size == 0) {
        return false;
    }
    m_skinArchive = data;
    m_skinArchiveSize = size;
    return true;
}

std::string OemIniPath() {
    return os::PathJoin(os::GetProgramFolder(), "OEM.ini");
}

std::string ReadMainFrameTitle() {
    return os::ReadProfileString("main_frame", "title", kDefaultTitle, OemIniPath(), kTextCapacity);
}

int ReadShowProtocol() {
    return os::ReadProfileInt("new_reg_dlg", "show_protocol", 1, OemIniPath());
}
