#pragma once
// The engine view behind a web view control: made through the engine's
// function table when the control first needs it, destroyed with the
// control. It registers for the engine's eight events and raises them on the
// control, always on the UI thread: an event the engine raises on another
// thread is handed to the UI thread, and the engine waits for the answer.

#include "platform/duilib/UIWkeWebkit.h"
#include "platform/wke/wke.h"

#include <memory>
#include <string>

class EngineViewPeer : public DuiLib::IWkeViewPeer {
  public:
    // A view for `control`; null when the engine makes none (a module
    // without every view function is never asked: WkeCanMakeViews, or the
    // engine failed). UI thread.
    static std::unique_ptr<EngineViewPeer> Create(DuiLib::CWkeWebkitUI& control);
    ~EngineViewPeer() override;
    EngineViewPeer(const EngineViewPeer&) = delete;
    EngineViewPeer& operator=(const EngineViewPeer&) = delete;

    void Navigate(const std::string& url) override;
    void Back() override;
    void Forward() override;
    void Reload() override;
    wkeWebView GetWebView() const override { return m_view; }
    void* GetNativeWidget() const override;

    // What the engine and the events share; outlives the peer while an event
    // handed to the UI thread is still on its way.
    struct Link;

  private:
    EngineViewPeer(wkeWebView view, std::shared_ptr<Link> link);

    wkeWebView m_view;
    std::shared_ptr<Link> m_link;
};
