#include "web/my_WkeCallback.h"

#include "net/ServerHosts.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "ui/ClientMessages.h"
#include "web/PageMessage.h"
#include "web/PageOrigin.h"

#include <algorithm>
#include <cstring>
#include <memory>

my_WkeCallback::my_WkeCallback(HWND ownerWindow, std::string homeAddress)
    : m_ownerWindow(ownerWindow), m_homeAddress(std::move(homeAddress)), m_pageHost(ClientPageHost()) {
    const std::string root = "http://" + m_pageHost;
    m_startPages = {root + "/",         m_homeAddress,       root + "/client/index/lists/",
                    root + "/ppt.html", root + "/word.html", root + "/excel.html"};
}

bool my_WkeCallback::IsStartPage(std::string_view url) const {
    return std::find(m_startPages.begin(), m_startPages.end(), url) != m_startPages.end();
}

void my_WkeCallback::Post(UINT message) const {
    PostMessageW(m_ownerWindow, message, 0, 0);
}

void my_WkeCallback::PostDownload(std::string url, std::string title) const {
    auto request = std::make_unique<DownloadRequest>();
    request->url = std::move(url);
    request->title = std::move(title);
    // The window owns the request from here; when it is gone the queue frees
    // it.
    if (!DuiLib::PostOwned(m_ownerWindow, UM_DOWNLOAD, 0, std::move(request)))
        DebugPrint("download request dropped: the window is gone");
}

void my_WkeCallback::OnWkeTitleChanged(DuiLib::CWkeWebkitUI*, const char* title) {
    // The gateway's error page loads successfully; only its title tells.
    if (title != nullptr && std::string_view(title).find("502 Bad Gateway") != std::string_view::npos)
        Post(UM_PAGE_FAILED);
}

bool my_WkeCallback::OnWkeNavigation(DuiLib::CWkeWebkitUI*, wkeNavigationType, const char* url) {
    if (m_navigationCount != 0)
        return true;
    if (url != nullptr && IsStartPage(url)) {
        Post(UM_SHOW_LOADING);
        ++m_navigationCount;
    }
    return true;
}

void my_WkeCallback::OnWkeLoadingFinish(DuiLib::CWkeWebkitUI*, const char* url, wkeLoadingResult result,
                                        const char*) {
    if (url != nullptr && IsStartPage(url) && m_loadedCount == 0) {
        Post(UM_HIDE_LOADING);
        ++m_loadedCount;
    }
    Post(result == WKE_LOADING_FAILED ? UM_PAGE_FAILED : UM_PAGE_OK);
}

std::string my_WkeCallback::OnWkePageMessage(DuiLib::CWkeWebkitUI* webView, const char* text, void* param1,
                                             void*) {
    // The engine names the sending page; without that, the view's address.
    std::string origin;
    if (param1 != nullptr)
        origin = static_cast<const char*>(param1);
    else if (webView != nullptr)
        origin = webView->GetUrl();
    if (!IsPageOnHost(origin, "http", m_pageHost)) {
        DebugPrint("page message from %s ignored: not a store page", origin.c_str());
        return {};
    }
    // Measured only up to the decoder's limit: a longer text is refused
    // without walking all of it.
    const std::string_view body =
        text != nullptr ? std::string_view(text, ::strnlen(text, kMaxPageMessage + 1)) : std::string_view();
    std::string reason;
    std::optional<PageMessage> message = DecodePageMessage(body, &reason);
    if (!message) {
        DebugPrint("page message ignored: %s", reason.c_str());
        return {};
    }
    switch (message->command) {
        case PageCommand::ShowLogin:
            Post(UM_SHOW_LOGIN);
            break;
        case PageCommand::Down:
            PostDownload(std::move(message->url), std::move(message->title));
            break;
        case PageCommand::OpenDoc:
            break;
        case PageCommand::DeleteDoc:
            if (m_deleteDocument)
                m_deleteDocument(message->id);
            else
                DebugPrint("deletion of document %d ignored: nobody deletes documents", message->id);
            break;
    }
    return {};
}
