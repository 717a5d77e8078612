#include "account/NewRegDlg.h"

#include "account/LoginRules.h"
#include "account/SignInOutcome.h"
#include "account/UserSession.h"
#include "config/LangFile.h"
#include "config/OemConfig.h"
#include "config/Settings.h"
#include "diag/RunLog.h"
#include "identity/InstallUuid.h"
#include "identity/MachineCode.h"
#include "net/ApiReply.h"
#include "net/CCurlRequest.h"
#include "net/ServerApi.h"
#include "net/ServerHosts.h"
#include "platform/duilib/WinUser.h"
#include "ui/MessageDlg.h"
#include "ui/OpenUrl.h"
#include "ui/ShowLangMessage.h"
#include "web/WebBrowserDlg.h"

#include <memory>

namespace {

constexpr int kFadeMs = 100;
constexpr UINT kInformation = CMessageDlg::kStyleInformation;
constexpr UINT kError = CMessageDlg::kStyleError;
// The skinned message box's window style, as every client box has it.
constexpr DWORD kBoxStyle = 0x96C80000;
constexpr const char* kServerMessageCaption = "提示";
constexpr const char* kSendCodeLogLine = "*********************on SendCaptchaToPhone*********************\n";
constexpr const char* kSendButton = "btnSendVeryfyCode";

// The installation id, else the machine code: what the store knows this
// device by.
std::string DeviceIdentifier() {
    std::string id = ReadInstallUuid();
    return id.empty() ? MachineCode() : id;
}

// A store request on the UI thread, read through the reply envelope.
ApiReply FetchStoreReply(const std::string& url) {
    CCurlRequest request(false);
    return ApiReply::Read(request.GetWithToken(url));
}

}  // namespace

CNewRegDlg::CNewRegDlg() : CSkinDialog("dlg_reg", false), m_machineCode(DeviceIdentifier()) {}

CNewRegDlg::~CNewRegDlg() = default;

void CNewRegDlg::OnWindowInit() {
    ShowWindow("frame_protocol", ReadShowProtocol() != 0);
    // Whatever the skin says: nothing to log in with before a code was sent.
    EnableWindow("btnMobileLogin", false);
}

void CNewRegDlg::OnClick(DuiLib::TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    const std::string& name = msg.pSender->GetName();
    if (name == "btnClose")
        Close(1);
    else if (name == kSendButton)
        SendVerificationCode();
    else if (name == "btnMobileLogin")
        LoginWithCode();
    else if (name == "btnWeChat")
        SignInWithPage(LOGIN_WECHAT);
    else if (name == "btnQQ")
        SignInWithPage(LOGIN_QQ);
    else if (name == "btn_service_protocol")
        OpenUrl(m_hWnd, api::ServiceAgreementUrl());
    else if (name == "btn_secret_protocol")
        OpenUrl(m_hWnd, api::PrivacyPolicyUrl());
}

void CNewRegDlg::SendVerificationCode() {
    // Taken before any check: a refused press replaces the number too.
    m_phone = GetDlgItemTextW("userMobile");
    if (!IsMobileNumber(m_phone)) {
        ShowLangMessage("InvalidMobile", m_hWnd, kInformation, {});
        SetFocus("userMobile");
        return;
    }
    WriteRunLog(kSendCodeLogLine);
    const ApiReply reply = FetchStoreReply(api::SendCodeUrl(m_phone, api::UnixTimeNow()));
    // No reply, an error page or a reply without "code": not the store's
    // answer, so nothing is said.
    if (!reply.Parsed() || !reply.HasCode())
        return;
    if (reply.Succeeded()) {
        WriteRunLog("**code:1\n");
        ShowLangMessage("VerifySendByPhone", m_hWnd, kInformation, {});
        StartCountdown();
        return;
    }
    ShowServerMessage(reply.Message());
    WriteRunLog("**code:!1**msg:" + reply.Message() + "\n");
}

void CNewRegDlg::StartCountdown() {
    EnableWindow(kSendButton, false);
    m_countdown = kCountdownSeconds;
    m_timerId = ::IsWindow(m_hWnd) ? ::SetTimer(m_hWnd, kCountdownTimer, kCountdownPeriodMs, nullptr) : 0;
    if (m_timerId == 0) {
        // Without its timer the countdown would never end: the button
        // stays usable instead.
        m_countdown = 0;
        EnableWindow(kSendButton, true);
    }
    EnableWindow("btnMobileLogin", true);
}

