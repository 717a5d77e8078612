#include "platform/os/Registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/os/Paths.h"
#include "platform/os/Text.h"
#include "support/Sandbox.h"

namespace {

using Bytes = std::vector<unsigned char>;

const char16_t* const kKey = u"Software\\vanto";

Bytes Utf16Bytes(std::u16string_view text) {
    Bytes out;
    for (const char16_t unit : text) {
        out.push_back(static_cast<unsigned char>(unit & 0xFF));
        out.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return out;
}

LSTATUS SetRaw(HKEY root, const char16_t* key, const char16_t* name, DWORD type, const Bytes& data) {
    return SHSetValueW(root, key, name, type, data.data(), static_cast<DWORD>(data.size()));
}

// Reads a value whole, through the size query a caller makes first.
std::optional<std::pair<DWORD, Bytes>> GetRaw(HKEY root, const char16_t* key, const char16_t* name) {
    DWORD size = 0;
    if (SHGetValueW(root, key, name, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    Bytes data(size + 1);
    DWORD type = 0;
    if (SHGetValueW(root, key, name, &type, data.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return std::make_pair(type, data);
}

// Everything the calls in `body` print on standard error.
std::string CaptureStderr(const std::function<void()>& body) {
    char path[] = "/tmp/vanto-stderr-XXXXXX";
    const int file = mkstemp(path);
    const int saved = dup(2);
    fflush(stderr);
    dup2(file, 2);
    body();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(file);
    std::string text = vtest::ReadFile(path);
    unlink(path);
    return text;
}

class Registry : public vtest::SandboxTest {};

TEST_F(Registry, HivesLiveWhereTheEnvironmentSaysAtEachCall) {
    EXPECT_EQ(os::HivePath(HKEY_CURRENT_USER), sandbox.UserDataFolder() + "/registry.db");
    EXPECT_EQ(os::HivePath(HKEY_LOCAL_MACHINE), sandbox.MachineDir() + "/registry.db");
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Version", "1.0"));
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "Version", "machine"));
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Version"), "1.0");
    EXPECT_EQ(os::RegGetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "Version"), "machine");

    const std::string other = sandbox.Root() + "/other";
    sandbox.SetEnv("VANTO_MACHINE_DIR", other);
    EXPECT_EQ(os::HivePath(HKEY_LOCAL_MACHINE), other + "/registry.db");
    EXPECT_FALSE(os::RegValueExists(HKEY_LOCAL_MACHINE, "Software\\vanto", "Version"));
    ASSERT_TRUE(os::RegSetDword(HKEY_LOCAL_MACHINE, "Software\\vanto", "n", 1));
    EXPECT_TRUE(vtest::Exists(other + "/registry.db"));

    EXPECT_EQ(os::HivePath(static_cast<HKEY>(0x80000000u)), "");
    EXPECT_EQ(SHGetValueW(static_cast<HKEY>(0x80000000u), kKey, u"x", nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, StringReadsStopAtNulAndHonourTheBufferExactly) {
    struct Case {
        const char* what;
        Bytes stored;
        std::size_t buffer;
        std::optional<std::string> expected;
    };
    const Bytes abc = Utf16Bytes(u"abc");
    const Bytes abcNul = Utf16Bytes(std::u16string(u"abc\0", 4));
    Bytes odd = abc;
    odd.push_back('d');
    const Case cases[] = {
        {"no terminator", abc, 520, "abc"},
        {"with terminator", abcNul, 520, "abc"},
        {"embedded NUL", Utf16Bytes(std::u16string(u"ab\0cd", 5)), 520, "ab"},
        {"buffer exactly the value", abc, 6, "abc"},
        {"buffer one byte short", abc, 5, std::nullopt},
        {"terminated, exactly", abcNul, 8, "abc"},
        {"terminated, one short", abcNul, 7, std::nullopt},
        {"empty value", {}, 520, ""},
        {"empty value, no buffer", {}, 0, ""},
        {"no buffer", abc, 0, std::nullopt},
        {"odd last byte ignored", odd, 520, "abc"},
        {"non-ASCII and astral", Utf16Bytes(u"墨林😀"), 520, "墨林😀"},
        {"260 characters fill 520 bytes", Utf16Bytes(std::u16string(260, u'x')), 520, std::string(260, 'x')},
        {"261 characters do not fit", Utf16Bytes(std::u16string(261, u'x')), 520, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, kKey, u"Text", REG_SZ, c.stored), ERROR_SUCCESS);
        EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Text", c.buffer), c.expected);
    }
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Missing"), std::nullopt);
}

TEST_F(Registry, GetValueReportsSizesAndLeavesShortBuffersUntouched) {
    const Bytes value = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, kKey, u"Blob", REG_BINARY, value), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, kKey, u"Blob", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_BINARY);

    Bytes buffer(8, 0xCC);
    size = 6;
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, kKey, u"Blob", nullptr, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buffer, (Bytes{1, 2, 3, 4, 5, 6, 0xCC, 0xCC}));

    buffer.assign(8, 0xCC);
    size = 5;
    type = 0;
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, kKey, u"Blob", &type, buffer.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(buffer, Bytes(8, 0xCC));

    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, kKey, u"Blob", nullptr, buffer.data(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, kKey, u"Blob", nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(SHSetValueW(HKEY_CURRENT_USER, kKey, u"Blob", REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, kKey, u"Blob")->second, value);  // the refused write changed nothing
}

TEST_F(Registry, MissingHiveKeyOrValueIsNotFoundAndReadsCreateNothing) {
    DWORD size = 4;
    DWORD data = 0;
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, kKey, u"Account", nullptr, &data, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, kKey, u"uid", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHDeleteValueW(HKEY_LOCAL_MACHINE, kKey, u"uid"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(os::RegGetDword(HKEY_CURRENT_USER, "Software\\vanto", "LoginType"));
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder()));
    EXPECT_FALSE(vtest::Exists(os::HivePath(HKEY_LOCAL_MACHINE)));

    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, "Software\\vanto", "UpdateDay", 5));
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, kKey, u"ToolboxDay", nullptr, &data, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, u"Software\\other", u"UpdateDay", nullptr, &data, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, u"Software", u"UpdateDay", nullptr, &data, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, FirstWriteCreatesTheUserFolderWithItsParents) {
    const std::string configHome = sandbox.Root() + "/fresh/deep/config";
    sandbox.SetEnv("XDG_CONFIG_HOME", configHome);
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Account", "token"));
    EXPECT_TRUE(os::FileExists(configHome + "/vanto/registry.db"));
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Account", 8192), "token");
}

