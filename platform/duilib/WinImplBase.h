#pragma once
// WindowImplBase: a window whose controls come from a layout of the skin.
// Derived classes name the skin folder, the layout file and the window
// class; creation builds the layout into the window's paint manager, sizes
// the window from the layout's `size`, registers the window for its
// controls' notifications and as their message filter, and calls Init().
// "windowinit" reaches Notify once, when the window is first shown.

#include "platform/duilib/UIManager.h"
#include "platform/duilib/WindowWnd.h"

#include <string>
#include <string_view>

namespace DuiLib {

enum UILIB_RESOURCETYPE {
    UILIB_FILE = 1,  // layouts from the archive in force, else the skin folder
    UILIB_ZIP,
    UILIB_RESOURCE,
    UILIB_ZIPRESOURCE,
};

class WindowImplBase : public CWindowWnd,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
  public:
    WindowImplBase() = default;
    ~WindowImplBase() override;

    // The window's own initialisation, after its layout is attached.
    virtual void Init() {}
    void Notify(TNotifyUI& msg) override;
    // "click": the title-bar buttons of the library's layouts ("closebtn",
    // "minbtn", "maxbtn", "restorebtn"); others do nothing.
    virtual void OnClick(TNotifyUI& msg);

    // Controls by layout name; a name that finds nothing does nothing
    // (false, empty text, an empty rectangle).
    bool SetDlgItemTextW(std::string_view name, std::string_view text);
    std::string GetDlgItemTextW(std::string_view name) const;
    using CWindowWnd::ShowWindow;
    bool ShowWindow(const char* name, bool show);
    bool ShowWindow(const std::string& name, bool show) { return ShowWindow(name.c_str(), show); }
    bool EnableWindow(std::string_view name, bool enable);
    // Selects or clears an option, raising "selectchanged" as a click does.
    bool CheckDlgButton(std::string_view name, bool checked);
    bool SetControlWidth(std::string_view name, int cx);
    RECT GetControlRect(std::string_view name) const;
    bool SetFocus(std::string_view name);
    // Shows (mode without AW_HIDE) or hides (AW_HIDE) the window. Without a
    // display there is nothing to fade: it happens at once.
    void FadeInOut(int ms, DWORD mode);

    CPaintManagerUI& GetPaintManager() { return m_pm; }
    // The layout file the window was built from.
    virtual std::string GetSkinFile() = 0;
    virtual std::string GetSkinFolder() { return {}; }

    CPaintManagerUI m_pm;

  protected:
    virtual UILIB_RESOURCETYPE GetResourceType() const { return UILIB_FILE; }
    CControlUI* CreateControl(const char* pstrClass) override;
    UINT GetClassStyle() const override { return CS_DBLCLKS; }
    // The pre-message filter: Return and Escape key-downs go to
    // ResponseDefaultKeyEvent first; a non-zero answer consumes the key.
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    // Escape clicks the window's close button ("closebtn", else "btnClose")
    // when it shows and is enabled, and is consumed either way (without one
    // the window stays); Return is passed on.
    virtual LRESULT ResponseDefaultKeyEvent(WPARAM wParam);

    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hWnd) override;
    virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);

    // Each handler runs with bHandled already true; leaving it false passes
    // the message on to the paint manager and then to the default handling.
    virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    // The end of window creation shared by every window: attaches the built
    // layout, registers for its notifications, takes the layout's size and
    // calls Init. Without a layout creation fails: answers -1 for WM_CREATE.
    LRESULT AttachLayout(CControlUI* root);
    virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnNcActivate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnNcCalcSize(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnNcPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnGetMinMaxInfo(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnMouseWheel(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnChar(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnSetFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnLButtonUp(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
    virtual LRESULT OnDPIChanged(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
};

}  // namespace DuiLib
