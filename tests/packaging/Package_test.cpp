// The Debian package as built: unpacked with dpkg-deb into the sandbox, its
// layout checked against what the program takes from its folder, validated
// by the desktop's and Debian's own checkers, its maintainer scripts run
// against the sandbox's machine hive, and the program started from it.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>

#include <fcntl.h>

#include <filesystem>
#include <regex>

#include "config/OemConfig.h"
#include "config/Settings.h"
#include "platform/os/Profile.h"
#include "platform/os/Registry.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {

const std::string kProgramDir = "/usr/lib/vanto";
const std::string kMachineDir = "/var/lib/vanto";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Width and height from a PNG's header; 0 x 0 when it is not a PNG.
std::pair<unsigned, unsigned> PngSize(const std::string& bytes) {
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return {0, 0};
    auto be32 = [&](std::size_t at) {
        unsigned v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
        return v;
    };
    return {be32(16), be32(20)};
}

class PackageTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        sandbox.SetEnv("VANTO_BACKEND", "headless");
        ASSERT_TRUE(store.Started());
        ASSERT_EQ(vtest::RunProcess({"dpkg-deb", "-x", VANTO_DEB_FILE, m_root}).exitCode, 0);
        ASSERT_EQ(vtest::RunProcess({"dpkg-deb", "-e", VANTO_DEB_FILE, m_control}).exitCode, 0);
        fs::create_directories(m_work);
    }

    std::string Installed(const std::string& path) const { return m_root + path; }

    // Runs a maintainer script of the package with its installed paths moved
    // into the unpacked root and the sandbox's machine folder.
    vtest::ProcessResult RunScript(const std::string& name, const std::string& argument) const {
        std::string script = vtest::ReadFile(m_control + "/" + name);
        script = Replaced(script, kProgramDir, Installed(kProgramDir));
        script = Replaced(script, kMachineDir, sandbox.MachineDir());
        const std::string path = sandbox.Root() + "/" + name;
        vtest::WriteFile(path, script);
        return vtest::RunProcess({"/bin/sh", "-e", path, argument}, m_work);
    }

    static std::optional<std::string> Machine(std::string_view value,
                                              std::string_view key = settings::kClientKey) {
        return os::RegGetString(HKEY_LOCAL_MACHINE, key, value, settings::kDefaultReadBuffer);
    }

    vtest::DemoStore store{sandbox};
    std::string m_root = sandbox.Root() + "/root";
    std::string m_control = sandbox.Root() + "/control";
    std::string m_work = sandbox.Root() + "/work";
};

TEST_F(PackageTest, LaysOutTheProgramFolderAndTheDesktopFiles) {
    enum Kind { Program, File };
    const std::pair<std::string, Kind> entries[] = {
        {"/usr/lib/vanto/vanto", Program},
        {"/usr/lib/vanto/vanto-crashbox", Program},
        {"/usr/lib/vanto/vanto-reg", Program},
        {"/usr/lib/vanto/node.so", File},
        {"/usr/lib/vanto/oem.ini", File},
        {"/usr/lib/vanto/language/cn.dat", File},
        {"/usr/lib/vanto/language/tw.dat", File},
        {"/usr/share/applications/vanto.desktop", File},
        {"/usr/share/metainfo/" VANTO_APP_ID ".metainfo.xml", File},
        {"/usr/share/doc/vanto/copyright", File},
        {"/usr/share/doc/vanto/changelog.gz", File},
        {"/usr/share/man/man1/vanto.1.gz", File},
    };
    for (const auto& [path, kind] : entries) {
        const fs::file_status status = fs::symlink_status(Installed(path));
        EXPECT_TRUE(fs::is_regular_file(status)) << path;
        const bool executable = (status.permissions() & fs::perms::others_exec) != fs::perms::none;
        EXPECT_EQ(executable, kind == Program) << path;
    }
    // The command is a relative link into the program folder, which the
    // program finds through /proc/self/exe whatever name started it.
    EXPECT_EQ(fs::read_symlink(Installed("/usr/bin/vanto")), "../lib/vanto/vanto");
    // The web engine is the real one, not the test engine of the same name.
    const std::string engine = vtest::ReadFile(Installed("/usr/lib/vanto/node.so"));
    EXPECT_NE(engine.find("webkit_web_view"), std::string::npos);
    EXPECT_EQ(engine.find("wkeScripted"), std::string::npos);

    for (unsigned size : {16u, 32u, 48u, 64u, 128u, 256u}) {
        const std::string dim = std::to_string(size) + "x" + std::to_string(size);
        const std::string icon =
            vtest::ReadFile(Installed("/usr/share/icons/hicolor/" + dim + "/apps/vanto.png"));
        EXPECT_EQ(PngSize(icon), std::make_pair(size, size)) << dim;
    }
}

