#include "web/my_WkeCallback.h"

#include "net/ServerHosts.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "ui/ClientMessages.h"
#include "web/PageOrigin.h"

#include <algorithm>

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
    if (!m_pageMessageHandler) {
        DebugPrint("page message ignored: no page bridge");
        return {};
    }
    m_pageMessageHandler(webView, text != nullptr ? text : "");
    return {};
}