TEST_F(Registry, DwordsAreFourLittleEndianBytes) {
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, "Software\\vanto", "LoginType", 0xA1B2C3D4));
    const auto raw = GetRaw(HKEY_CURRENT_USER, kKey, u"LoginType");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->first, REG_DWORD);
    EXPECT_EQ(raw->second, (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(os::RegGetDword(HKEY_CURRENT_USER, "Software\\vanto", "LoginType"), 0xA1B2C3D4u);

    // A shorter value fills the low bytes of the zeroed integer; a longer one
    // does not fit the 4-byte buffer.
    ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, kKey, u"Short", REG_BINARY, {0x07, 0x01}), ERROR_SUCCESS);
    EXPECT_EQ(os::RegGetDword(HKEY_CURRENT_USER, "Software\\vanto", "Short"), 0x0107u);
    ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, kKey, u"Long", REG_BINARY, Bytes(8, 1)), ERROR_SUCCESS);
    EXPECT_FALSE(os::RegGetDword(HKEY_CURRENT_USER, "Software\\vanto", "Long"));
}

TEST_F(Registry, KeysAndNamesCompareWithoutRegardToCase) {
    struct Case {
        const char* writtenKey;
        const char* writtenName;
        const char* readKey;
        const char* readName;
    };
    const Case cases[] = {
        {"Software\\vanto", "UpdateDay", "SOFTWARE\\VANTO", "updateday"},
        {"Software\\vanto", "Account", "\\Software\\vanto\\", "ACCOUNT"},
        {"Software\\Ärger", "Größe", "software\\ärger", "GRÖSSE"},  // ß has no single upper case: no match
        {"Software\\Ärger", "Ölfeld", "SOFTWARE\\ÄRGER", "ölFELD"},
        {"Software\\Имя", "Значение", "software\\имя", "ЗНАЧЕНИЕ"},
        {"Software\\Σοφία", "τιμή", "SOFTWARE\\ΣΟΦΊΑ", "ΤΙΜΉ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.readKey) + " / " + c.readName);
        ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, c.writtenKey, c.writtenName, c.writtenName));
        const bool foldable = std::string_view(c.writtenName) != "Größe";
        EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, c.readKey, c.readName).has_value(), foldable);
    }
    // Distinct names stay distinct, and the first spelling is the one kept.
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "SOFTWARE\\VANTO", "UPDATEDAY", "again"));
    const auto stored = os::RegReadValue(HKEY_CURRENT_USER, "software\\vanto", "updateDAY");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->keyPath, "Software\\vanto");
    EXPECT_EQ(stored->name, "UpdateDay");
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "UpdateDay"), "again");
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Account"), "Account");
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, "Software\\vanto2", "Account"));
}

