#include "shell/DownloadDlg.h"

#include "account/UserSession.h"
#include "config/LangFile.h"
#include "diag/CrashCapture.h"
#include "diag/RunLog.h"
#include "library/DownloadRecords.h"
#include "library/TemplateName.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "ui/ClientMessages.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

constexpr const char* kTitle = "download_title";
constexpr const char* kStopButton = "btn_stop_download";
constexpr const char* kOpenButton = "btn_open_file";
constexpr const char* kSideSuffix = ".tmp";

// The transfer of `url` into `sidePath`, on the job's thread. It owns copies
// of everything it uses: the dialog may be gone before it ends. The job's
// stop event is this download's own: a later download has another.
CDownloadDlg::Outcome RunTransfer(const std::string& url, const std::string& sidePath,
                                  std::chrono::milliseconds stallLimit, DuiLib::BackgroundJob::Context& job) {
    CTemplateTransfer transfer(url, sidePath);
    transfer.SetStallLimit(stallLimit);
    transfer.SetStopEvent(job.StopEvent());
    transfer.SetPercentSink([&job](int percent) { job.ReportProgress(percent); });
    CDownloadDlg::Outcome outcome = CDownloadDlg::Outcome::Failed;
    RunGuardedWorkerBody(__FILE__, __LINE__, [&] { outcome = transfer.Run(); });
    // Stopped while the last bytes arrived: the dialog that asked has
    // deleted the side file or is about to; a whole file left behind now
    // would outlive it.
    if (outcome == CDownloadDlg::Outcome::Complete && job.StopRequested()) {
        ::unlink(sidePath.c_str());
        outcome = CDownloadDlg::Outcome::Stopped;
    }
    return outcome;
}

}  // namespace

CDownloadDlg::CDownloadDlg(std::string url, std::string title, HWND owner, const std::string& targetPath)
    : CSkinDialog("dlg_download", false),
      m_sourceUrl(std::move(url)),
      m_docTitle(std::move(title)),
      m_owner(owner),
      m_tempPath(targetPath + kSideSuffix) {}

CDownloadDlg::~CDownloadDlg() = default;

void CDownloadDlg::OnWindowInit() {
    SetDlgItemTextW("text_download_name", m_docTitle);
    m_progress = m_pm.FindControl<DuiLib::CProgressUI>("progress_download");
    StartTransfer();
}

void CDownloadDlg::StartTransfer() {
    const HWND self = m_hWnd;
    // The transfer's reports come through the job rather than as messages
    // posted from the worker: progress is merged there (a fast transfer
    // cannot flood the queue), and both reach this window only while the
    // job's handle (this dialog) and the window live, so a transfer let go
    // at a close never reports to a window that came after. They still
    // arrive as the dialog's messages, its one way in.
    DuiLib::BackgroundJob::Options options;
    options.window = self;
    options.onProgress = [self](int percent) { ::SendMessageW(self, UM_DOWNLOAD_PROGRESS, 0, percent); };
    auto work = [url = m_sourceUrl, side = m_tempPath, stall = m_stallLimit](
                    DuiLib::BackgroundJob::Context& job) { return RunTransfer(url, side, stall, job); };
    auto onEnd = [self](Outcome outcome) {
        ::SendMessageW(self, UM_DOWNLOAD_DONE, static_cast<WPARAM>(outcome), 0);
    };
    m_workerStarted = m_worker.Start(std::move(work), std::move(onEnd), std::move(options));
    if (!m_workerStarted) {
        DebugPrint("download of %s not started: no worker thread", m_sourceUrl.c_str());
        OnTransferEnd(Outcome::Failed);
    }
}

LRESULT CDownloadDlg::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (uMsg == UM_DOWNLOAD_PROGRESS) {
        bHandled = true;
        if (m_progress != nullptr && !m_ended)
            m_progress->SetValue(static_cast<int>(std::clamp<LPARAM>(lParam, 0, 100)));
        return 0;
    }
    if (uMsg == UM_DOWNLOAD_DONE) {
        bHandled = true;
        OnTransferEnd(static_cast<Outcome>(wParam));
        return 0;
    }
    return CSkinDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CDownloadDlg::OnTransferEnd(Outcome outcome) {
    if (m_ended || m_closing)
        return;
    m_ended = true;
    if (outcome != Outcome::Complete || !Commit()) {
        ShowFailed();
        return;
    }
    if (m_progress != nullptr)
        m_progress->SetValue(100);
    ShowWindow(kStopButton, false);
    ShowWindow(kOpenButton, true);
    SetDlgItemTextW(kTitle, LoadLangText("DownloadComplete"));
}

bool CDownloadDlg::Commit() {
    const std::string finalPath =
        m_tempPath.substr(0, m_tempPath.size() - std::char_traits<char>::length(kSideSuffix));
    // The user agreed in the save dialog to replace a file of that name.
    if (!CommitTemplateFile(m_tempPath, finalPath)) {
        DebugPrint("download of %s not saved as %s", m_sourceUrl.c_str(), finalPath.c_str());
        return false;
    }
    m_finalPath = finalPath;
    // The address passed the request's checks, so it has a file name.
    if (const std::optional<std::string> name = TemplateFileName(m_sourceUrl)) {
        const std::string userId = UserSession::Instance().Snapshot().userId;
        if (!WriteDownloadRecord(userId, DocumentIdAtCompletion(*name), m_finalPath))
            DebugPrint("download of %s saved but not recorded", m_sourceUrl.c_str());
    }
    return true;
}

void CDownloadDlg::ShowFailed() {
    // The stop button stays: it closes the dialog and deletes what is left.
    SetDlgItemTextW(kTitle, LoadLangText("DownloadFailed"));
}

void CDownloadDlg::OnClick(DuiLib::TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    const std::string& name = msg.pSender->GetName();
    if (name == "btnClose" || name == kStopButton)
        CloseProcedure();
    else if (name == kOpenButton)
        OpenFile();
}

void CDownloadDlg::OpenFile() {
    WriteRunLog(RunLogMarker("ShellExecuteA bef"));
    if (!m_finalPath.empty())
        DuiLib::PostOwned(m_owner, UM_OPEN_FILE, 0, std::make_unique<std::string>(m_finalPath));
    CloseProcedure();
}

void CDownloadDlg::CloseProcedure() {
    if (m_closing)
        return;
    StopAndCleanUp();
    Close(1);
}

void CDownloadDlg::StopAndCleanUp() {
    m_closing = true;
    WriteRunLog(RunLogMarker("OnClose"));
    if (m_workerStarted) {
        WriteRunLog("m_handle != NULL \n");
        if (m_worker.IsRunning()) {
            WriteRunLog("WAIT_TIMEOUT \n");
            // The transfer ends at once when asked; a body that does not
            // is let go with what it owns, after the grace.
            m_worker.StopAndWait(kStopGrace);
            WriteRunLog("WAIT_TIMEOUT 30 * 1000 \n");
            WriteRunLog("CloseHandle(m_handle); \n");
            m_workerStarted = false;
        }
    }
    // After a completed download the side file has its final name already.
    ::unlink(m_tempPath.c_str());
    WriteRunLog("Close");
}

LRESULT CDownloadDlg::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (!m_closing)
        StopAndCleanUp();
    return CSkinDialog::OnClose(uMsg, wParam, lParam, bHandled);
}

LRESULT CDownloadDlg::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    if (!m_closing) {
        m_closing = true;
        m_worker.RequestStop();
        ::unlink(m_tempPath.c_str());
    }
    bHandled = false;
    return 0;
}
