#pragma once
// CNewRegDlg: the modal login dialog ("dlg_reg"). Three ways to log in: a
// mobile number with a verification code the store sends by SMS, and the QQ
// and WeChat sign-in pages of the store, shown in a browser dialog. The
// dialog only obtains a login; it stores nothing. Its creator (the main
// window) runs it and reads the results afterwards:
//
//   auto dialog = std::make_unique<CNewRegDlg>();
//   dialog->Create(owner, "", style, 0);
//   dialog->CenterWindow();
//   dialog->ShowModal();
//   if (!dialog->accountToken().empty()) ... accountName(), loginType() ...
//
// The creator keeps the object: it does not delete itself with its window.
// UI thread only; the store requests run on it too and block the dialog for
// at most the request layer's time limits.

#include "ui/SkinDialog.h"

#include <string>
#include <string_view>

class CNewRegDlg : public CSkinDialog {
  public:
    // The countdown before another code may be asked for runs on this timer.
    static constexpr UINT_PTR kCountdownTimer = 1;
    static constexpr UINT kCountdownPeriodMs = 1000;
    static constexpr int kCountdownSeconds = 120;

    // Takes the device identifier sent with logins now: the installation
    // id, else the machine code, else empty.
    CNewRegDlg();
    ~CNewRegDlg() override;

    // The results, read after the modal run. A non-empty token means a
    // login was obtained: the "jwt" of a code login (name: the phone
    // number, kind 1) or the "openid" of a sign-in page (name: its
    // "nickname", kind 2 QQ or 3 WeChat). Empty, empty and 0 otherwise.
    const std::string& accountToken() const { return m_accountToken; }
    const std::string& accountName() const { return m_accountName; }
    int loginType() const { return m_loginType; }

    // What the dialog holds while it runs.
    // The text of "userMobile" at the last press of "btnSendVeryfyCode".
    const std::string& Phone() const { return m_phone; }
    const std::string& MachineCodeSent() const { return m_machineCode; }
    // Seconds left before another code may be asked for; 0 when none run.
    int Countdown() const { return m_countdown; }
    // The running countdown timer, 0 when none runs.
    UINT_PTR TimerId() const { return m_timerId; }

    // A sign-in page's result (the text its browser dialog kept) for the
    // login kind `kind`: a login closes the dialog with code 1; a refusal,
    // or a token the client cannot carry, shows "AuthorizationFailed"; a
    // signed-in result without a token, or a text that is no result,
    // changes nothing.
    void ApplySignInResult(std::string_view text, int kind);

  protected:
    // "frame_protocol" shows unless the partner configuration hides it.
    void OnWindowInit() override;
    void OnClick(DuiLib::TNotifyUI& msg) override;
    // Fades out, then the window goes; the message counts as handled.
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    // A running countdown stops with the window.
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  private:
    void SendVerificationCode();
    void StartCountdown();
    void OnCountdownTick();
    void StopCountdown();
    void LoginWithCode();
    void SignInWithPage(int kind);
    // The server's own words in the skinned box, error style, caption "提示".
    void ShowServerMessage(const std::string& text);
    void Finish(std::string token, std::string name, int kind);

    std::string m_accountName;
    std::string m_accountToken;
    std::string m_phone;
    std::string m_machineCode;
    int m_countdown = 0;
    UINT_PTR m_timerId = 0;
    int m_loginType = 0;
};
