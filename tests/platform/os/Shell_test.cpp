// The shell's "open" with real processes: fake openers on a sandboxed PATH
// record what they were given.
#include "platform/os/Shell.h"
#include "platform/os/Event.h"
#include "platform/os/Text.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::intptr_t Open(const std::string& verb, const std::string& file, const std::string& params = {},
                   const std::string& dir = {}) {
    const std::u16string v = os::Utf8ToUtf16(verb);
    const std::u16string f = os::Utf8ToUtf16(file);
    const std::u16string p = os::Utf8ToUtf16(params);
    const std::u16string d = os::Utf8ToUtf16(dir);
    return reinterpret_cast<std::intptr_t>(ShellExecuteW(nullptr, verb.empty() ? nullptr : v.c_str(),
                                                         f.c_str(), params.empty() ? nullptr : p.c_str(),
                                                         dir.empty() ? nullptr : d.c_str(), 3));
}

class ShellTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        m_bin = sandbox.Root() + "/bin";
        m_out = sandbox.Root() + "/out";
        std::filesystem::create_directories(m_bin);
        std::filesystem::create_directories(m_out);
        // Only the fakes are on PATH: no real opener is ever started.
        sandbox.SetEnv("PATH", m_bin);
    }

    // A fake program that writes its arguments (one a line), its working
    // folder, its session and whether descriptor 50 reached it, to
    // out/<name>; the file appears complete (renamed into place).
    void Fake(const std::string& name) {
        const std::string path = m_bin + "/" + name;
        vtest::WriteFile(path,
                         "#!/bin/sh\n"
                         "f=" +
                             m_out + "/" + name +
                             "\n"
                             "for a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done > \"$f.tmp\"\n"
                             "printf 'pwd:%s\\n' \"$(pwd)\" >> \"$f.tmp\"\n"
                             "printf 'sid:%s\\n' \"$(/usr/bin/cut -d' ' -f6 /proc/$$/stat)\" >> \"$f.tmp\"\n"
                             "if [ -e /proc/$$/fd/50 ]; then echo leaked >> \"$f.tmp\"; fi\n"
                             "/bin/grep SigIgn /proc/$$/status >> \"$f.tmp\"\n"
                             "/bin/mv \"$f.tmp\" \"$f\"\n");
        ::chmod(path.c_str(), 0755);
    }
    std::string Output(const std::string& name) {
        const std::string path = m_out + "/" + name;
        if (!vtest::WaitFor([&] { return vtest::Exists(path); }))
            return {};
        return vtest::ReadFile(path);
    }

    std::string m_bin;
    std::string m_out;
};

