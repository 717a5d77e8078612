#pragma once
// The client's one top-level window. The process-wide accessor creates it on
// first use; the window registers its class on the instance channel, so a
// second start of the client finds it and brings it forward. Closing it
// ("btnClose" or the system menu's close command) ends the message loop;
// the window itself goes in teardown with the rest.
//
// Its initialisation starts the toolbox (the archive check runs on the
// toolbox's own thread); "btnToolBox" shows while the toolbox's archive is
// there and opens the toolbox's panel below itself.

#include "ui/MyBaseFrame.h"

#include <memory>
#include <string>

class CToolbox;

class CMainFrame : public MyBaseFrame<1> {
  public:
    // The window class other instances look for.
    static constexpr const char* kWindowClass = "VANTOWindowClass";
    // The main window, created on the first call (caption "墨林工坊", a
    // visible overlapped window, icon 128); null when creation failed, and
    // again on every later call once the window has gone. UI thread.
    static CMainFrame* GetInstance();

    const char* GetWindowClassName() const override { return kWindowClass; }
    std::string GetSkinFile() override { return "Form_Main.xml"; }

  protected:
    CMainFrame();
    // The toolbox goes with the window object: its teardown stops its
    // workers and waits for them a bounded time.
    ~CMainFrame() override;
    void Init() override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    // The end of the window's initialisation: the once-a-day update check
    // starts (on its own worker) unless a check still runs.
    void OnWindowInit() override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    void OnClick(DuiLib::TNotifyUI& msg) override;
    // The pop-up menu's entries: "menuUpdate" runs the update check with
    // its messages over this window.
    void OnMenuCommand(WPARAM item) override;
    void OnFinalMessage(HWND hWnd) override;

  private:
    void ShowToolbox(DuiLib::CControlUI* button);

    std::unique_ptr<CToolbox> m_toolbox;
};
