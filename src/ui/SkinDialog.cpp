#include "ui/SkinDialog.h"

#include "platform/duilib/UIManager.h"

CSkinDialog::CSkinDialog(std::string layoutName, bool deleteSelf)
    : m_layoutName(std::move(layoutName)), m_deleteSelf(deleteSelf) {}

std::string CSkinDialog::GetSkinFolder() {
    return DuiLib::CPaintManagerUI::GetInstancePath() + "skin/";
}

std::string CSkinDialog::GetSkinFile() {
    return m_layoutName + ".xml";
}

void CSkinDialog::Notify(DuiLib::TNotifyUI& msg) {
    if (msg.sType == DuiLib::DUI_MSGTYPE_WINDOWINIT)
        OnWindowInit();
    else if (msg.sType == DuiLib::DUI_MSGTYPE_CLICK)
        OnClick(msg);
}

LRESULT CSkinDialog::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
    // A dialog that deletes itself is gone when DestroyWindow returns:
    // nothing of the object is touched after it.
    ::DestroyWindow(m_hWnd);
    bHandled = true;
    return 0;
}

void CSkinDialog::OnFinalMessage(HWND hWnd) {
    WindowImplBase::OnFinalMessage(hWnd);
    if (m_deleteSelf)
        delete this;  // the dialog's creator keeps no pointer to it
}
