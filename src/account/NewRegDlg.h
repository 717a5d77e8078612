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
// UI thread only. The two store requests (asking for a code, the code login)
// run on a background job, one at a time; their answers are handled on the
// UI thread while the dialog and its window live, so a slow store never
// freezes the dialog. Closing the dialog stops a running request at once.

#include "platform/duilib/BackgroundJob.h"
#include "ui/SkinDialog.h"

#include <memory>
#include <string>
#include <string_view>

class ApiReply;

class CNewRegDlg : public CSkinDialog {
  public:
    // The countdown before another code may be asked for runs on this timer.
    static constexpr UINT_PTR kCountdownTimer = 1;
    static constexpr UINT kCountdownPeriodMs = 1000;
    static constexpr int kCountdownSeconds = 120;

    // Takes the device identifier sent with logins now: the installation
    // id, else the machine code, else empty.
    CNewRegDlg();
    // A request still running is stopped and waited for a short bounded
    // time (its transfer ends at once), then let go; nothing of it arrives.
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
    // A store request was started and its answer has not arrived yet (it
    // is being handled once this turns false). False again once the dialog
    // closed or a sign-in page was chosen: that request is abandoned.
    bool IsRequestRunning() const { return m_pending != Request::None; }

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
    enum class Request { None, SendCode, Login };

    void SendVerificationCode();
    void OnCodeAnswer(const ApiReply& reply);
    void StartCountdown();
    void OnCountdownTick();
    void StopCountdown();
    void LoginWithCode();
    void OnLoginAnswer(const ApiReply& reply);
    // Starts the store request `kind` to `url` on the background job, its
    // buttons disabled until the answer has been handled.
    void StartRequest(Request kind, std::string url);
    void OnAnswer(Request kind, const ApiReply& reply);
    // Stops the running request: its transfer ends at once and its answer,
    // should one still arrive, is dropped.
    void AbandonRequest();
    // The code login's two buttons from the dialog's state.
    void UpdateRequestButtons();
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
    bool m_codeSent = false;  // a code was sent: "btnMobileLogin" may be used
    Request m_pending = Request::None;
    // The latest store request; a new one gets a fresh handle. Declared last:
    // it goes first, so nothing it delivers finds the dialog half gone.
    std::unique_ptr<DuiLib::BackgroundJob> m_request;
};
