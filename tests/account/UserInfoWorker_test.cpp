// The user-information worker against the demo store: what a fetch brings,
// what it leaves alone when the reply or the picture fails, and that a fetch
// ending after a logout or another login changes nothing. Every late fetch
// is held by a stalled reply of the store, which only the test releases, so
// the order of events is the test's own.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "UserInfoFixture.h"

namespace {

using userinfotest::kMemberPhone;
using userinfotest::kPlainPhone;
using userinfotest::UserInfoStoreTest;
using userinfotest::UserInfoTest;

constexpr const char* kUserInfoPath = "/api/user/userinfo.html";
constexpr const char* kOldPicture = "the picture of an earlier fetch";
// A stopped fetch ends at once; one that is not stopped waits for the
// request's limit of 20 seconds.
constexpr std::chrono::milliseconds kWellWithinTheLimit{10000};

Json::Value Stall(int times = 0) {
    Json::Value fault(Json::objectValue);
    fault["stall"] = true;
    if (times > 0)
        fault["times"] = times;
    return fault;
}

std::string HeaderOf(const Json::Value& request, const std::string& name) {
    for (const Json::Value& pair : request["headers"]) {
        if (pair[0].asString() == name)
            return pair[1].asString();
    }
    return "(none)";
}

TEST_F(UserInfoStoreTest, TheMembersFetchBringsNumberPeriodInviteCodeAndPicture) {
    const std::string token = LogIn(kMemberPhone);
    ASSERT_TRUE(StartFetch());
    EXPECT_EQ(WaitForFetches(1), std::vector<bool>{true});
    const UserSessionValues v = session.Snapshot();
    EXPECT_EQ(v.userId, "10001");
    EXPECT_EQ(v.startTime, "2026-01-01");
    EXPECT_EQ(v.stopTime, "2027-12-31");
    EXPECT_EQ(v.inviteCode, "VT8K2M");
    EXPECT_TRUE(v.isMember);
    EXPECT_EQ(vtest::ReadFile(PicturePath()), StorePicture(10001));
    // Nothing of the download is left beside the picture.
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"pic_head.jpg"});
    // The request carried the login's token, header and body alike.
    const auto requests = UserInfoRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["method"].asString(), "POST");
    EXPECT_EQ(HeaderOf(requests[0], "X-token"), token);
    EXPECT_EQ(requests[0]["body"].asString(), "X-token:" + token);

    // The plain user's fetch clears the membership again.
    LogIn(kPlainPhone);
    ASSERT_TRUE(StartFetch());
    EXPECT_EQ(WaitForFetches(2), (std::vector<bool>{true, true}));
    EXPECT_EQ(session.Snapshot().userId, "10002");
    EXPECT_FALSE(session.Snapshot().isMember);
    EXPECT_EQ(session.Snapshot().stopTime, "");
}

TEST_F(UserInfoStoreTest, RefusedOrBrokenRepliesChangeNothing) {
    vtest::WriteFile(PicturePath(), kOldPicture);
    struct Case {
        const char* what;
        Json::Value fault;
    };
    Json::Value errorPage(Json::objectValue);
    errorPage["status"] = 502;
    errorPage["body"] = "<html><title>502 Bad Gateway</title></html>";
    Json::Value cut(Json::objectValue);
    cut["truncate"] = 12;
    Json::Value refusal(Json::objectValue);
    refusal["body"] = R"({"code":0,"msg":"请先登录"})";
    Json::Value empty(Json::objectValue);
    empty["body"] = "";
    std::size_t started = 0;
    for (const Case& c : {Case{"an error page", errorPage}, Case{"a cut reply", cut},
                          Case{"a refusal", refusal}, Case{"an empty reply", empty}}) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(store.ClearFaults());
        ASSERT_TRUE(SetStoreFault(kUserInfoPath, c.fault));
        LogIn(kMemberPhone);
        ASSERT_TRUE(StartFetch());
        const std::vector<bool> done = WaitForFetches(++started);
        ASSERT_EQ(done.size(), started);
        EXPECT_FALSE(done.back());
        EXPECT_EQ(session.Snapshot().userId, "");
        EXPECT_FALSE(session.Snapshot().isMember);
        EXPECT_EQ(vtest::ReadFile(PicturePath()), kOldPicture);
    }
    // A token the store does not know is refused the same way.
    ASSERT_TRUE(store.ClearFaults());
    SaveLogin(session, "not-a-token-of-the-store", "13700137000", LOGIN_CODE);
    ASSERT_TRUE(StartFetch());
    EXPECT_FALSE(WaitForFetches(++started).back());
    EXPECT_EQ(session.Snapshot().userId, "");
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"pic_head.jpg"});
}

