#pragma once
// A small window for the web tests: one web view control (or several) in a
// layout of its own, and a record of the client messages (9024 and up) that
// reach it, with the download requests they carried (taken over, as the main
// window takes them). Made and destroyed on the UI thread.

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/WindowWnd.h"
#include "ui/ClientMessages.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace webtest {

class WebHost : public DuiLib::CWindowWnd {
  public:
    explicit WebHost(std::vector<std::string> viewNames = {"web"}) : m_names(std::move(viewNames)) {}
    ~WebHost() override {
        if (GetHWND() != nullptr)
            DestroyWindow(GetHWND());
    }

    const char* GetWindowClassName() const override { return "WebTestHost"; }

    DuiLib::CWkeWebkitUI* View(const std::string& name) const {
        return m_manager.FindControl<DuiLib::CWkeWebkitUI>(name);
    }

    std::vector<UINT> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    // "url|title" of each UM_DOWNLOAD request that arrived.
    std::vector<std::string> Downloads() const {
        std::lock_guard lock(m_mutex);
        return m_downloads;
    }
    void ClearMessages() {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
        m_downloads.clear();
    }

  protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CREATE) {
            m_manager.Init(GetHWND(), "web_host.xml");
            auto* root = new DuiLib::CVerticalLayoutUI;
            for (const auto& name : m_names) {
                auto* view = new DuiLib::CWkeWebkitUI;
                view->SetName(name);
                root->Add(view);
            }
            m_manager.AttachDialog(root);
            return 0;
        }
        if (msg >= WM_USER + 8000 && msg < WM_USER + 8100) {
            std::lock_guard lock(m_mutex);
            m_messages.push_back(msg);
            if (msg == UM_DOWNLOAD) {
                // NOLINTNEXTLINE(performance-no-int-to-ptr): the message's owned payload
                const std::unique_ptr<DownloadRequest> request(reinterpret_cast<DownloadRequest*>(lParam));
                m_downloads.push_back(request != nullptr ? request->url + "|" + request->title : "null");
            }
            return 0;
        }
        return CWindowWnd::HandleMessage(msg, wParam, lParam);
    }

  private:
    std::vector<std::string> m_names;
    DuiLib::CPaintManagerUI m_manager;
    mutable std::mutex m_mutex;
    std::vector<UINT> m_messages;
    std::vector<std::string> m_downloads;
};

}  // namespace webtest
