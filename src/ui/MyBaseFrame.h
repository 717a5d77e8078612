#pragma once
// MyBaseFrame<N>: the two kinds of frame. MyBaseFrame<1> (the main window's
// base) tests a modal run by the window's existence and runs DoModal through
// the library's ShowModal; MyBaseFrame<0> tests visibility and keeps the
// frame's own loop.

#include "ui/BaseFrame.h"

template <int Kind>
class MyBaseFrame : public CBaseFrame {
    static_assert(Kind == 0 || Kind == 1);

  public:
    explicit MyBaseFrame(DWORD value = 0) : m_value(value) {}

    DWORD GetValue() const { return m_value; }
    bool IsModalByExistence() const override { return Kind == 1; }

    UINT DoModal() override {
        if constexpr (Kind == 1) {
            if (!::IsWindow(m_hWnd))
                return 0;
            CenterOnOwner();
            BringToFront();
            m_modalOwner = this;
            return ShowModal();
        } else {
            return CBaseFrame::DoModal();
        }
    }

  private:
    DWORD m_value;
};
