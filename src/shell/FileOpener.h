#pragma once
// Opens downloaded documents for the main window: each with the desktop's
// opener, off the UI thread (the opener's verdict is waited for), and when
// the opener cannot open it, the file is shown in the file manager instead.
// A document is never run as a program. Several may be on their way at once.
// The handle belongs to the UI thread; closing it asks the openings under
// way to stop waiting and lets them go.

#include "platform/duilib/BackgroundJob.h"

#include <memory>
#include <string>
#include <vector>

class CFileOpener {
  public:
    CFileOpener() = default;
    CFileOpener(const CFileOpener&) = delete;
    CFileOpener& operator=(const CFileOpener&) = delete;

    // Starts opening `path` (absolute). False when no worker could be made.
    // UI thread.
    bool Open(std::string path);
    // Openings still under way. UI thread.
    int Running() const;

  private:
    std::vector<std::unique_ptr<DuiLib::BackgroundJob>> m_jobs;
};