void CNewRegDlg::OnCountdownTick() {
    // Each tick shows the seconds left before it, 120 on the first and 1 on
    // the last, each for its whole second; the tick after the last ends the
    // countdown, so that "1" is seen before the button comes back.
    if (m_countdown > 0) {
        SetDlgItemTextW(kSendButton, FormatCountdownText(LoadLangText("CpatchaValidTime"), m_countdown));
        --m_countdown;
        return;
    }
    StopCountdown();
    EnableWindow(kSendButton, true);
    SetDlgItemTextW(kSendButton, LoadLangText("SendCpatchaAgain"));
}

void CNewRegDlg::StopCountdown() {
    if (m_timerId != 0 && ::IsWindow(m_hWnd))
        ::KillTimer(m_hWnd, m_timerId);
    m_timerId = 0;
    m_countdown = 0;
}

void CNewRegDlg::LoginWithCode() {
    const std::string code = GetDlgItemTextW("verifyCode");
    if (!IsVerificationCode(code)) {
        ShowLangMessage("VerifyCodeIsEmpty", m_hWnd, kInformation, {});
        return;
    }
    // The number the code went to; a later press that was refused left
    // something else, which never goes into an address.
    if (!IsMobileNumber(m_phone)) {
        ShowLangMessage("InvalidMobile", m_hWnd, kInformation, {});
        SetFocus("userMobile");
        return;
    }
    const api::CommonValues values{ReadAdId(false), COemConfig::Instance().PartnerId(), m_machineCode};
    const ApiReply reply = FetchStoreReply(api::SmsLoginUrl(m_phone, code, values));
    if (!reply.Parsed() || !reply.HasCode())
        return;
    if (!reply.Succeeded()) {
        ShowServerMessage(reply.Message());
        return;
    }
    std::string token = reply.DataString("jwt");
    if (!IsUsableAccountToken(token)) {
        ShowLangMessage("AuthorizationFailed", m_hWnd, kError, {});
        return;
    }
    Finish(std::move(token), m_phone, LOGIN_CODE);
}

void CNewRegDlg::SignInWithPage(int kind) {
    const bool qq = kind == LOGIN_QQ;
    const api::CommonValues values{ReadAdId(false), COemConfig::Instance().PartnerId(), m_machineCode};
    auto browser =
        std::make_unique<CWebBrowserDlg>(qq ? api::QqSignInUrl(values) : api::WeChatSignInUrl(values));
    // The result counts only from the store's own pages.
    browser->SetResultOrigin(HostScheme(ServerHost::Store), StoreHost());
    if (browser->Create(m_hWnd, qq ? "QQ" : "WeChat", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0) == nullptr)
        return;
    browser->SetCaption(LoadLangText(qq ? "QQLogin" : "WeChatLogin"));
    browser->ShowModal();
    const std::string text = browser->LastPageMessage();
    // The page goes before anything is shown: nothing it still does can
    // reach the dialog any more.
    browser.reset();
    if (::IsWindow(m_hWnd))
        ApplySignInResult(text, kind);
}

void CNewRegDlg::ApplySignInResult(std::string_view text, int kind) {
    SignInOutcome outcome = ReadSignInOutcome(text);
    switch (outcome.action) {
        case SignInOutcome::Action::LoggedIn:
            Finish(std::move(outcome.token), std::move(outcome.name), kind);
            break;
        case SignInOutcome::Action::Refused:
            ShowLangMessage("AuthorizationFailed", m_hWnd, kError, {});
            break;
        case SignInOutcome::Action::StayOpen:
        case SignInOutcome::Action::Ignore:
            break;
    }
}

void CNewRegDlg::Finish(std::string token, std::string name, int kind) {
    m_accountToken = std::move(token);
    m_accountName = std::move(name);
    m_loginType = kind;
    Close(1);
}

void CNewRegDlg::ShowServerMessage(const std::string& text) {
    auto box = std::make_unique<CMessageDlg>(text, kServerMessageCaption, kError, false);
    if (box->Create(m_hWnd, "", kBoxStyle, 0, 0, 0, 0, 0) == nullptr)
        return;
    box->CenterWindow();
    box->ShowModal();
}

LRESULT CNewRegDlg::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
    FadeInOut(kFadeMs, AW_HIDE | AW_BLEND);
    ::DestroyWindow(m_hWnd);
    bHandled = true;
    return 0;
}

LRESULT CNewRegDlg::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    StopCountdown();
    bHandled = false;
    return 0;
}

LRESULT CNewRegDlg::OnTimer(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
    if (wParam != kCountdownTimer || m_timerId == 0) {
        bHandled = false;
        return 0;
    }
    OnCountdownTick();
    return 0;
}
