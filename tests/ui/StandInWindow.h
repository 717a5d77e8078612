#pragma once
// A stand-in for the main window in the tests of the parts it owns (the
// toolbox panel, the account pop-up): a window built from a small inline
// layout holding the controls those parts are opened from, which records the
// client messages (WM_USER and up) and the WM_NCACTIVATE it gets. A subclass
// answers the messages it must act on. UI thread only.

#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/WindowWnd.h"

#include <string>
#include <utility>
#include <vector>

namespace uitest {

class StandInWindow : public DuiLib::CWindowWnd {
  public:
    StandInWindow(const char* className, std::string layout)
        : m_className(className), m_layout(std::move(layout)) {}

    const char* GetWindowClassName() const override { return m_className; }
    DuiLib::CControlUI* Control(const char* name) const { return m_pm.FindControl(name); }

    std::vector<UINT> received;      // the client messages, in order
    std::vector<WPARAM> ncActivate;  // WM_NCACTIVATE's wParam

  protected:
    // Answers a message itself; false leaves it to the default handling.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return false; }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CREATE) {
            m_pm.Init(m_hWnd, m_className);
            DuiLib::CDialogBuilder builder;
            DuiLib::CControlUI* root = builder.Create(m_layout, {}, nullptr, &m_pm);
            if (root == nullptr)
                return -1;
            m_pm.AttachDialog(root);
            return 0;
        }
        if (msg >= WM_USER)
            received.push_back(msg);
        if (msg == WM_NCACTIVATE)
            ncActivate.push_back(wParam);
        if (OnMessage(msg, wParam, lParam))
            return 0;
        LRESULT result = 0;
        if (m_pm.MessageHandler(msg, wParam, lParam, result))
            return result;
        return CWindowWnd::HandleMessage(msg, wParam, lParam);
    }

  private:
    const char* m_className;
    std::string m_layout;
    DuiLib::CPaintManagerUI m_pm;
};

}  // namespace uitest
