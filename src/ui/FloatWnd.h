#pragma once
// CFloatWnd: the base of pop-up panels that close when they lose the focus
// (the user-information panel is one). A derived class builds its layout
// when the window is created (BuildLayout helps) and places it; the pop-up
// closes on Escape, on losing the focus to any other window, on "itemselect"
// and on "itemclick", which it forwards to the window that opened it. The
// object deletes itself when its window is gone.

#include "platform/duilib/UIManager.h"
#include "platform/duilib/WindowWnd.h"

#include <string_view>

class CFloatWnd : public DuiLib::CWindowWnd, public DuiLib::INotifyUI {
  public:
    // `opener`: the control that opened the pop-up (may be null); `position`:
    // where it asks to be, in screen coordinates.
    CFloatWnd(DuiLib::CControlUI* opener, POINT position);
    ~CFloatWnd() override;

    const char* GetWindowClassName() const override { return "MenuWnd"; }
    void Notify(DuiLib::TNotifyUI& msg) override;

    DuiLib::CPaintManagerUI& GetPaintManager() { return m_pm; }
    DuiLib::CControlUI* GetOpener() const { return m_opener; }
    POINT GetPosition() const { return m_position; }
    // The rounded corners of the window's region, {0, 0} while it has none.
    SIZE GetRegionCorner() const { return m_regionCorner; }

  protected:
    // WM_CREATE: the derived class builds its layout and places the window;
    // -1 fails the creation.
    virtual LRESULT OnCreate() { return 0; }
    // Builds `layout` (a skin file name or layout text) into the window,
    // sizes the window from it (grown with the window's scale) and moves it to
    // the requested position.
    bool BuildLayout(std::string_view layout);

    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hWnd) override;

    DuiLib::CPaintManagerUI m_pm;
    DuiLib::CControlUI* m_opener;
    POINT m_position;

  private:
    SIZE m_regionCorner{};
};
