#include "platform/os/Profile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <thread>

#include "platform/os/Text.h"
#include "support/Sandbox.h"

namespace {

using vtest::ReadFile;
using vtest::WriteFile;

constexpr char16_t kFill = 0xCCCC;

std::string Utf8(std::u16string_view text) {
    return os::Utf16ToUtf8(text);
}

// The buffer after a call, including what lies past the returned length.
struct Reply {
    DWORD ret = 0;
    std::u16string buffer;
};

Reply Get(LPCWSTR section, LPCWSTR key, LPCWSTR def, DWORD size, const std::string& file) {
    Reply reply;
    reply.buffer.assign(size + 2, kFill);
    reply.ret = GetPrivateProfileStringW(section, key, def, reply.buffer.data(), size, file.c_str());
    return reply;
}

std::string Value(LPCWSTR section, LPCWSTR key, const std::string& file, LPCWSTR def = u"<default>") {
    const Reply reply = Get(section, key, def, 260, file);
    EXPECT_EQ(reply.buffer[reply.ret], u'\0');
    return Utf8(std::u16string_view(reply.buffer).substr(0, reply.ret));
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ProfileTest : public vtest::SandboxTest {
  protected:
    std::string Path(const std::string& name = "test.ini") const { return sandbox.Root() + "/" + name; }
};

TEST_F(ProfileTest, LooksUpValuesTheWayWindowsParsesTheFile) {
    using namespace std::string_literals;
    const std::string file = Path();
    WriteFile(file,
              "orphan=before any section\r\n"
              "[Main]\r\n"
              "Name = Value with spaces  \r\n"
              "dq=\"quoted\"\r\n"
              "sq='single'\r\n"
              "mixed=\"left'\r\n"
              "lone=\"\r\n"
              "emptyq=\"\"\r\n"
              "inner= a \"b\" c\r\n"
              "eq=a=b=c\r\n"
              "empty=\r\n"
              "blank =   \r\n"
              "noequals\r\n"
              ";comment=hidden\r\n"
              "  ; indented=hidden\r\n"
              "dup=first\r\n"
              "DUP=second\r\n"
              "\tTabbed\t=\tx\t\r\n"
              "=no name\r\n"
              "[unclosed=header line\r\n"
              "nul=ab\0cd\r\n"
              "[ Spaced Name ]  trailing text\r\n"
              "k=spaced\r\n"
              "[main]\r\n"
              "later=hidden by the first [Main]\r\n"
              "[]\r\n"
              "k=empty section\r\n"
              "[Ünïcode]\n"
              "Ключ=значение\n"
              "[CR]\rcr=only\r"
              "[Last]\n"
              "end=no line break"s);  // a std::string literal: it holds a NUL

    struct Case {
        LPCWSTR section;
        LPCWSTR key;
        const char* expected;
    };
    const Case cases[] = {
        {u"Main", u"Name", "Value with spaces"},
        {u"MAIN", u"name", "Value with spaces"},
        {u"  Main\t", u" name ", "Value with spaces"},  // the caller's names are trimmed too
        {u"Main", u"dq", "quoted"},
        {u"Main", u"sq", "single"},
        {u"Main", u"mixed", "\"left'"},  // quotes that do not match stay
        {u"Main", u"lone", "\""},
        {u"Main", u"emptyq", ""},
        {u"Main", u"inner", "a \"b\" c"},
        {u"Main", u"eq", "a=b=c"},
        {u"Main", u"empty", ""},
        {u"Main", u"blank", ""},
        {u"Main", u"noequals", "<default>"},
        {u"Main", u";comment", "<default>"},
        {u"Main", u"; indented", "<default>"},
        {u"Main", u"dup", "first"},
        {u"Main", u"Tabbed", "x"},
        {u"Main", u"", "no name"},
        {u"Main", u"[unclosed", "header line"},
        {u"Main", u"nul", "ab"},
        {u"Main", u"later", "<default>"},  // only the first [Main] counts
        {u"Main", u"orphan", "<default>"},
        {u"", u"orphan", "<default>"},
        {u"Spaced Name", u"k", "spaced"},
        {u"", u"k", "empty section"},
        {u"üNÏCODE", u"ключ", "значение"},
        {u"cr", u"CR", "only"},
        {u"Last", u"end", "no line break"},
        {u"Missing", u"k", "<default>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Value(c.section, c.key, file), c.expected) << Utf8(c.section) << "/" << Utf8(c.key);
    }
}

TEST_F(ProfileTest, ValueBufferRules) {
    const std::string file = Path();
    WriteFile(file, "[s]\r\nname1=val1\r\nname4=a\r\nq=\"val2\"\r\n");

    Reply r = Get(u"s", u"name1", u"default", 0, file);
    EXPECT_EQ(r.ret, 0u);
    EXPECT_EQ(r.buffer[0], kFill);  // size 0 writes nothing
    EXPECT_EQ(GetPrivateProfileStringW(u"s", u"name1", u"default", nullptr, 10, file.c_str()), 0u);

    struct Case {
        LPCWSTR key;
        LPCWSTR def;
        DWORD size;
        DWORD ret;
        std::u16string_view text;
    };
    const Case cases[] = {
        {u"name1", u"default", 4, 3, u"val"},  // cut to size - 1
        {u"name1", u"default", 5, 4, u"val1"},
        {u"name4", u"default", 1, 0, u""},
        {u"q", u"default", 4, 3, u"val"},  // quotes go before the cut
        {u"q", u"default", 5, 4, u"val2"},
        {u"missing", nullptr, 10, 0, u""},
        {u"missing", u"default  ", 10, 7, u"default"},  // trailing blanks of the default go
        {u"missing", u"one two  ", 10, 7, u"one two"},
        {u"missing", u"  lead", 10, 6, u"  lead"},
        {u"missing", u"defaultvalue", 4, 3, u"def"},
        {u"missing", u"\"quoted\"", 20, 8, u"\"quoted\""},  // the default is taken as given
    };
    for (const Case& c : cases) {
        r = Get(u"s", c.key, c.def, c.size, file);
        EXPECT_EQ(r.ret, c.ret) << Utf8(c.key) << " size " << c.size;
        EXPECT_EQ(r.buffer.substr(0, c.ret + 1), std::u16string(c.text) + u'\0') << Utf8(c.key);
        EXPECT_EQ(r.buffer[c.size], kFill) << "wrote past the buffer";
    }

    for (const std::string& missingFile : {Path("nothere.ini"), std::string(), sandbox.Root()}) {
        EXPECT_EQ(Value(u"s", u"name1", missingFile), "<default>") << missingFile;
    }
    EXPECT_EQ(GetPrivateProfileStringW(u"s", u"name1", u"x", r.buffer.data(), 20, nullptr), 1u);
}

TEST_F(ProfileTest, SectionAndKeyListsEndWithTwoNulsAndReturnSizeMinusTwoWhenCut) {
    const std::string file = Path();
    WriteFile(file,
              "[ section1 ]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\n;c=1\r\nname4=a\r\n"
              "[section2]\r\n[section3]\r\n[]\r\nk=v\r\n");
    using namespace std::string_view_literals;
    struct Case {
        LPCWSTR section;
        DWORD size;
        DWORD ret;
        std::u16string_view content;  // up to and including the final NUL
    };
    const Case cases[] = {
        {nullptr, 29, 27, u"section1\0section2\0section3\0\0"sv},
        {nullptr, 28, 26, u"section1\0section2\0section3\0\0"sv},  // an exact fit counts as cut
        {nullptr, 27, 25, u"section1\0section2\0section\0\0"sv},
        {nullptr, 16, 14, u"section1\0secti\0\0"sv},
        {nullptr, 2, 0, u"\0\0"sv},
        {nullptr, 1, 0, u"\0"sv},
        {u"SECTION1", 100, 18, u"name1\0name2\0name4\0\0"sv},
        {u"section1", 16, 14, u"name1\0name2\0na\0\0"sv},
        {u"section2", 100, 7, u"default\0"sv},  // no keys: the default instead
        {u"nosuch", 100, 7, u"default\0"sv},
        {u"", 100, 2, u"k\0\0"sv},
    };
    for (const Case& c : cases) {
        const Reply r = Get(c.section, nullptr, u"default", c.size, file);
        EXPECT_EQ(r.ret, c.ret) << (c.section ? Utf8(c.section) : "(null)") << " size " << c.size;
        EXPECT_EQ(r.buffer.substr(0, c.content.size()), c.content) << "size " << c.size;
        EXPECT_EQ(r.buffer[c.size], kFill) << "wrote past the buffer";
    }
    // A missing file has no sections: a single NUL, no default.
    const Reply none = Get(nullptr, u"k", u"default", 10, Path("nothere.ini"));
    EXPECT_EQ(none.ret, 0u);
    EXPECT_EQ(none.buffer[0], u'\0');
    EXPECT_EQ(none.buffer[1], kFill);
}

TEST_F(ProfileTest, IntegersParseLikeWindows) {
    const std::string file = Path();
    struct Case {
        const char* value;
        int def;
        UINT expected;
    };
    const Case cases[] = {
        {"-1", 1, 4294967295u}, {"1", -1, 1},          {"+1", -1, 1},
        {"4294967296", 1, 0},   {"4294967297", -1, 1}, {"-4294967297", 1, 4294967295u},
        {"42A94967297", 1, 42}, {"B4294967297", 1, 0}, {"--1", 5, 0},
        {"0x1F", 0, 31},        {"0X1F", 7, 0},        {"-0x10", 0, 4294967280u},
        {"0b101", 0, 5},        {"0o17", 0, 15},       {"017", 0, 17},
        {"\"  42\"", 0, 42},    {"12 34", 0, 12},      {"", 9, 9},  // empty value: the default
        {"\"\"", 9, 9},         {"x", 9, 0},
    };
    for (const Case& c : cases) {
        WriteFile(file, std::string("[Test]\r\nProfileInt=") + c.value + "\r\n");
        EXPECT_EQ(GetPrivateProfileIntW(u"Test", u"ProfileInt", c.def, file.c_str()), c.expected) << c.value;
    }
    EXPECT_EQ(GetPrivateProfileIntW(u"Test", u"Other", -1, file.c_str()), 4294967295u);
    EXPECT_EQ(GetPrivateProfileIntW(u"Test", u"ProfileInt", 70, nullptr), 70u);
    EXPECT_EQ(GetPrivateProfileIntW(nullptr, nullptr, 3, Path("none.ini").c_str()), 3u);
    EXPECT_EQ(os::ReadProfileInt("test", "profileint", 5, file), 0);
    EXPECT_EQ(os::ReadProfileInt("Test", "missing", -5, file), -5);
}

TEST_F(ProfileTest, WritesBuildAndTrimAFileLikeWindows) {
    const std::string file = Path();
    EXPECT_TRUE(WritePrivateProfileStringW(u"App", u"key", nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"App", nullptr, nullptr, file.c_str()));
    EXPECT_FALSE(vtest::Exists(file)) << "deleting from a missing file creates nothing";
    EXPECT_FALSE(WritePrivateProfileStringW(nullptr, u"key", u"v", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str()));  // cache flush
    EXPECT_FALSE(WritePrivateProfileStringW(u"App", u"key", u"v", ""));

    EXPECT_TRUE(WritePrivateProfileStringW(u"App", u"key", u"", file.c_str()));
    EXPECT_EQ(ReadFile(file), "[App]\r\nkey=\r\n");
    std::filesystem::remove(file);

    for (auto [s, k, v] : {std::tuple{u"App1", u"key1", u"string1"},
                           {u"App1", u"key2", u"string2"},
                           {u"App1", u"key3", u"string3"},
                           {u"App2", u"key4", u"string4"},
                           {u" App3 ", u"\tkey5 ", u"string5"}}) {
        ASSERT_TRUE(WritePrivateProfileStringW(s, k, v, file.c_str()));
    }
    EXPECT_EQ(ReadFile(file),
              "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n"
              "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"app1", u"KEY2", nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"App1", u"key2", nullptr, file.c_str()));
    EXPECT_EQ(
        ReadFile(file),
        "[App1]\r\nkey1=string1\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"App1", nullptr, u"ignored", file.c_str()));
    EXPECT_EQ(ReadFile(file), "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"App2", nullptr, nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"App3", u"key5", nullptr, file.c_str()));
    EXPECT_EQ(ReadFile(file), "[App3]\r\n");
}

TEST_F(ProfileTest, EditsKeepEveryOtherByte) {
    const std::string file = Path();
    const std::string original =
        "; heading comment\n"
        "orphan = kept\n"
        "\n"
        "[Main]\n"
        "  Id =  5   ; not a comment\n"
        "# hash\n"
        "flag\n"
        "\n"
        "; about Other\n"
        "[Other]\n"
        "x=1";
    WriteFile(file, original);
    ASSERT_TRUE(os::WriteProfileString("main", "ID", "7", file));
    ASSERT_TRUE(os::WriteProfileString("Main", "new", "v", file));
    ASSERT_TRUE(os::WriteProfileString("Other", "y", "2", file));
    ASSERT_TRUE(os::WriteProfileString("Added", "k", "v", file));
    EXPECT_EQ(ReadFile(file),
              "; heading comment\n"
              "orphan = kept\n"
              "\n"
              "[Main]\n"
              "  Id =  7\n"
              "# hash\n"
              "flag\n"
              "new=v\n"
              "\n"
              "; about Other\n"
              "[Other]\n"
              "x=1\n"
              "y=2\n"
              "[Added]\n"
              "k=v\n");

    // Duplicates: the first key is replaced, and every section of the name is deleted.
    WriteFile(file, "[a]\r\nk=1\r\nk=2\r\n[b]\r\nz=0\r\n[A]\r\n; note\r\nk=3\r\n\r\n[c]\rq=1\r");
    ASSERT_TRUE(os::WriteProfileString("a", "k", "9", file));
    EXPECT_EQ(ReadFile(file), "[a]\r\nk=9\r\nk=2\r\n[b]\r\nz=0\r\n[A]\r\n; note\r\nk=3\r\n\r\n[c]\rq=1\r");
    ASSERT_TRUE(os::WriteProfileString("a", "k", std::nullopt, file));
    EXPECT_EQ(os::ReadProfileString("a", "k", "", file), "2");
    ASSERT_TRUE(WritePrivateProfileStringW(u"A", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(ReadFile(file), "[b]\r\nz=0\r\n[c]\rq=1\r");
    WriteFile(file, "[c]\rq=1\r");
    ASSERT_TRUE(os::WriteProfileString("c", "r", "2", file));
    EXPECT_EQ(ReadFile(file), "[c]\rq=1\rr=2\r");  // a CR-only file stays CR-only
}

TEST_F(ProfileTest, RefusesWhatWouldNotReadBack) {
    const std::string file = Path();
    const std::string original = "[s]\r\nk=1\r\n";
    WriteFile(file, original);
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'\0'};
    struct Case {
        LPCWSTR section;
        LPCWSTR key;
        LPCWSTR value;
    };
    const Case cases[] = {
        {u"s", u"a=b", u"v"},      {u"s", u"a\nb", u"v"},       {u"s\r", u"k", u"v"},
        {u"s", u"k", u"v\r\nx=y"}, {u"s", u";k", u"v"},         {u"s", u" [x]", u"v"},
        {u"a]b", u"k", u"v"},      {u"s", u"k", loneSurrogate}, {u"s", u"k=", nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(WritePrivateProfileStringW(c.section, c.key, c.value, file.c_str())) << Utf8(c.key);
    }
    EXPECT_EQ(ReadFile(file), original);
    for (const std::string& name : FilesIn(sandbox.Root())) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << "temporary file left: " << name;
    }
    // Quotes, blanks and brackets that do read back are fine.
    EXPECT_TRUE(os::WriteProfileString("s", "[k", "'x'", file));
    EXPECT_EQ(os::ReadProfileString("s", "[k", "", file), "x");
}

TEST_F(ProfileTest, Utf16FilesAreReadAndWrittenAsUtf16) {
    const std::string file = Path();
    const std::u16string text = u"[Partner]\r\nId=墨林\r\n; 注释\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    WriteFile(file, bytes + "\x41");  // a stray half code unit at the end
    EXPECT_EQ(os::ReadProfileString("partner", "id", "", file), "墨林");
    ASSERT_TRUE(os::WriteProfileString("Partner", "Toolbox", "工具 😀", file));
    const std::string written = ReadFile(file);
    ASSERT_EQ(written.substr(0, 2), "\xFF\xFE");
    std::u16string decoded;
    for (std::size_t i = 2; i + 1 < written.size(); i += 2) {
        decoded.push_back(static_cast<char16_t>(static_cast<unsigned char>(written[i]) |
                                                (static_cast<unsigned char>(written[i + 1]) << 8)));
    }
    EXPECT_EQ(decoded, u"[Partner]\r\nId=墨林\r\nToolbox=工具 😀\r\n; 注释\r\n");
    EXPECT_EQ(written.size() % 2, 0u);
    EXPECT_EQ(os::ReadProfileString("Partner", "Toolbox", "", file), "工具 😀");
    // A lone surrogate survives in UTF-16, so it is allowed there.
    const char16_t lone[] = {0xDC00, u'\0'};
    EXPECT_TRUE(WritePrivateProfileStringW(u"Partner", u"odd", lone, file.c_str()));
}

TEST_F(ProfileTest, Utf8ByteOrderMarkIsKeptAndInvalidUtf8IsHarmless) {
    const std::string file = Path();
    WriteFile(file, "\xEF\xBB\xBF[s]\r\nbad=\xFF\xC3(\r\n\xC0junk\xE2\x82\r\nk=1\r\n");
    EXPECT_EQ(os::ReadProfileString("s", "k", "", file), "1");
    EXPECT_EQ(os::ReadProfileString("s", "bad", "", file), "\xEF\xBF\xBD\xEF\xBF\xBD(");
    ASSERT_TRUE(os::WriteProfileString("s", "k", "2", file));
    EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBF[s]\r\nbad=\xFF\xC3(\r\n\xC0junk\xE2\x82\r\nk=2\r\n");
    // New files carry no mark.
    ASSERT_TRUE(os::WriteProfileString("s", "k", "v", Path("new.ini")));
    EXPECT_EQ(ReadFile(Path("new.ini")), "[s]\r\nk=v\r\n");
}

TEST_F(ProfileTest, Utf8ConveniencesCutInUtf16UnitsWithoutSplittingAPair) {
    const std::string file = Path();
    ASSERT_TRUE(os::WriteProfileString("main_frame", "title", "ab😀cd", file));
    EXPECT_EQ(os::ReadProfileString("main_frame", "title", "", file, 4), "ab");  // not half the pair
    EXPECT_EQ(os::ReadProfileString("main_frame", "title", "", file, 5), "ab😀");
    EXPECT_EQ(os::ReadProfileString("main_frame", "title", "", file, 0), "");
    EXPECT_EQ(os::ReadProfileString("main_frame", "none", "墨林工坊", file, 3), "墨林");
    ASSERT_TRUE(os::WriteProfileString("main_frame", "title", std::string(300, 'x'), file));
    EXPECT_EQ(os::ReadProfileString("main_frame", "title", "", file).size(), 259u);
}

TEST_F(ProfileTest, FileNameLetterCaseDoesNotMatter) {
    WriteFile(Path("OEM.ini"), "[Partner]\r\nId=42\r\n");
    EXPECT_EQ(os::ReadProfileString("Partner", "Id", "0", Path("oem.ini")), "42");
    ASSERT_TRUE(os::WriteProfileString("Partner", "Toolbox", "box", Path("oem.INI")));
    EXPECT_FALSE(vtest::Exists(Path("oem.INI")));
    EXPECT_EQ(ReadFile(Path("OEM.ini")), "[Partner]\r\nId=42\r\nToolbox=box\r\n");
}

TEST_F(ProfileTest, WritesReplaceTheFileKeepingItsModeAndLeaveNoTemporaryFile) {
    const std::string folder = sandbox.Root() + "/cfg";
    const std::string file = folder + "/config.ini";
    WriteFile(file, "[General]\r\nCanUpdate=1\r\n");
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    ASSERT_TRUE(os::WriteProfileString("Main", "HasNewInstaller", "1", file));
    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced by rename, not rewritten in place";
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"config.ini"});

    // Folders and files that cannot be written: nothing happens, the write reports failure.
    EXPECT_FALSE(os::WriteProfileString("s", "k", "v", sandbox.Root() + "/missing/x.ini"));
    EXPECT_FALSE(os::WriteProfileString("s", "k", "v", "/proc/self/vanto-test.ini"));
    const std::string original = ReadFile(file);
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const auto tryWrite = [&] {
        return os::WriteProfileString("Main", "HasNewInstaller", "0", file) ? 1 : 0;
    };
    EXPECT_EQ(sandbox.RunUnprivileged(tryWrite), 0) << "read-only folder";
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    EXPECT_EQ(sandbox.RunUnprivileged(tryWrite), 0) << "read-only file in a writable folder";
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"config.ini"});
    ASSERT_EQ(chmod(file.c_str(), 0666), 0);
    EXPECT_EQ(sandbox.RunUnprivileged(tryWrite), 1) << "the same write is allowed once the file is writable";
}

TEST_F(ProfileTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    const std::string folder = sandbox.Root() + "/cfg";
    const std::string file = folder + "/config.ini";
    const std::string original = "[General]\r\nCanUpdate=1\r\n";
    WriteFile(file, original);
    // A file size limit makes the write of the new content fail half way,
    // even for root. The child process takes the limit so the test program does not.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(os::WriteProfileString("General", "Big", std::string(100, 'x'), file) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write reported success";
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"config.ini"});
}

// Keys visible to a reader: for each writer, the count of its keys seen, or -1
// when what was seen is not a prefix of what it wrote (a lost write).
std::pair<int, int> VisibleWrites(const std::string& file) {
    std::u16string buffer(65536, u'\0');
    const DWORD n = GetPrivateProfileStringW(u"Race", nullptr, u"", buffer.data(), 65536, file.c_str());
    std::set<std::string> seen;
    for (std::size_t pos = 0; pos < n;) {
        const std::size_t end = buffer.find(u'\0', pos);
        seen.insert(Utf8(std::u16string_view(buffer).substr(pos, end - pos)));
        pos = end + 1;
    }
    const auto prefix = [&](char writer) {
        int count = 0;
        while (seen.count(writer + std::to_string(1000 + count))) {
            ++count;
        }
        for (const std::string& key : seen) {
            if (key[0] == writer && std::stoi(key.substr(1)) >= 1000 + count) {
                return -1;
            }
        }
        return count;
    };
    return {prefix('a'), prefix('b')};
}

TEST_F(ProfileTest, TwoProcessesWritingOneFileLoseNothing) {
    const std::string file = Path("shared.ini");
    WriteFile(file, "; shared\r\n");
    constexpr int kKeys = 200;
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            const std::string prefix(1, static_cast<char>('a' + w));
            bool ok = true;
            for (int i = 0; i < kKeys; ++i) {
                ok = os::WriteProfileString("Race", prefix + std::to_string(1000 + i), std::to_string(i),
                                            file) &&
                     ok;
            }
            _exit(ok ? 0 : 1);
        }
    }
    // Meanwhile, every read sees a whole file holding a prefix of each writer's keys.
    int running = 2;
    int reads = 0;
    while (running > 0) {
        const auto [a, b] = VisibleWrites(file);
        ASSERT_GE(a, 0);
        ASSERT_GE(b, 0);
        ++reads;
        for (pid_t& child : children) {
            int status = 0;
            if (child > 0 && waitpid(child, &status, WNOHANG) == child) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
                child = -1;
                --running;
            }
        }
    }
    EXPECT_EQ(VisibleWrites(file), std::make_pair(kKeys, kKeys));
    EXPECT_GT(reads, 0);
    // Well formed: the comment, one header and 400 entries, each line ended.
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.rfind("; shared\r\n[Race]\r\n", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 2 * kKeys);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(os::ReadProfileInt("Race", "b1199", -1, file), kKeys - 1);
}

TEST_F(ProfileTest, TwoThreadsWritingOneFileLoseNothing) {
    const std::string file = Path("threads.ini");
    constexpr int kKeys = 40;
    auto writer = [&](char name) {
        for (int i = 0; i < kKeys; ++i) {
            EXPECT_TRUE(os::WriteProfileString("Race", name + std::to_string(1000 + i), "v", file));
        }
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    first.join();
    second.join();
    EXPECT_EQ(VisibleWrites(file), std::make_pair(kKeys, kKeys));
}

}  // namespace
