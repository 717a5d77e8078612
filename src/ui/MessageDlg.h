#pragma once
// CMessageDlg: the client's own message box, built from "dlg_message". The
// style takes the system message box's bits (0x04 yes/no, 0x10 error,
// 0x20 warning, 0x40 information). The answer is read from Result() after
// the modal run: 6 for "btnYes", 12 for "btnLeft", 7 otherwise (also when
// the box is closed in any other way). The caller deletes the object.

#include "ui/SkinDialog.h"

#include <string>

class CMessageDlg : public CSkinDialog {
  public:
    static constexpr UINT kStyleYesNo = 0x04;
    static constexpr UINT kStyleError = 0x10;
    static constexpr UINT kStyleWarning = 0x20;
    static constexpr UINT kStyleInformation = 0x40;
    static constexpr int kAnswerYes = 6;
    static constexpr int kAnswerNo = 7;
    static constexpr int kAnswerLeft = 12;
    static constexpr DWORD kPlainYesTextColor = 0xFF666666;

    CMessageDlg(std::string text, std::string caption, UINT style, bool showHtml);

    int Result() const { return m_result; }
    const std::string& Text() const { return m_text; }
    const std::string& Caption() const { return m_caption; }
    UINT Style() const { return m_style; }
    // Replace the texts of "btnYes" / "btnClose" when not empty.
    void SetYesText(std::string text) { m_yesText = std::move(text); }
    void SetCloseText(std::string text) { m_closeText = std::move(text); }
    // When not empty, "btnLeft" is shown with this text.
    void SetLeftText(std::string text) { m_leftText = std::move(text); }
    // "btnYes" drawn without its images, in grey.
    void SetPlainYes(bool on) { m_plainYes = on; }

  protected:
    void OnWindowInit() override;
    void OnClick(DuiLib::TNotifyUI& msg) override;
    // Return dismisses a notice (no yes/no) whose controls have no focus, as
    // its one button does; a question is answered only by a button the user
    // chose, and a focused button keeps Return for itself. UI thread.
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

  private:
    int m_result = kAnswerNo;
    std::string m_text;
    std::string m_caption;
    std::string m_yesText;
    std::string m_closeText;
    std::string m_leftText;
    UINT m_style;
    bool m_showHtml;
    bool m_plainYes = false;
};