TEST_F(UserInfoStoreTest, APictureThatCannotBeFetchedKeepsTheOldOne) {
    vtest::WriteFile(PicturePath(), kOldPicture);
    const std::string tooLarge(HeadPicture::kSizeCap + 1, 'x');
    const std::string largest(HeadPicture::kSizeCap, 'y');
    Json::Value cut(Json::objectValue);
    cut["truncate"] = 100;
    Json::Value missing(Json::objectValue);
    missing["status"] = 404;
    struct Case {
        const char* what;
        std::string served;    // the user's picture on the store
        Json::Value fault;     // on the picture's path
        std::string expected;  // pic_head.jpg afterwards
    };
    const std::string picturePath = "/static/head/10001.jpg";
    std::size_t started = 0;
    for (const Case& c :
         {Case{"more than 4 MiB", tooLarge, {}, kOldPicture}, Case{"cut short", largest, cut, kOldPicture},
          Case{"not found", largest, missing, kOldPicture}, Case{"exactly 4 MiB", largest, {}, largest}}) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(store.ClearFaults());
        ASSERT_TRUE(store.PutFile("store", picturePath, c.served));
        if (!c.fault.isNull()) {
            ASSERT_TRUE(SetStoreFault(picturePath, c.fault));
        }
        LogIn(kMemberPhone);
        ASSERT_TRUE(StartFetch());
        // The user's values arrive all the same.
        EXPECT_TRUE(WaitForFetches(++started).back());
        EXPECT_EQ(session.Snapshot().userId, "10001");
        EXPECT_TRUE(vtest::ReadFile(PicturePath()) == c.expected);
        EXPECT_EQ(DataFiles(), std::vector<std::string>{"pic_head.jpg"});
    }
}

TEST_F(UserInfoStoreTest, APictureAddressOfAnotherKindIsNeverFetched) {
    const std::string secret = sandbox.Root() + "/secret.txt";
    vtest::WriteFile(secret, "not a picture");
    vtest::WriteFile(PicturePath(), kOldPicture);
    for (const std::string& address :
         std::vector<std::string>{"file://" + secret, "ftp://127.0.0.1/head.jpg", "/static/head.jpg"}) {
        SCOPED_TRACE(address);
        Json::Value data(Json::objectValue);
        data["id"] = 7;
        data["head_pic"] = address;
        Json::Value reply(Json::objectValue);
        reply["code"] = 1;
        reply["data"] = data;
        Json::Value fault(Json::objectValue);
        fault["body"] = reply.toStyledString();
        ASSERT_TRUE(store.ClearFaults());
        ASSERT_TRUE(SetStoreFault(kUserInfoPath, fault));
        const std::size_t before = store.Requests("store").size();
        LogIn(kMemberPhone);
        ASSERT_TRUE(StartFetch());
        EXPECT_TRUE(WaitForFetches(1).back());
        ui.Run([this] { fetches.clear(); });
        EXPECT_EQ(session.Snapshot().userId, "7");
        EXPECT_EQ(vtest::ReadFile(PicturePath()), kOldPicture);
        // Only the user-information call went out.
        EXPECT_EQ(store.Requests("store").size(), before + 1);
    }
}

TEST_F(UserInfoStoreTest, APlantedLinkAtThePicturePathIsReplacedNotWrittenThrough) {
    const std::string victim = sandbox.Root() + "/victim.txt";
    vtest::WriteFile(victim, "someone else's file");
    ASSERT_EQ(::symlink(victim.c_str(), PicturePath().c_str()), 0);
    LogIn(kMemberPhone);
    ASSERT_TRUE(StartFetch());
    EXPECT_EQ(WaitForFetches(1), std::vector<bool>{true});
    EXPECT_EQ(vtest::ReadFile(victim), "someone else's file");
    struct stat st {};
    ASSERT_EQ(::lstat(PicturePath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(vtest::ReadFile(PicturePath()), StorePicture(10001));

    // A folder there is never replaced; the values still arrive and the
    // fetched picture does not stay behind.
    ASSERT_EQ(::unlink(PicturePath().c_str()), 0);
    std::filesystem::create_directories(PicturePath());
    LogIn(kPlainPhone);
    ASSERT_TRUE(StartFetch());
    EXPECT_EQ(WaitForFetches(2), (std::vector<bool>{true, true}));
    EXPECT_EQ(session.Snapshot().userId, "10002");
    EXPECT_TRUE(std::filesystem::is_directory(PicturePath()));
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"pic_head.jpg"});
}

