#include "shell/DocumentDeletion.h"

#include "account/UserSession.h"
#include "library/DownloadRecords.h"
#include "net/ApiReply.h"
#include "net/CCurlRequest.h"
#include "net/ServerApi.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "ui/ClientMessages.h"
#include "ui/MessageDlg.h"
#include "ui/ShowLangMessage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

bool RemoveDownloadOnStore(const std::string& token, std::int32_t documentId, const os::Event* stop) {
    CCurlRequest request;
    // The asking user's token, whatever the session holds by the time the
    // request is made.
    request.SetToken(token);
    request.SetStopEvent(stop);
    return ApiReply::Read(request.GetWithToken(api::DeleteDownloadUrl(documentId))).Succeeded();
}

bool DeleteDownloadedFile(std::string_view userId, std::int32_t documentId) {
    const std::string key = std::to_string(documentId);
    const std::string path = ReadDownloadRecord(userId, key);
    if (path.empty())
        return false;
    // lstat: a symbolic link is looked at itself, never followed. The client
    // only ever saves regular files; anything else at the path is not what
    // it saved, and is left to the user.
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        DebugPrint("downloaded document %s not deleted: not a regular file", key.c_str());
        return false;
    }
    // Should the path change between the look and the deletion, unlink still
    // never removes a folder and never follows a link.
    if (::unlink(path.c_str()) != 0) {
        DebugPrint("downloaded document %s not deleted: %s", key.c_str(), std::strerror(errno));
        return false;
    }
    RemoveDownloadRecord(userId, key);
    return true;
}

CDocumentDeletion::CDocumentDeletion(HWND owner) : m_owner(owner) {}

CDocumentDeletion::~CDocumentDeletion() {
    *m_alive = false;
}

bool CDocumentDeletion::Start(std::int32_t documentId) {
    if (IsBusy()) {
        DebugPrint("deletion of document %d dropped: another one is under way", documentId);
        return false;
    }
    const UserSessionValues session = UserSession::Instance().Snapshot();
    auto work = [token = session.sessionToken, documentId](DuiLib::BackgroundJob::Context& job) {
        // Worker thread. Whatever happens, an answer comes back, so that the
        // deletion ends (a body that throws would deliver nothing).
        try {
            return RemoveDownloadOnStore(token, documentId, job.StopEvent());
        } catch (...) {
            return false;
        }
    };
    auto finish = [this, userId = session.userId, documentId](bool removed) {
        Finish(removed, userId, documentId);
    };
    m_job = std::make_unique<DuiLib::BackgroundJob>();
    if (!m_job->Start(std::move(work), std::move(finish), {.window = m_owner})) {
        m_job.reset();
        return false;
    }
    m_busy = true;
    return true;
}

void CDocumentDeletion::Finish(bool removedOnStore, const std::string& userId, std::int32_t documentId) {
    // The box runs a modal loop, in which the window (and this object with
    // it) may go: only copies are used after it.
    const std::shared_ptr<bool> alive = m_alive;
    const HWND owner = m_owner;
    if (!removedOnStore) {
        Show(owner, "DeleteRecordFail");
    } else {
        Show(owner, DeleteDownloadedFile(userId, documentId) ? "DeleteFileSuccess" : "DeleteLocalFail");
        // The page shows the store's new list (a window that is gone takes
        // no message).
        PostMessageW(owner, UM_REFRESH_DOWNLOADS, 0, 0);
    }
    if (*alive)
        m_busy = false;
}

void CDocumentDeletion::Show(HWND owner, const char* key) {
    ShowLangMessage(key, owner, CMessageDlg::kStyleInformation, "");
}
