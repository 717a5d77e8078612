#pragma once
// CDownloadDlg: the progress dialog of a template download ("dlg_download").
// It shows the document's title, runs the transfer on a background job into
// the side file "<chosen path>.tmp", moves the side file over the chosen path
// once the whole document has arrived, records it for the signed-in account
// and offers to open it. Stopping or closing stops the transfer, waits for
// it a bounded time and deletes the side file; a download that fails says
// so and leaves nothing under the chosen name.
//
// The request procedure makes it and runs it modally over the main window:
//
//   CDownloadDlg dialog(url, title, mainWindow, chosenPath);
//   dialog.Create(mainWindow, "", UI_WNDSTYLE_DIALOG, 0);
//   dialog.CenterWindow();
//   dialog.ShowModal();
//
// The creator keeps the object: it does not delete itself with its window.
// UI thread only, except the transfer, which runs on the job's thread and
// owns everything it uses, so it may outlive the dialog (a transfer that
// does not stop within the close's grace is let go).

#include "library/TemplateTransfer.h"
#include "platform/duilib/BackgroundJob.h"
#include "ui/SkinDialog.h"

#include <chrono>
#include <string>

namespace DuiLib {
class CProgressUI;
}

class CDownloadDlg : public CSkinDialog {
  public:
    using Outcome = CTemplateTransfer::Outcome;

    // How long the close waits for a transfer it asked to stop.
    static constexpr std::chrono::seconds kStopGrace{30};

    // `url`: the document's address on the store; `title`: its title;
    // `owner`: the window that opens the finished file (UM_OPEN_FILE);
    // `targetPath`: the path the user chose.
    CDownloadDlg(std::string url, std::string title, HWND owner, const std::string& targetPath);
    // A transfer still running is asked to stop and let go.
    ~CDownloadDlg() override;

    // Silence from the server that fails the transfer; set before the
    // dialog is shown.
    void SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }

    const std::string& TempPath() const { return m_tempPath; }
    // The chosen path once the download is complete; empty before.
    const std::string& FinalPath() const { return m_finalPath; }
    // Whether the transfer's body still runs.
    bool IsTransferRunning() const { return m_worker.IsRunning(); }

  protected:
    // Shows the title and starts the transfer.
    void OnWindowInit() override;
    void OnClick(DuiLib::TNotifyUI& msg) override;
    // UM_DOWNLOAD_PROGRESS (lParam: per cent) and UM_DOWNLOAD_DONE (wParam:
    // the Outcome).
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    // A close from elsewhere (the window manager's) runs the close
    // procedure too before the window goes.
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    // The window going without a close (its owner went first): the transfer
    // is asked to stop and the side file deleted, without waiting.
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  private:
    void StartTransfer();
    void OnTransferEnd(Outcome outcome);
    // The complete side file under the chosen name, recorded.
    bool Commit();
    void ShowFailed();
    void OpenFile();
    // The stop and close buttons: stops the transfer, deletes the side file
    // and closes the dialog with 1. Runs once.
    void CloseProcedure();
    // The close procedure's steps before the window goes, with their
    // run-log lines.
    void StopAndCleanUp();

    std::string m_sourceUrl;
    std::string m_docTitle;
    HWND m_owner;
    std::string m_tempPath;
    std::string m_finalPath;
    std::chrono::milliseconds m_stallLimit = CTemplateTransfer::kStallLimit;
    DuiLib::CProgressUI* m_progress = nullptr;  // "progress_download"
    // A transfer was started and not yet given up on at a close.
    bool m_workerStarted = false;
    // The transfer's end was handled; a second report changes nothing.
    bool m_ended = false;
    // The close procedure ran: nothing the transfer still reports counts.
    bool m_closing = false;
    // Declared last: goes first, so nothing it delivers finds the dialog
    // half gone.
    DuiLib::BackgroundJob m_worker;
};
