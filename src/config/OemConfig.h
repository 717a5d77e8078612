#pragma once
// The partner (OEM) configuration: "oem.ini" beside the program adapts one
// build to a distribution channel. The start-up record is filled once and
// read afterwards; the title and agreement-frame switches are read afresh at
// each call, so an edited file takes effect the next time a window is built.

#include <cstdint>
#include <string>

class COemConfig {
  public:
    // The process-wide record filled at start-up.
    static COemConfig& Instance();

    // Reads [Partner] "Id", "Toolbox" and "HideCompanyInfo" from `oemIniPath`;
    // missing file, section or key leave the defaults. Always succeeds.
    void Load(const std::string& oemIniPath);

    // [Partner] "Toolbox" as written (empty by default).
    const std::string& ToolboxName() const { return m_toolboxName; }
    // [Partner] "Id", "0" by default: the channel code of every report.
    const std::string& PartnerId() const { return m_partnerId; }
    // [Partner] "HideCompanyInfo", 0 by default.
    int HideCompanyInfo() const { return m_hideCompanyInfo; }

    // The folder name of the channel's toolbox: the configured name, or
    // "vanto" when none is set.
    std::string ToolboxFolderName() const;

    // Locates the skin archive linked into the program (resource type
    // "DATA", id 202) and keeps its bytes and size. True only when the
    // archive is there and not empty; otherwise both are cleared.
    bool LoadSkinArchive();
    // The archive's bytes (read-only, alive as long as the program) and
    // size; null and 0 until LoadSkinArchive found it.
    const void* SkinArchive() const { return m_skinArchive; }
    std::uint32_t SkinArchiveSize() const { return m_skinArchiveSize; }

  private:
    std::string m_toolboxName;
    std::string m_partnerId = "0";
    const void* m_skinArchive = nullptr;
    std::uint32_t m_skinArchiveSize = 0;
    int m_hideCompanyInfo = 0;
};

// The partner file beside the program (its letter case does not matter).
std::string OemIniPath();

// [main_frame] "title", "墨林工坊 - 模板素材大全" by default; read at each call.
std::string ReadMainFrameTitle();

// [new_reg_dlg] "show_protocol", 1 by default; read at each call.
int ReadShowProtocol();