TEST_F(Registry, EmptyAndNullNamesAreTheDefaultValue) {
    ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, kKey, nullptr, REG_SZ, Utf16Bytes(u"default")), ERROR_SUCCESS);
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", ""), "default");
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, "Software", ""));
    EXPECT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, kKey, u""), ERROR_SUCCESS);
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, "Software\\vanto", ""));
}

TEST_F(Registry, DeleteRemovesOneValueOnly) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Account", "token"));
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "NickName", "nick"));
    EXPECT_TRUE(os::RegDeleteValue(HKEY_CURRENT_USER, "SOFTWARE\\vanto", "ACCOUNT"));
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, "Software\\vanto", "Account"));
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "NickName"), "nick");
    EXPECT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, kKey, u"Account"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, u"Software\\none", u"NickName"), ERROR_FILE_NOT_FOUND);
    // Writing it again after the delete works like a first write.
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "account", "new"));
    EXPECT_EQ(os::RegReadValue(HKEY_CURRENT_USER, "Software\\vanto", "Account")->name, "account");
}

TEST_F(Registry, HiveIsAPlainDatabaseThatSqliteCanInspect) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "\\Software\\vanto\\", "uid", "AB"));
    ASSERT_TRUE(os::RegSetDword(HKEY_LOCAL_MACHINE, "Software\\vanto", "Day", 5));
    const auto result = vtest::RunProcess(
        {"sqlite3", os::HivePath(HKEY_LOCAL_MACHINE),
         "PRAGMA journal_mode; PRAGMA application_id; SELECT k.path, v.name, v.type, hex(v.data) FROM "
         "reg_values v JOIN reg_keys k ON k.id = v.key_id ORDER BY v.name;"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "delete\n1448232263\nSoftware\\vanto|Day|4|05000000\nSoftware\\vanto|uid|1|41004200\n");
}

