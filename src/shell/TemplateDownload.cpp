#include "shell/TemplateDownload.h"

#include "account/UserSession.h"
#include "library/DownloadRecords.h"
#include "library/TemplateName.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Paths.h"
#include "shell/DownloadDlg.h"
#include "shell/MyFileDialog.h"

#include <string>

void RunTemplateDownload(HWND mainWindow, std::unique_ptr<DownloadRequest> request,
                         const TemplateDownloadOptions& options) {
    if (request == nullptr)
        return;
    // Made before anything else: the record written at the end lives there.
    // A folder that cannot be made lets the download go on unrecorded.
    if (!EnsureTemplatesFolder())
        DebugPrint("templates folder %s could not be made", TemplatesFolder().c_str());
    const std::optional<std::string> fileName = TemplateFileName(request->url);
    if (!fileName) {
        DebugPrint("download of %s dropped: not an address of a document", request->url.c_str());
        return;
    }
    const std::string userId = UserSession::Instance().Snapshot().userId;
    const std::string saved = ReadDownloadRecord(userId, DocumentIdAtRequest(*fileName));
    // Only a regular file counts: a record naming a folder or a device is as
    // good as none.
    if (!saved.empty() && os::FileExists(saved)) {
        DuiLib::PostOwned(mainWindow, UM_OPEN_FILE, 0, std::make_unique<std::string>(saved));
        return;
    }
    const std::optional<std::string> target =
        CMyFileDialog(TemplateExtension(*fileName), request->title, mainWindow).Show();
    if (!target)
        return;
    CDownloadDlg dialog(std::move(request->url), std::move(request->title), mainWindow, *target);
    request.reset();
    if (options.stallLimit)
        dialog.SetStallLimit(*options.stallLimit);
    if (dialog.Create(mainWindow, "", UI_WNDSTYLE_DIALOG, 0) == nullptr)
        return;
    dialog.CenterWindow();
    dialog.ShowModal();
}
