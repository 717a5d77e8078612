// The Debian package as built, unpacked into the sandbox: its layout, its
// checkers, its maintainer scripts and the program started from it.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "config/Settings.h"
#include "platform/os/Registry.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

const std::string kProgramDir = "/usr/lib/vanto";

std::optional<std::string> Machine(std::string_view value, std::string_view key = settings::kClientKey) {
    return os::RegGetString(HKEY_LOCAL_MACHINE, key, value, settings::kDefaultReadBuffer);
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

    // A maintainer script of the package, its installed paths moved into the
    // unpacked root and the sandbox's machine folder, run from m_work under
    // an administrator's strict umask.
    vtest::ProcessResult RunScript(const std::string& name, const std::string& argument) const {
        std::string script = vtest::ReadFile(m_control + "/" + name);
        script = std::regex_replace(script, std::regex(kProgramDir), Installed(kProgramDir));
        script = std::regex_replace(script, std::regex("/var/lib/vanto"), sandbox.MachineDir());
        vtest::WriteFile(sandbox.Root() + "/" + name, script);
        return vtest::RunProcess({"/bin/sh", "-c", "umask 077; exec /bin/sh -e \"$0\" \"$1\"",
                                  sandbox.Root() + "/" + name, argument},
                                 m_work);
    }

    vtest::DemoStore store{sandbox};
    std::string m_root = sandbox.Root() + "/root";
    std::string m_control = sandbox.Root() + "/control";
    std::string m_work = sandbox.Root() + "/work";
};

TEST_F(PackageTest, LaysOutTheProgramFolderAndTheDesktopFiles) {
    // Under /usr; a trailing "*" marks a program.
    for (std::string path :
         {"lib/vanto/vanto*", "lib/vanto/vanto-crashbox*", "lib/vanto/vanto-reg*", "lib/vanto/node.so",
          "lib/vanto/oem.ini", "lib/vanto/language/cn.dat", "lib/vanto/language/tw.dat",
          "share/applications/vanto.desktop", "share/metainfo/" VANTO_APP_ID ".metainfo.xml",
          "share/doc/vanto/copyright", "share/doc/vanto/changelog.gz", "share/man/man1/vanto.1.gz"}) {
        const bool program = path.back() == '*';
        const fs::file_status status =
            fs::symlink_status(Installed("/usr/" + path.substr(0, path.size() - program)));
        EXPECT_TRUE(fs::is_regular_file(status)) << path;
        EXPECT_EQ((status.permissions() & fs::perms::others_exec) != fs::perms::none, program) << path;
    }
    // A relative link: the program finds its folder through /proc/self/exe.
    EXPECT_EQ(fs::read_symlink(Installed("/usr/bin/vanto")), "../lib/vanto/vanto");
    // The web engine is the real one, not the test engine of the same name.
    const std::string engine = vtest::ReadFile(Installed("/usr/lib/vanto/node.so"));
    EXPECT_EQ(engine.find("wkeScripted"), std::string::npos);
    for (unsigned size : {16u, 32u, 48u, 64u, 128u, 256u}) {
        const std::string dim = std::to_string(size) + "x" + std::to_string(size);
        const std::string png =
            vtest::ReadFile(Installed("/usr/share/icons/hicolor/" + dim + "/apps/vanto.png"));
        // The header's width and height, big-endian at bytes 16 and 20.
        const std::string be = {0, 0, char(size >> 8), char(size & 0xFF)};
        EXPECT_TRUE(png.size() > 24 && png.compare(1, 3, "PNG") == 0 && png.substr(16, 8) == be + be) << dim;
    }
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
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount, "token"));
    const vtest::ProcessResult postinst = RunScript("postinst", "configure");
    ASSERT_EQ(postinst.exitCode, 0) << postinst.out << postinst.err;
    EXPECT_TRUE(
        std::regex_match(Machine(settings::kMachineCodeValue).value_or(""), std::regex("[0-9A-Z]{16}")));
    EXPECT_EQ(Machine(settings::kInstallUuidValue, settings::kMachineIdKey).value_or("").size(), 32u);
    EXPECT_EQ(Machine(settings::kVersion), VANTO_PROJECT_VERSION);
    EXPECT_NE(fs::status(sandbox.MachineDir() + "/registry.db").permissions() & fs::perms::others_read,
              fs::perms::none);
    // The steps' run logs and per-user folders went with their scratch folder.
    EXPECT_TRUE(fs::is_empty(m_work));

    // An upgrade is no removal: no uninstall report.
    ASSERT_EQ(RunScript("prerm", "upgrade").exitCode, 0);
    EXPECT_EQ(store.Reports().size(), 0u);
    ASSERT_EQ(RunScript("prerm", "remove").exitCode, 0);
    const Json::Value reports = store.Reports();
    ASSERT_EQ(reports.size(), 1u) << reports;
    EXPECT_EQ(reports[0]["members"]["TypeId"].asInt(), 2);
    // The version of a user without one of their own is the installed one.
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
    // Started in the background, ended by SIGTERM once the main window is
    // made (at most 20 s later); the shell's status is the program's.
    const vtest::ProcessResult run = vtest::RunProcess(
        {"/bin/sh", "-c",
         "\"$0\" & pid=$!; i=0; until grep -q 'mainframe.getinstance success' log.txt 2>/dev/null ||"
         " [ $i -ge 400 ]; do sleep 0.05; i=$((i+1)); done; kill -TERM $pid; wait $pid",
         Installed("/usr/bin/vanto")},
        m_work);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    // Its window was made, with the engine from beside the link's target.
    const std::string log = vtest::ReadFile(m_work + "/log.txt");
    EXPECT_NE(log.find("register_to_client success"), std::string::npos) << log << run.err;
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/Error.tmp"));
}

}  // namespace