TEST_F(Registry, UnwritableMachineFolderFailsWritesQuietlyAndStillReads) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid", "0123456789ABCDEF"));
    const std::string hive = os::HivePath(HKEY_LOCAL_MACHINE);
    const std::string before = vtest::ReadFile(hive);
    chmod(sandbox.MachineDir().c_str(), 0555);
    chmod(hive.c_str(), 0444);
    const int code = sandbox.RunUnprivileged([] {
        std::string err = CaptureStderr([] {
            if (os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid", "FEDCBA9876543210") ||
                SHDeleteValueW(HKEY_LOCAL_MACHINE, kKey, u"uid") == ERROR_SUCCESS) {
                _exit(1);
            }
        });
        if (!err.empty()) {
            return 2;
        }
        if (os::RegGetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid") != "0123456789ABCDEF") {
            return 3;
        }
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(vtest::ReadFile(hive), before);
    EXPECT_FALSE(vtest::Exists(hive + "-journal"));
}

TEST_F(Registry, UnwritableFoldersWithoutHiveCreateNothing) {
    chmod(sandbox.MachineDir().c_str(), 0555);
    const int code = sandbox.RunUnprivileged(
        [] { return os::RegSetDword(HKEY_LOCAL_MACHINE, "Software\\vanto", "n", 1) ? 1 : 0; });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(vtest::Exists(os::HivePath(HKEY_LOCAL_MACHINE)));

    // A per-user folder that cannot be made (its parent is a file) fails
    // whatever the caller's rights.
    vtest::WriteFile(sandbox.Root() + "/file", "x");
    sandbox.SetEnv("XDG_CONFIG_HOME", sandbox.Root() + "/file/config");
    LSTATUS status = ERROR_SUCCESS;
    const std::string err =
        CaptureStderr([&] { status = SHSetValueW(HKEY_CURRENT_USER, kKey, u"Account", REG_SZ, u"t", 2); });
    EXPECT_EQ(status, ERROR_ACCESS_DENIED);
    EXPECT_EQ(err, "");
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, "Software\\vanto", "Account"));
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(Registry, UserHiveAndItsJournalArePrivateWhateverTheUmaskAndFolder) {
    const std::string folder = sandbox.UserDataFolder();
    ASSERT_TRUE(os::CreateFolderWithParents(folder));
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    const std::string hive = os::HivePath(HKEY_CURRENT_USER);
    const std::string journal = hive + "-journal";
    // The umask belongs to the whole process: it is cleared in children only.
    const auto writeToken = [](const char* token) {
        umask(0);
        return os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Token", token) ? 0 : 1;
    };
    ASSERT_EQ(vtest::RunInChild([&] { return writeToken("first"); }), 0);
    EXPECT_EQ(ModeOf(hive), 0600u);

    // A reader holds the hive, so the next writer's journal stays until the
    // reader lets go. The writer is forked before this process opens the
    // hive: a connection must not cross a fork.
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        char byte = 0;
        _exit(read(go[0], &byte, 1) == 1 ? writeToken("second") : 2);
    }
    close(go[0]);
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(hive.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM reg_values;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(write(go[1], "g", 1), 1);
    close(go[1]);
    const bool journalSeen = vtest::WaitFor([&] { return vtest::Exists(journal); }, std::chrono::seconds(20));
    const mode_t journalMode = ModeOf(journal);
    sqlite3_exec(reader, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
    EXPECT_EQ(vtest::WaitForChild(writer, std::chrono::seconds(60)), 0);
    EXPECT_TRUE(journalSeen);
    EXPECT_EQ(journalMode, 0600u);
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Token"), "second");
    EXPECT_EQ(ModeOf(hive), 0600u);
}

TEST_F(Registry, AUserHiveOthersCouldReadBecomesPrivateOnTheNextWrite) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Token", "t"));
    const std::string hive = os::HivePath(HKEY_CURRENT_USER);
    ASSERT_EQ(chmod(hive.c_str(), 0644), 0);
    // A read changes nothing.
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Token"), "t");
    EXPECT_EQ(ModeOf(hive), 0644u);
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Token", "u"));
    EXPECT_EQ(ModeOf(hive), 0600u);
    // The machine hive is for every user to read and keeps its mode.
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid", "0123456789ABCDEF"));
    ASSERT_EQ(chmod(os::HivePath(HKEY_LOCAL_MACHINE).c_str(), 0644), 0);
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid", "FEDCBA9876543210"));
    EXPECT_EQ(ModeOf(os::HivePath(HKEY_LOCAL_MACHINE)), 0644u);
}