// The shipped oem.ini states the program's own defaults, readably (a
// sentinel default shows a key the reader did not find).
TEST_F(PackageTest, ShippedOemFileStatesTheDefaultPartnerSettings) {
    const std::string oemIni = Installed(kProgramDir + "/oem.ini");
    const char* const entries[][3] = {
        {"Partner", "Id", "0"},
        {"Partner", "Toolbox", ""},
        {"Partner", "HideCompanyInfo", "0"},
        {"main_frame", "title", "墨林工坊 - 模板素材大全"},
        {"new_reg_dlg", "show_protocol", "1"},
    };
    for (const auto& [section, key, value] : entries)
        EXPECT_EQ(os::ReadProfileString(section, key, "(missing)", oemIni, 260), value)
            << section << "/" << key;
    COemConfig& oem = COemConfig::Instance();
    oem.Load(oemIni);
    EXPECT_EQ(oem.ToolboxFolderName(), "vanto");
}

TEST_F(PackageTest, PassesTheDesktopAndDebianCheckers) {
    const std::vector<std::vector<std::string>> checks = {
        {"desktop-file-validate", Installed("/usr/share/applications/vanto.desktop")},
        {"appstreamcli", "validate", "--no-net",
         Installed("/usr/share/metainfo/" VANTO_APP_ID ".metainfo.xml")},
        {"lintian", "--fail-on", "error", VANTO_DEB_FILE},
    };
    for (const auto& check : checks) {
        const vtest::ProcessResult run = vtest::RunProcess(check);
        EXPECT_EQ(run.exitCode, 0) << check[0] << ":\n" << run.out << run.err;
    }
}

TEST_F(PackageTest, InstallStepsRecordTheMachineAndRemovalLeavesUsersDataAlone) {
    const std::string userFile = sandbox.UserDataFolder() + "/registry.db";
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount, "token"));

    const vtest::ProcessResult postinst = RunScript("postinst", "configure");
    ASSERT_EQ(postinst.exitCode, 0) << postinst.out << postinst.err;
    EXPECT_TRUE(
        std::regex_match(Machine(settings::kMachineCodeValue).value_or(""), std::regex("[0-9A-Z]{16}")));
    EXPECT_EQ(Machine(settings::kInstallUuidValue, settings::kMachineIdKey).value_or("").size(), 32u);
    EXPECT_EQ(Machine(settings::kVersion), VANTO_PROJECT_VERSION);
    // Every user without a version of their own now sees the installed one.
    EXPECT_EQ(ReadProgramVersion(), VANTO_PROJECT_VERSION);
    // Run logs and per-user folders of the steps went with their scratch folder.
    EXPECT_TRUE(fs::is_empty(m_work));

    // An upgrade is no removal: no uninstall report.
    ASSERT_EQ(RunScript("prerm", "upgrade").exitCode, 0);
    EXPECT_EQ(store.Reports().size(), 0u);
    ASSERT_EQ(RunScript("prerm", "remove").exitCode, 0);
    const Json::Value reports = store.Reports();
    ASSERT_EQ(reports.size(), 1u) << reports;
    EXPECT_EQ(reports[0]["members"]["TypeId"].asInt(), 2);
    EXPECT_EQ(reports[0]["members"]["Version"].asString(), VANTO_PROJECT_VERSION);
    EXPECT_TRUE(fs::is_empty(m_work));

    ASSERT_EQ(RunScript("postrm", "remove").exitCode, 0);
    EXPECT_EQ(Machine(settings::kVersion), VANTO_PROJECT_VERSION);
    ASSERT_EQ(RunScript("postrm", "purge").exitCode, 0);
    EXPECT_FALSE(fs::exists(sandbox.MachineDir()));
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount), "token");
}

TEST_F(PackageTest, ProgramStartedThroughTheCommandLinkRunsAndEndsOnTerm) {
    // Headless, so the test engine stands in for the real one in the folder.
    fs::copy_file(fs::path(VANTO_BINARY_DIR) / "wke" / "scripted" / "node.so",
                  Installed(kProgramDir + "/node.so"), fs::copy_options::overwrite_existing);
    const std::string program = Installed("/usr/bin/vanto");
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, m_work.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, (m_work + "/out.txt").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);

    const bool reached = vtest::WaitFor([&] {
        return vtest::ReadFile(m_work + "/log.txt").find("mainframe.getinstance success") !=
               std::string::npos;
    });
    ::kill(pid, SIGTERM);
    EXPECT_EQ(vtest::WaitForChild(pid), 0) << vtest::ReadFile(m_work + "/out.txt");
    ASSERT_TRUE(reached) << vtest::ReadFile(m_work + "/log.txt") << vtest::ReadFile(m_work + "/out.txt");
    // It found its engine beside the link's target.
    EXPECT_NE(vtest::ReadFile(m_work + "/log.txt").find("register_to_client success"), std::string::npos);
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/Error.tmp"));
}

}  // namespace