TEST_F(ShellTest, OpenHandsTheAddressToTheDesktopOpenerDetached) {
    Fake("xdg-open");
    // The client ignores SIGPIPE; what it starts must not inherit that.
    ::signal(SIGPIPE, SIG_IGN);
    // A descriptor of ours without close-on-exec must not reach the opener.
    const int probe = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(::dup2(probe, 50), 0);
    EXPECT_GT(Open("open", "http://127.0.0.1:9/a b?x=1&y=\"2\""), 32);
    ::close(50);
    ::close(probe);
    const std::string out = Output("xdg-open");
    EXPECT_NE(out.find("arg:http://127.0.0.1:9/a b?x=1&y=\"2\"\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("leaked"), std::string::npos) << out;
    // No standard signal ignored (glibc's internal 32 and 33 stay as whoever started us left them).
    const std::size_t mask = out.find("SigIgn:\t");
    ASSERT_NE(mask, std::string::npos) << out;
    EXPECT_EQ(std::stoull(out.substr(mask + 8, 16), nullptr, 16) & 0x7FFFFFFFull, 0u) << out;
    EXPECT_EQ(out.find("sid:" + std::to_string(::getsid(0)) + "\n"), std::string::npos) << out;
    // Not our child: nothing is left to reap.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    // No verb means "open", and the verb's letter case does not matter.
    std::filesystem::remove(m_out + "/xdg-open");
    EXPECT_GT(Open("", "http://127.0.0.1:9/"), 32);
    EXPECT_NE(Output("xdg-open").find("arg:http://127.0.0.1:9/\n"), std::string::npos);
    std::filesystem::remove(m_out + "/xdg-open");
    EXPECT_GT(Open("OPEN", "http://127.0.0.1:9/"), 32);
    EXPECT_FALSE(Output("xdg-open").empty());
}

TEST_F(ShellTest, GioOpensWhenThereIsNoXdgOpenAndNothingAnswersAtMost32) {
    EXPECT_LE(Open("open", "http://127.0.0.1:9/"), 32);
    Fake("gio");
    EXPECT_GT(Open("open", "http://127.0.0.1:9/"), 32);
    EXPECT_NE(Output("gio").find("arg:open\narg:http://127.0.0.1:9/\n"), std::string::npos);
}

TEST_F(ShellTest, RefusedRequestsStartNothing) {
    Fake("xdg-open");
    EXPECT_EQ(Open("print", "http://127.0.0.1:9/"), SE_ERR_NOASSOC);
    EXPECT_EQ(Open("edit", "/tmp"), SE_ERR_NOASSOC);
    EXPECT_LE(Open("open", ""), 32);
    // An option-looking target would be read as an option by the opener.
    EXPECT_LE(Open("open", "--help"), 32);
    // A working folder that does not exist.
    EXPECT_LE(Open("open", "http://127.0.0.1:9/", {}, sandbox.Root() + "/no-such-folder"), 32);
    EXPECT_FALSE(vtest::Exists(m_out + "/xdg-open"));
}

TEST_F(ShellTest, OpeningAProgramRunsItWithTheParametersInTheFolder) {
    Fake("x-www-browser");
    EXPECT_GT(Open("open", "x-www-browser", "\"http://127.0.0.1:9/a b\" second", sandbox.Home()), 32);
    const std::string out = Output("x-www-browser");
    EXPECT_NE(out.find("arg:http://127.0.0.1:9/a b\narg:second\npwd:" + sandbox.Home() + "\n"),
              std::string::npos)
        << out;
    // By absolute path too.
    std::filesystem::remove(m_out + "/x-www-browser");
    EXPECT_GT(Open("open", m_bin + "/x-www-browser"), 32);
    EXPECT_FALSE(Output("x-www-browser").empty());
}

TEST_F(ShellTest, PathIsSearchedInOrderAndAnEmptyEntryIsTheCurrentFolder) {
    Fake("x-www-browser");
    const std::string none = sandbox.Root() + "/none";
    // Each lookup runs in a child that starts in the fakes' folder, so the
    // test's own current folder stays as it is.
    for (const std::string& path : {none + ":" + m_bin, ":" + none, none + "::" + none, none + ":"}) {
        sandbox.SetEnv("PATH", path);
        const int started = vtest::RunInChild([&] {
            return ::chdir(m_bin.c_str()) == 0 && os::StartProgramDetached("x-www-browser", {}) ? 0 : 1;
        });
        EXPECT_EQ(started, 0) << path;
        EXPECT_FALSE(Output("x-www-browser").empty()) << path;
        std::filesystem::remove(m_out + "/x-www-browser");
    }
    // Without an empty entry the current folder is not searched.
    sandbox.SetEnv("PATH", none);
    const int started = vtest::RunInChild(
        [&] { return ::chdir(m_bin.c_str()) == 0 && os::StartProgramDetached("x-www-browser", {}) ? 0 : 1; });
    EXPECT_EQ(started, 1);
}

TEST(SplitParametersTest, SpacesSeparateAndQuotesGroup) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(os::SplitParameters(""), Args{});
    EXPECT_EQ(os::SplitParameters("  \t "), Args{});
    EXPECT_EQ(os::SplitParameters("/S  /D=x"), (Args{"/S", "/D=x"}));
    EXPECT_EQ(os::SplitParameters("\"a b\"c \"\""), (Args{"a bc", ""}));
    // An open quote runs to the end.
    EXPECT_EQ(os::SplitParameters("x \"y z"), (Args{"x", "y z"}));
}

TEST_F(ShellTest, StartingAProgramPassesEachArgumentAsGiven) {
    Fake("x-www-browser");
    // Quotes, spaces and dashes: each element is one argument, untouched.
    const std::vector<std::string> args{"http://127.0.0.1:9/a\" --x \"b", "-", "--flag", ""};
    EXPECT_TRUE(os::StartProgramDetached("x-www-browser", args));
    EXPECT_NE(
        Output("x-www-browser").find("arg:http://127.0.0.1:9/a\" --x \"b\narg:-\narg:--flag\narg:\npwd:"),
        std::string::npos);
    std::filesystem::remove(m_out + "/x-www-browser");
    EXPECT_TRUE(os::StartProgramDetached(m_bin + "/x-www-browser", {}));
    EXPECT_FALSE(Output("x-www-browser").empty());
    // Neither on PATH nor an executable file.
    EXPECT_FALSE(os::StartProgramDetached("sensible-browser", args));
    EXPECT_FALSE(os::StartProgramDetached(m_out, args));
    EXPECT_FALSE(os::StartProgramDetached("", args));
}

// Documents open through the desktop's opener only, and its verdict counts.
class OpenDocumentTest : public ShellTest {
  protected:
    // A fake opener that records its arguments in out/<name>, then runs
    // `then` (its exit, say).
    void FakeOpener(const std::string& name, const std::string& then) {
        const std::string path = m_bin + "/" + name;
        vtest::WriteFile(path, "#!/bin/sh\nf=" + m_out + "/" + name +
                                   "\nfor a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done > \"$f.tmp\"\n"
                                   "/bin/mv \"$f.tmp\" \"$f\"\n" +
                                   then + "\n");
        ::chmod(path.c_str(), 0755);
    }
    // A document that is also an executable program: running it would leave
    // a mark.
    std::string ExecutableDocument() {
        const std::string path = sandbox.Root() + "/模板 一.pptx";
        vtest::WriteFile(path, "#!/bin/sh\n: > " + m_out + "/ran\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }
};

TEST_F(OpenDocumentTest, TheOpenersExitDecidesWhetherTheDocumentOpened) {
    struct Case {
        std::string then;
        os::OpenOutcome outcome;
    };
    // xdg-open: 0 done, 3 no tool for the type, 4 the action failed.
    const std::vector<Case> cases{{"exit 0", os::OpenOutcome::kOpened},
                                  {"exit 3", os::OpenOutcome::kFailed},
                                  {"exit 4", os::OpenOutcome::kFailed},
                                  {"kill -9 $$", os::OpenOutcome::kFailed}};
    const std::string document = ExecutableDocument();
    for (const Case& c : cases) {
        FakeOpener("xdg-open", c.then);
        EXPECT_EQ(os::OpenDocument(document), c.outcome) << c.then;
        EXPECT_EQ(vtest::ReadFile(m_out + "/xdg-open"), "arg:" + document + "\n") << c.then;
        std::filesystem::remove(m_out + "/xdg-open");
    }
    // Whatever its mode bits, the document itself never ran.
    EXPECT_FALSE(vtest::Exists(m_out + "/ran"));
}

TEST_F(OpenDocumentTest, AnOpenerStillRunningAtTheEndOfTheWaitOrWhenStoppedCountsAsOpened) {
    // The opener waits for the application it started, until released.
    FakeOpener("xdg-open", "i=0; while [ ! -e " + m_out +
                               "/release ] && [ $i -lt 600 ]; do /bin/sleep 0.05; "
                               "i=$((i+1)); done; exit 4");
    const std::string document = ExecutableDocument();
    EXPECT_EQ(os::OpenDocument(document, nullptr, std::chrono::milliseconds(200)), os::OpenOutcome::kOpened);
    const os::Event stop(true);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(os::OpenDocument(document, &stop, std::chrono::seconds(60)), os::OpenOutcome::kOpened);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(30));
    vtest::WriteFile(m_out + "/release", "");
}

TEST_F(OpenDocumentTest, GioOpensWithoutXdgOpenAndNothingElseIsEverStarted) {
    const std::string document = ExecutableDocument();
    EXPECT_EQ(os::OpenDocument(document), os::OpenOutcome::kNotStarted);
    FakeOpener("gio", "exit 0");
    EXPECT_EQ(os::OpenDocument(document), os::OpenOutcome::kOpened);
    EXPECT_EQ(vtest::ReadFile(m_out + "/gio"), "arg:open\narg:" + document + "\n");
    std::filesystem::remove(m_out + "/gio");
    // Only absolute paths: a relative one or an option-looking one reaches
    // no opener.
    for (const std::string& path : {std::string(), std::string("模板.pptx"), std::string("--help")})
        EXPECT_EQ(os::OpenDocument(path), os::OpenOutcome::kNotStarted) << path;
    EXPECT_FALSE(vtest::Exists(m_out + "/gio"));
    EXPECT_FALSE(vtest::Exists(m_out + "/ran"));
}

}  // namespace
