#pragma once
// CToolboxArchive: the toolbox's skin archive, "toolbox.dat" in the per-user
// data folder, and its daily refresh. Unless "ToolboxDay" holds today's day
// of the month, a background job fetches the toolbox host's version file of
// the toolbox's name; when the host offers a newer version than
// "ToolboxVersion", it downloads the archive ("toolbox.zip") into
// "toolbox.dat" + ".tmp", records the version and today's day, and puts the
// file in place. The first archive that becomes available is announced to
// the owner window with the ready message.
//
// "ToolboxDay" is written only after a download, so the version file is
// fetched at every start of the client until the day of a download.
//
// One object, owned by the toolbox on the UI thread.

#include "config/VersionFile.h"
#include "platform/duilib/BackgroundJob.h"
#include "platform/duilib/UIDefine.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class CToolboxArchive {
  public:
    static constexpr const char* kFileName = "toolbox.dat";
    static constexpr const char* kDownloadSuffix = ".tmp";
    // "toolbox.dat" is read whole into memory; a larger file is not an
    // archive of the toolbox: it is not downloaded, and does not open.
    static constexpr std::size_t kMaxBytes = 64u * 1024u * 1024u;

    // `dataFolder`: the per-user data folder, where "toolbox.dat" lives.
    explicit CToolboxArchive(std::string dataFolder);
    CToolboxArchive(const CToolboxArchive&) = delete;
    CToolboxArchive& operator=(const CToolboxArchive&) = delete;

    // The rules of the version file and the once-a-day rule on
    // "ToolboxDay"; tests set their own day of the month on it. UI thread.
    VersionFile& GetVersionFile() { return m_versionFile; }

    std::string Path() const;
    // "toolbox.dat" exists. Any thread.
    bool IsAvailable() const;
    // The whole of "toolbox.dat"; nothing when it cannot be read or holds
    // more than kMaxBytes. Any thread.
    std::optional<std::string> Read() const;

    // The daily check of the toolbox `name` (see above); `readyMessage`
    // (wParam 0, lParam 0) reaches `owner` when the first archive arrived
    // while this object and the window live. UI thread; call once.
    void StartCheck(std::string_view name, HWND owner, UINT readyMessage);
    bool IsCheckRunning() const { return m_check.IsRunning(); }
    // Ends the check's transfers at once. UI thread.
    void RequestStop() { m_check.RequestStop(); }
    bool WaitFor(std::chrono::milliseconds limit) const { return m_check.WaitFor(limit); }

  private:
    std::string m_dataFolder;
    VersionFile m_versionFile;
    DuiLib::BackgroundJob m_check;
};
