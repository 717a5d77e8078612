#include "ui/MessageDlg.h"

#include "platform/duilib/UIButton.h"
#include "platform/duilib/UILabel.h"

using namespace DuiLib;

CMessageDlg::CMessageDlg(std::string text, std::string caption, UINT style, bool showHtml)
    : CSkinDialog("dlg_message", false),
      m_text(std::move(text)),
      m_caption(std::move(caption)),
      m_style(style),
      m_showHtml(showHtml) {}

void CMessageDlg::OnWindowInit() {
    SetDlgItemTextW("caption", m_caption);
    if (CControlUI* context = m_pm.FindControl("context")) {
        if (auto* label = ControlCast<CLabelUI>(context))
            label->SetShowHtml(m_showHtml);
        context->SetText(m_text);
    }

    // Information wins over error, error over warning; no icon bit means
    // information.
    const char* icon = "infoLogo";
    if ((m_style & kStyleInformation) == 0) {
        if ((m_style & kStyleError) != 0)
            icon = "errorLogo";
        else if ((m_style & kStyleWarning) != 0)
            icon = "warnLogo";
    }
    ShowWindow(icon, true);

    CControlUI* yes = m_pm.FindControl("btnYes");
    CControlUI* close = m_pm.FindControl("btnClose");
    if (yes != nullptr && close != nullptr) {
        // A box without a question has one button: "btnClose" under the
        // affirmative text.
        if ((m_style & kStyleYesNo) == 0) {
            yes->SetVisible(false);
            close->SetText(yes->GetText());
        }
        if (!m_yesText.empty())
            yes->SetText(m_yesText);
        if (!m_closeText.empty())
            close->SetText(m_closeText);
    }
    if (!m_leftText.empty()) {
        ShowWindow("btnLeft", true);
        SetDlgItemTextW("btnLeft", m_leftText);
    }
    if (m_plainYes && yes != nullptr) {
        if (auto* button = ControlCast<CButtonUI>(yes)) {
            button->SetNormalImage({});
            button->SetHotImage({});
            button->SetPushedImage({});
            button->SetDisabledImage({});
            button->SetTextColor(kPlainYesTextColor);
        }
    }
}

void CMessageDlg::OnClick(TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    const std::string& name = msg.pSender->GetName();
    if (name == "btnClose")
        m_result = kAnswerNo;
    else if (name == "btnYes")
        m_result = kAnswerYes;
    else if (name == "btnLeft")
        m_result = kAnswerLeft;
    else
        return;
    Close(1);
}

LRESULT CMessageDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_RETURN && (m_style & kStyleYesNo) == 0 && m_pm.GetFocus() == nullptr) {
        m_result = kAnswerNo;
        Close(1);
        return TRUE;
    }
    return CSkinDialog::ResponseDefaultKeyEvent(wParam);
}
