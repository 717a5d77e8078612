#include "ui/AboutDlg.h"

#include "config/OemConfig.h"
#include "config/Settings.h"
#include "ui/OpenUrl.h"

CAboutDlg::CAboutDlg() : CSkinDialog("dlg_about", true) {}

void CAboutDlg::OnWindowInit() {
    SetDlgItemTextW("LabelVersion", ReadProgramVersion());
    if (COemConfig::Instance().HideCompanyInfo() != 0) {
        ShowWindow("labelSite", false);
        ShowWindow("buttonSite", false);
        ShowWindow("CompanyName", false);
    }
}

void CAboutDlg::OnClick(DuiLib::TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    const std::string& name = msg.pSender->GetName();
    if (name == "btnClose")
        Close(1);
    else if (name == "buttonSite")
        OpenUrl(m_hWnd, msg.pSender->GetText());
}
