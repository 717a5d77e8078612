#pragma once
// The deletion of a downloaded document that the store's downloads page asks
// for ("deletedoc"): the store forgets the download first, then the client
// deletes the saved file and its download record, tells the user how it went
// and reloads the downloads page.
//
// The store's request runs on a background job, so the window stays live
// while the store answers; everything after it runs on the UI thread, in the
// order the user sees it:
//   - the store did not answer with "code" 1: "DeleteRecordFail", nothing
//     else (the file and the record stay);
//   - the file named by the user's record was deleted: the record is
//     removed, "DeleteFileSuccess";
//   - otherwise (no record, nothing at the path, not a regular file, no
//     right to delete it): the record stays, "DeleteLocalFail";
//   and in the last two cases UM_REFRESH_DOWNLOADS once the box is closed.
// The boxes are information boxes owned by the main window.
//
// The token and the user id are those of the moment the page asked: a
// deletion whose answer arrives after a logout or another user's login
// still removes only the asking user's record.
//
// One deletion at a time: a request that arrives while one is under way
// (the store has not answered, or its box is still up) is dropped with a
// debug line; the page's list is reloaded after the first one anyway.
//
// UI thread, except where noted.

#include "platform/duilib/BackgroundJob.h"
#include "platform/duilib/UIDefine.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace os {
class Event;
}

// Asks the store to forget download `documentId` of the user of `token`;
// true when the reply parses and its "code" is 1. `stop` ends the request
// at once. Worker thread (any thread); blocks for at most the request
// layer's limits.
bool RemoveDownloadOnStore(const std::string& token, std::int32_t documentId, const os::Event* stop);

// Deletes the file that user `userId`'s record of `documentId` names, and
// then the record. Only a regular file is deleted: a record naming a folder,
// a symbolic link (whatever it points to) or anything else is left alone, as
// is the record. True when the file was deleted. Any thread.
bool DeleteDownloadedFile(std::string_view userId, std::int32_t documentId);

class CDocumentDeletion {
  public:
    // `owner`: the main window, which owns the boxes and gets
    // UM_REFRESH_DOWNLOADS.
    explicit CDocumentDeletion(HWND owner);
    // A deletion under way is let go: nothing of it reaches the screen.
    ~CDocumentDeletion();
    CDocumentDeletion(const CDocumentDeletion&) = delete;
    CDocumentDeletion& operator=(const CDocumentDeletion&) = delete;

    // Starts the deletion of `documentId` for the session's user. False,
    // with nothing started, when one is under way or no thread could be
    // made.
    bool Start(std::int32_t documentId);
    // From Start until the box of the outcome is closed.
    bool IsBusy() const { return m_busy; }
    // The window's end: the store's request stops at once; waits for it at
    // most `limit`. False when it still runs (it is let go).
    bool StopAndWait(std::chrono::milliseconds limit) {
        return m_job == nullptr || m_job->StopAndWait(limit);
    }

  private:
    void Finish(bool removedOnStore, const std::string& userId, std::int32_t documentId);
    static void Show(HWND owner, const char* key);

    HWND m_owner;
    bool m_busy = false;
    // False once the object is gone, for the code after a box's modal loop.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // One job per deletion: the last one's thread may still be winding down
    // after its answer was handled. Declared last: goes first.
    std::unique_ptr<DuiLib::BackgroundJob> m_job;
};