TEST_F(Registry, FilesThatAreNotOurHivesAreKeptAndHandled) {
    const std::string hive = os::HivePath(HKEY_LOCAL_MACHINE);
    const std::string garbage = "this is no database\n" + std::string(5000, '\x5a');
    const std::string badHeader = std::string("SQLite format 3\0", 16) + std::string(4080, '\xff');

    // Another program's database.
    const std::string foreign = sandbox.Root() + "/foreign.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('keep me');", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::string foreignBytes = vtest::ReadFile(foreign);

    // A hive by its id whose tables have another layout (a damaged schema).
    const std::string changed = sandbox.Root() + "/changed.db";
    ASSERT_EQ(sqlite3_open(changed.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "PRAGMA application_id = 1448232263;"
                     "CREATE TABLE reg_keys(id INTEGER PRIMARY KEY, other TEXT, fold TEXT UNIQUE);"
                     "CREATE TABLE reg_values(key_id, name, fold, type, data, PRIMARY KEY(key_id, fold));",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    const std::string changedBytes = vtest::ReadFile(changed);

    for (const std::string& content : {garbage, badHeader, foreignBytes, changedBytes}) {
        vtest::WriteFile(hive, content);
        LSTATUS setStatus = ERROR_SUCCESS;
        LSTATUS deleteStatus = ERROR_SUCCESS;
        std::optional<std::string> read;
        const std::string err = CaptureStderr([&] {
            setStatus = SHSetValueW(HKEY_LOCAL_MACHINE, kKey, u"uid", REG_SZ, u"ab", 4);
            deleteStatus = SHDeleteValueW(HKEY_LOCAL_MACHINE, kKey, u"uid");
            read = os::RegGetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid");
        });
        EXPECT_NE(setStatus, ERROR_SUCCESS);
        EXPECT_NE(deleteStatus, ERROR_SUCCESS);
        EXPECT_EQ(read, std::nullopt);
        EXPECT_EQ(err, "");
        EXPECT_EQ(vtest::ReadFile(hive), content);
        EXPECT_FALSE(vtest::Exists(hive + "-journal"));
    }

    // An empty file holds nothing to lose: it becomes a hive.
    vtest::WriteFile(hive, "");
    EXPECT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid", "ab"));
    EXPECT_EQ(os::RegGetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid"), "ab");
}

// The values two writers race to store: different types and sizes, so that
// a mix of both is recognisable.
const Bytes kFirst = Utf16Bytes(std::u16string(300, u'a'));
const Bytes kSecond = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6};

bool IsOneOfTheRacingValues(const std::optional<std::pair<DWORD, Bytes>>& value) {
    return value && ((value->first == REG_SZ && value->second == kFirst) ||
                     (value->first == REG_BINARY && value->second == kSecond));
}

int WriteMany(const char16_t* name, DWORD type, const Bytes& data, int times) {
    for (int i = 0; i < times; ++i) {
        if (SetRaw(HKEY_CURRENT_USER, kKey, name, type, data) != ERROR_SUCCESS) {
            return 1;
        }
    }
    return 0;
}

int ReadMany(int times) {
    for (int i = 0; i < times; ++i) {
        Bytes buffer(1024);
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD type = 0;
        if (SHGetValueW(HKEY_CURRENT_USER, kKey, u"shared", &type, buffer.data(), &size) != ERROR_SUCCESS) {
            return 1;
        }
        buffer.resize(size);
        if (!IsOneOfTheRacingValues(std::make_pair(type, buffer))) {
            return 2;
        }
    }
    return 0;
}

TEST_F(Registry, ConcurrentProcessesNeverSeeATornOrMissingValue) {
    ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, kKey, u"Shared", REG_SZ, kFirst), ERROR_SUCCESS);
    constexpr int kTimes = 150;
    std::vector<pid_t> children;
    const std::vector<std::function<int()>> bodies = {
        [] { return WriteMany(u"Shared", REG_SZ, kFirst, kTimes); },
        [] { return WriteMany(u"SHARED", REG_BINARY, kSecond, kTimes); },
        [] { return ReadMany(2 * kTimes); },
    };
    for (const auto& body : bodies) {
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(body());
        }
        ASSERT_GT(pid, 0);
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        EXPECT_EQ(vtest::WaitForChild(pid, std::chrono::seconds(120)), 0) << "child " << pid;
    }
    EXPECT_TRUE(IsOneOfTheRacingValues(GetRaw(HKEY_CURRENT_USER, kKey, u"shared")));
    EXPECT_FALSE(vtest::Exists(os::HivePath(HKEY_CURRENT_USER) + "-journal"));
}

TEST_F(Registry, ConcurrentThreadsNeverSeeATornOrMissingValue) {
    ASSERT_EQ(SetRaw(HKEY_CURRENT_USER, kKey, u"Shared", REG_SZ, kFirst), ERROR_SUCCESS);
    constexpr int kTimes = 100;
    std::atomic<int> first{-1};
    std::atomic<int> second{-1};
    std::atomic<int> reader{-1};
    std::atomic<int> writing{2};
    {
        // The reader keeps reading for as long as either writer runs.
        std::jthread c([&] {
            int result = 0;
            do {
                result = ReadMany(1);
            } while (result == 0 && writing > 0);
            reader = result;
        });
        std::jthread a([&] {
            first = WriteMany(u"shared", REG_SZ, kFirst, kTimes);
            --writing;
        });
        std::jthread b([&] {
            second = WriteMany(u"SHARED", REG_BINARY, kSecond, kTimes);
            --writing;
        });
    }
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(reader, 0);
    EXPECT_TRUE(IsOneOfTheRacingValues(GetRaw(HKEY_CURRENT_USER, kKey, u"Shared")));
}

}  // namespace