TEST_F(UserInfoStoreTest, AFetchEndingAfterLogoutChangesNothing) {
    vtest::WriteFile(PicturePath(), kOldPicture);
    ASSERT_TRUE(SetStoreFault(kUserInfoPath, Stall()));
    LogIn(kMemberPhone);
    ASSERT_TRUE(StartFetch());
    ASSERT_TRUE(WaitForUserInfoRequests(1));
    // Logged out while the reply is held (the worker itself is left running).
    ForgetLogin(session);
    ASSERT_TRUE(store.ClearFaults());
    EXPECT_EQ(WaitForFetches(1), std::vector<bool>{false});
    const UserSessionValues v = session.Snapshot();
    EXPECT_EQ(v.userId, "");
    EXPECT_EQ(v.stopTime, "");
    EXPECT_FALSE(v.isMember);
    EXPECT_EQ(vtest::ReadFile(PicturePath()), kOldPicture);
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"pic_head.jpg"});
}

TEST_F(UserInfoStoreTest, AFetchEndingAfterAnotherLoginChangesNothingAndTheNewOnesFetchApplies) {
    vtest::WriteFile(PicturePath(), kOldPicture);
    ASSERT_TRUE(SetStoreFault(kUserInfoPath, Stall(1)));
    LogIn(kMemberPhone);
    ASSERT_TRUE(StartFetch());
    ASSERT_TRUE(WaitForUserInfoRequests(1));
    const std::string plainToken = LogIn(kPlainPhone);
    ASSERT_TRUE(store.ClearFaults());
    EXPECT_EQ(WaitForFetches(1), std::vector<bool>{false});
    UserSessionValues v = session.Snapshot();
    EXPECT_EQ(v.sessionToken, plainToken);
    EXPECT_EQ(v.userId, "");
    EXPECT_FALSE(v.isMember);
    EXPECT_EQ(vtest::ReadFile(PicturePath()), kOldPicture);

    ASSERT_TRUE(StartFetch());
    EXPECT_EQ(WaitForFetches(2), (std::vector<bool>{false, true}));
    v = session.Snapshot();
    EXPECT_EQ(v.userId, "10002");
    EXPECT_EQ(vtest::ReadFile(PicturePath()), StorePicture(10002));
}

TEST_F(UserInfoStoreTest, ANewStartLetsTheEarlierFetchGoAndStopsItsTransfer) {
    ASSERT_TRUE(SetStoreFault(kUserInfoPath, Stall(1)));
    LogIn(kMemberPhone);
    ASSERT_TRUE(StartFetch());
    ASSERT_TRUE(WaitForUserInfoRequests(1));
    LogIn(kPlainPhone);
    ASSERT_TRUE(StartFetch());
    EXPECT_EQ(WaitForFetches(1), std::vector<bool>{true});
    // The earlier fetch's reply is still held by the store: only its stop
    // event can end it before the request's own limit (20 s).
    EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }, kWellWithinTheLimit));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(ui.Call<std::size_t>([this] { return fetches.size(); }), 1u);
    EXPECT_EQ(session.Snapshot().userId, "10002");
    EXPECT_EQ(UserInfoRequests().size(), 2u);
}

TEST_F(UserInfoStoreTest, LogoutFromThePopupStopsTheRunningFetch) {
    ASSERT_TRUE(SetStoreFault(kUserInfoPath, Stall()));
    LogIn(kMemberPhone);
    ASSERT_TRUE(StartFetch());
    ASSERT_TRUE(WaitForUserInfoRequests(1));
    const HWND popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(automation.Click(popup, "UserInfoUnLogin"));
    EXPECT_FALSE(session.IsLoggedIn());
    // While the store still holds the reply.
    EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }, kWellWithinTheLimit));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_TRUE(ui.Call<std::size_t>([this] { return fetches.size(); }) == 0u);
}

TEST_F(UserInfoStoreTest, NothingIsAppliedOnceTheMainWindowIsGone) {
    ASSERT_TRUE(SetStoreFault(kUserInfoPath, Stall()));
    LogIn(kMemberPhone);
    ASSERT_TRUE(StartFetch());
    ASSERT_TRUE(WaitForUserInfoRequests(1));
    ui.Run([this] { ::DestroyWindow(main->GetHWND()); });
    ASSERT_TRUE(store.ClearFaults());
    EXPECT_TRUE(WaitForWorkersToEnd());
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_TRUE(ui.Call<std::size_t>([this] { return fetches.size(); }) == 0u);
    EXPECT_EQ(session.Snapshot().userId, "");
}

TEST_F(UserInfoTest, NothingStartsWithoutAnOwnerOrALogin) {
    EXPECT_FALSE(StartFetch());  // nobody logged in
    SaveLogin(session, "tok", "13800138000", LOGIN_CODE);
    EXPECT_FALSE(ui.Call<bool>([this] { return worker->Start(nullptr); }).value_or(true));
    EXPECT_EQ(os::WorkerThread::RunningCount(), 0);
}

}  // namespace
