#include "shell/FileOpener.h"

#include "platform/os/DebugPrint.h"
#include "platform/os/Shell.h"

#include <algorithm>
#include <utility>

bool CFileOpener::Open(std::string path) {
    // Handles of ended openings go; each opening has its own.
    std::erase_if(m_jobs,
                  [](const std::unique_ptr<DuiLib::BackgroundJob>& job) { return !job->IsRunning(); });
    auto job = std::make_unique<DuiLib::BackgroundJob>();
    // Worker thread: the opener's verdict, then the file manager when it
    // could not open the file.
    const bool started = job->Start([path = std::move(path)](DuiLib::BackgroundJob::Context& context) {
        if (os::OpenDocument(path, context.StopEvent()) == os::OpenOutcome::kOpened)
            return;
        if (context.StopRequested())
            return;
        if (os::RevealInFileManager(path) == os::RevealOutcome::kNone)
            DebugPrint("%s could be neither opened nor shown", path.c_str());
    });
    if (started)
        m_jobs.push_back(std::move(job));
    return started;
}

int CFileOpener::Running() const {
    return static_cast<int>(
        std::count_if(m_jobs.begin(), m_jobs.end(), [](const auto& job) { return job->IsRunning(); }));
}
