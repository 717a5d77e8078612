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
#include "platform/duilib/BackgroundJob.h"
#include "platform/duilib/WinUser.h"
#include "ui/MessageDlg.h"
#include "ui/OpenUrl.h"
#include "ui/ShowLangMessage.h"
#include "web/WebBrowserDlg.h"

#include <chrono>
#include <exception>
#include <memory>
#include <utility>

namespace {

constexpr int kFadeMs = 100;
constexpr UINT kInformation = CMessageDlg::kStyleInformation;
constexpr UINT kError = CMessageDlg::kStyleError;
// The skinned message box's window style, as every client box has it.
constexpr DWORD kBoxStyle = 0x96C80000;
constexpr const char* kServerMessageCaption = "提示";
constexpr const char* kSendCodeLogLine = "*********************on SendCaptchaToPhone*********************\n";
constexpr const char* kSendButton = "btnSendVeryfyCode";
constexpr const char* kLoginButton = "btnMobileLogin";
// How long the dialog's end waits for a request it stopped; its transfer
// ends at once, so this is only a bound.
constexpr std::chrono::milliseconds kRequestEndLimit{1000};

// The installation id, else the machine code: what the store knows this
// device by.
std::string DeviceIdentifier() {
    std::string id = ReadInstallUuid();
    return id.empty() ? MachineCode() : id;
}

// A store request, read through the reply envelope; `stop` ends its
// transfer at once. Worker thread. Whatever goes wrong is no reply: the
// dialog must always hear back to give its buttons back.
ApiReply FetchStoreReply(const std::string& url, const os::Event* stop) {
    try {
        CCurlRequest request(false);
        request.SetStopEvent(stop);
        return ApiReply::Read(request.GetWithToken(url));
    } catch (const std::exception&) {
        return ApiReply{};
    }
}

}  // namespace

CNewRegDlg::CNewRegDlg() : CSkinDialog("dlg_reg", false), m_machineCode(DeviceIdentifier()) {}

CNewRegDlg::~CNewRegDlg() {
    // Usually stopped already with the window; waiting for the body to end
    // lets its thread be joined instead of let go.
    if (m_request != nullptr)
        m_request->StopAndWait(kRequestEndLimit);
}

void CNewRegDlg::OnWindowInit() {
    ShowWindow("frame_protocol", ReadShowProtocol() != 0);
    // Whatever the skin says: nothing to log in with before a code was sent.
    UpdateRequestButtons();
}

void CNewRegDlg::OnClick(DuiLib::TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    const std::string& name = msg.pSender->GetName();
    if (name == "btnClose")
        Close(1);
    else if (name == kSendButton)
        SendVerificationCode();
    else if (name == kLoginButton)
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
    // One request at a time, whatever reaches this (the button is disabled).
    if (IsRequestRunning())
        return;
    // Taken before any check: a refused press replaces the number too.
    m_phone = GetDlgItemTextW("userMobile");
    if (!IsMobileNumber(m_phone)) {
        ShowLangMessage("InvalidMobile", m_hWnd, kInformation, {});
        SetFocus("userMobile");
        return;
    }
    WriteRunLog(kSendCodeLogLine);
    StartRequest(Request::SendCode, api::SendCodeUrl(m_phone, api::UnixTimeNow()));
}

void CNewRegDlg::OnCodeAnswer(const ApiReply& reply) {
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
    m_codeSent = true;
    m_countdown = kCountdownSeconds;
    m_timerId = ::IsWindow(m_hWnd) ? ::SetTimer(m_hWnd, kCountdownTimer, kCountdownPeriodMs, nullptr) : 0;
    // Without its timer the countdown would never end: the button stays
    // usable instead.
    if (m_timerId == 0)
        m_countdown = 0;
    UpdateRequestButtons();
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
    UpdateRequestButtons();
    SetDlgItemTextW(kSendButton, LoadLangText("SendCpatchaAgain"));
}

void CNewRegDlg::StopCountdown() {
    if (m_timerId != 0 && ::IsWindow(m_hWnd))
        ::KillTimer(m_hWnd, m_timerId);
    m_timerId = 0;
    m_countdown = 0;
}

void CNewRegDlg::LoginWithCode() {
    if (IsRequestRunning())
        return;
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
    StartRequest(Request::Login, api::SmsLoginUrl(m_phone, code, values));
}

void CNewRegDlg::OnLoginAnswer(const ApiReply& reply) {
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

void CNewRegDlg::StartRequest(Request kind, std::string url) {
    // A fresh handle: an abandoned request may still be ending on the old
    // one, which goes now (nothing of it is delivered any more).
    m_request = std::make_unique<DuiLib::BackgroundJob>();
    // Runs on the worker thread; owns its address.
    auto fetch = [url = std::move(url)](DuiLib::BackgroundJob::Context& job) {
        return FetchStoreReply(url, job.StopEvent());
    };
    // Runs on the UI thread, only while the handle (so this dialog) and the
    // dialog's window live.
    auto answer = [this, kind](const ApiReply& reply) { OnAnswer(kind, reply); };
    m_pending = kind;
    UpdateRequestButtons();
    if (!m_request->Start(std::move(fetch), std::move(answer), {.window = m_hWnd})) {
        // No thread: as a request without a reply, nothing is said.
        m_pending = Request::None;
        UpdateRequestButtons();
    }
}

void CNewRegDlg::OnAnswer(Request kind, const ApiReply& reply) {
    // An abandoned request's answer; a later request has a handle of its
    // own, so this one cannot be mistaken for it.
    if (m_pending != kind)
        return;
    m_pending = Request::None;
    if (kind == Request::SendCode)
        OnCodeAnswer(reply);
    else
        OnLoginAnswer(reply);
    // Handled (any box answered): the buttons come back, unless the
    // dialog ended meanwhile.
    if (::IsWindow(m_hWnd))
        UpdateRequestButtons();
}

void CNewRegDlg::AbandonRequest() {
    if (m_request != nullptr)
        m_request->RequestStop();
    m_pending = Request::None;
}

// No request starts while one runs; asking for another code also waits
// for the countdown, and logging in needs a code sent.
void CNewRegDlg::UpdateRequestButtons() {
    const bool idle = m_pending == Request::None;
    EnableWindow(kSendButton, idle && m_timerId == 0);
    EnableWindow(kLoginButton, idle && m_codeSent);
}

void CNewRegDlg::SignInWithPage(int kind) {
    // The user chose another way: a request still running is given up, so
    // that its answer cannot arrive under the browser dialog.
    AbandonRequest();
    UpdateRequestButtons();
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
    // Its answer could reach no window any more; its transfer ends now.
    AbandonRequest();
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
