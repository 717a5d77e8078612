#include "account/UserInfoWorker.h"

#include <utility>

#include "net/CCurlRequest.h"
#include "net/ServerApi.h"

std::optional<FetchedUserInfo> FetchUserInfo(const std::string& token, const std::string& picturePath,
                                             const os::Event* stop) {
    CCurlRequest request(false);
    request.SetToken(token);
    request.SetStopEvent(stop);
    std::optional<UserInfoReply> values = ReadUserInfoReply(request.PostWithToken(api::UserInfoUrl()));
    if (!values) {
        return std::nullopt;
    }
    FetchedUserInfo fetched;
    if (!values->pictureUrl.empty()) {
        fetched.picture = HeadPicture::Fetch(values->pictureUrl, picturePath, stop);
    }
    fetched.values = std::move(*values);
    return fetched;
}

bool ApplyUserInfo(UserSession& session, const std::string& token, FetchedUserInfo& fetched) {
    const bool applied = session.UpdateIfToken(token, [&](UserSessionValues& values) {
        values.userId = fetched.values.userId;
        values.stopTime = fetched.values.stopTime;
        values.startTime = fetched.values.startTime;
        values.inviteCode = fetched.values.inviteCode;
        values.isMember = fetched.values.isMember;
    });
    if (applied && fetched.picture != nullptr) {
        fetched.picture->PutInPlace();
    }
    // A picture not put in place goes with `fetched`.
    return applied;
}

UserInfoWorker::UserInfoWorker(std::string picturePath, UserSession& session)
    : m_picturePath(std::move(picturePath)), m_session(session) {}

UserInfoWorker::~UserInfoWorker() = default;

bool UserInfoWorker::Start(HWND owner, OnDone onDone) {
    if (owner == nullptr) {
        return false;
    }
    std::string token = m_session.SessionToken();
    if (token.empty()) {
        return false;
    }
    // The earlier job's handle goes first: its body is told to stop and
    // nothing of it is delivered any more.
    m_job = std::make_unique<DuiLib::BackgroundJob>();
    // Runs on the worker thread: the body owns copies of what it uses.
    auto work = [token, picturePath = m_picturePath](DuiLib::BackgroundJob::Context& job) {
        return FetchUserInfo(token, picturePath, job.StopEvent());
    };
    // Runs on the UI thread, only while this worker (its job) and the owner
    // live; the session outlives both.
    auto apply = [&session = m_session, token,
                  onDone = std::move(onDone)](std::optional<FetchedUserInfo> fetched) {
        const bool applied = fetched && ApplyUserInfo(session, token, *fetched);
        if (onDone) {
            onDone(applied);
        }
    };
    if (!m_job->Start(std::move(work), std::move(apply), {.window = owner})) {
        m_job.reset();
        return false;
    }
    return true;
}

void UserInfoWorker::Stop() {
    m_job.reset();
}

bool UserInfoWorker::StopAndWait(std::chrono::milliseconds limit) {
    if (m_job == nullptr) {
        return true;
    }
    const bool ended = m_job->StopAndWait(limit);
    m_job.reset();
    return ended;
}

bool UserInfoWorker::IsRunning() const {
    return m_job != nullptr && m_job->IsRunning();
}

bool UserInfoWorker::WaitFor(std::chrono::milliseconds limit) const {
    return m_job == nullptr || m_job->WaitFor(limit);
}
