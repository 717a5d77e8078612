#pragma once
// The self-update: compares the installed version with the version file on
// the update host, downloads the new installer when the server's version is
// newer, and runs it when the user agrees. The check runs silently once a day
// when the main window starts (with the daily and installation reports and
// the crash-file hand-over), and on request from the menu entry "menuUpdate",
// with messages and a download notification.
//
// Everything network-bound runs on one background job at a time. The
// worker's questions and messages are shown by the UI thread while the
// worker waits for the answer; the worker never touches a window itself. The
// worker shares ownership of this object, so the object stays alive until
// the worker ends even when everyone else has let it go (create it with
// std::make_shared, or use Instance()).
//
// Files and settings (per user): registry "Version" (installed version),
// "UpdateDay" (day of the month of the last automatic check),
// "SendInstallMessage" (an installation report is still to be sent);
// "config.ini" [Main] "HasNewInstaller" (1 once an installer was downloaded),
// [General] "CanUpdate" (0 forbids automatic downloads, read at start-up);
// "VANTOSetup.exe" (the downloaded installer) and "Error.tmp" (the crash
// file) in the per-user data folder.

#include <chrono>
#include <memory>
#include <string>

#include "config/VersionFile.h"
#include "platform/duilib/BackgroundJob.h"
#include "platform/duilib/UIDefine.h"
#include "platform/os/Notification.h"

class CUpdate : public std::enable_shared_from_this<CUpdate> {
  public:
    // The installer's file name in the per-user data folder: always this one
    // plain name, never one taken from a server.
    static constexpr const char* kInstallerFileName = "VANTOSetup.exe";
    // Message box styles and the answer "yes".
    static constexpr UINT kStyleInformation = 64;
    static constexpr UINT kStyleYesNo = 4;
    static constexpr int kAnswerYes = 6;
    // The balloon's icon id and callback message.
    static constexpr UINT kBalloonIconId = 1;
    static constexpr UINT kBalloonCallbackMessage = 1029;

    // The process-wide instance, made on first use and kept until the
    // process ends (a worker still running then keeps its share).
    static CUpdate& Instance();

    CUpdate();
    virtual ~CUpdate();
    CUpdate(const CUpdate&) = delete;
    CUpdate& operator=(const CUpdate&) = delete;

    // A hook with nothing to do here: the automatic check calls it just
    // before fetching the version file, the menu check just after. Runs on
    // the worker thread.
    virtual void OnVersionCheck();

    // True while the worker has not ended; an ended worker is forgotten.
    // UI thread.
    bool IsWorkerRunning();

    // The once-a-day automatic check: unless "UpdateDay" already holds
    // today's day of the month (low 16 bits compared), stores today's day
    // and starts the worker on the automatic procedure. The main window calls
    // it when no worker runs. UI thread.
    void StartDailyCheck();

    // The menu entry "menuUpdate": with a worker running, the message
    // "Updating"; with a downloaded installer waiting, the offer to run it;
    // otherwise the worker starts on the manual procedure. `owner` owns the
    // messages and the download notification. UI thread; the messages it
    // shows itself are modal.
    void CheckFromMenu(HWND owner, HICON icon);

    // When "VANTOSetup.exe" exists and the user answers yes to "HasUpdate",
    // starts it (made executable first, detached, as the user) and returns
    // true; false otherwise, also when the installer could not be started.
    // "HasNewInstaller" is not reset. UI thread (the owner of the question is
    // the last CheckFromMenu's).
    bool OfferInstaller();

    // "HasNewInstaller" in [Main] of "config.ini" is not 0 and
    // "VANTOSetup.exe" exists in the per-user data folder. Any thread.
    static bool IsInstallerPending();

    // Writes "1" as "HasNewInstaller" in [Main] of "config.ini". Any thread.
    static void MarkInstallerPending();

    // The version file's rules and the once-a-day rule on "UpdateDay"; tests
    // set their own day of the month on it. UI thread.
    VersionFile& GetVersionFile() { return m_versionFile; }

    // Waits until the worker has ended or `limit` has passed; true when it
    // has ended (or none was started). UI thread.
    bool WaitForWorker(std::chrono::milliseconds limit) const;

  private:
    struct Job;
    // Starts the worker on a copy of what it needs. False when it could not
    // start (a worker runs, or this object is not shared).
    bool StartWorker(bool automatic);
    // The two procedures, run on the worker thread; `stop` ends their
    // transfers.
    static void RunAutomatic(CUpdate& self, Job& job, const os::Event* stop);
    static void RunManual(CUpdate& self, Job& job, const os::Event* stop);

    bool m_isAutomatic = false;
    HWND m_ownerWindow = nullptr;
    HICON m_balloonIcon = nullptr;
    VersionFile m_versionFile;
    DuiLib::BackgroundJob m_job;
};

// The per-user data folder + "VANTOSetup.exe".
std::string InstallerPath();

// Starts the installer at `path` as the shell's "open" runs a program:
// detached, as the user, without arguments. The file must be a regular file
// of this user; it is made executable for its owner only (0700) first. False
// when it is not such a file or could not be started. Any thread.
bool StartInstaller(const std::string& path);
