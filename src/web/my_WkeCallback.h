#pragma once
// The main window's web view callback: one object shared by all seven web
// views of the window. It turns the engine's events into the main window's
// messages (loading frame, disconnect page) and is the page bridge: the
// requests of the store pages become the main window's messages (the login
// dialog, a download) or go to the document deletion the window runs. UI
// thread, like every engine event; nothing here blocks.

#include "platform/duilib/UIDefine.h"
#include "platform/duilib/UIWkeWebkit.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class my_WkeCallback : public DuiLib::IWkeCallback {
  public:
    // `ownerWindow` receives every message; `homeAddress` is the main
    // window's home address ("http://" + client-page host + "/", with "?c="
    // and the channel id when one is set).
    my_WkeCallback(HWND ownerWindow, std::string homeAddress);

    // Where "deletedoc" goes: the main window's document deletion, with the
    // page's document id. Without one the request is dropped with a debug
    // line.
    using DeleteDocumentHandler = std::function<void(std::int32_t documentId)>;
    void SetDeleteDocumentHandler(DeleteDocumentHandler handler) { m_deleteDocument = std::move(handler); }

    // A "502 Bad Gateway" anywhere in a title: UM_PAGE_FAILED.
    void OnWkeTitleChanged(DuiLib::CWkeWebkitUI* webView, const char* title) override;
    // The first navigation of the run to a start page: UM_SHOW_LOADING.
    // Every navigation is allowed.
    bool OnWkeNavigation(DuiLib::CWkeWebkitUI* webView, wkeNavigationType navigationType,
                         const char* url) override;
    // The first finished load of a start page: UM_HIDE_LOADING; then
    // UM_PAGE_FAILED for a failed load (result 1), UM_PAGE_OK otherwise.
    void OnWkeLoadingFinish(DuiLib::CWkeWebkitUI* webView, const char* url, wkeLoadingResult result,
                            const char* failedReason) override;
    // The page bridge, for pages on the client-page host only (the sending
    // page's address decides; a message from any other page is dropped with
    // a debug line, as is one the decoder rejects): "showlogin" posts
    // UM_SHOW_LOGIN, "down" posts UM_DOWNLOAD with the request (owned by
    // the window from then on), "opendoc" does nothing, "deletedoc" goes to
    // the deletion handler. Answers nothing.
    std::string OnWkePageMessage(DuiLib::CWkeWebkitUI* webView, const char* text, void* param1,
                                 void* param2) override;

    // Whether `url` is one of the six start pages (whole-text comparison).
    bool IsStartPage(std::string_view url) const;
    std::uint32_t NavigationCount() const { return m_navigationCount; }
    std::uint32_t LoadedCount() const { return m_loadedCount; }

  private:
    void Post(UINT message) const;
    void PostDownload(std::string url, std::string title) const;

    HWND m_ownerWindow;
    std::string m_homeAddress;
    std::vector<std::string> m_startPages;
    std::string m_pageHost;  // the client-page host when the object was made
    // Shared by every view of the window, and only ever growing: the
    // loading frame comes and goes once per run.
    std::uint32_t m_navigationCount = 0;
    std::uint32_t m_loadedCount = 0;
    DeleteDocumentHandler m_deleteDocument;
};
