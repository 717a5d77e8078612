// The langpack tool as a process: building language files from sources,
// dumping them back, refusing malformed sources; its output checked with an
// independent compound-file reader (Python's olefile).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "LangSource.h"
#include "LangTestSupport.h"
#include "config/LangFile.h"
#include "platform/os/Text.h"

namespace {

using langtest::Langpack;

class LangPackTest : public vtest::SandboxTest {
  protected:
    std::string Path(const std::string& name) const { return sandbox.Root() + "/" + name; }

    // Names in the sandbox root other than the given ones (leftover temporaries).
    std::vector<std::string> Leftovers(const std::set<std::string>& expected) const {
        std::vector<std::string> extra;
        for (const auto& entry : std::filesystem::directory_iterator(sandbox.Root())) {
            const std::string name = entry.path().filename().string();
            if (!expected.contains(name)) {
                extra.push_back(name);
            }
        }
        return extra;
    }
};

// A source in the form dump prints, so build followed by dump gives it back
// byte for byte: escapes, "=" in values, empty values, blanks kept, keys that
// need escaping to stay keys, half a surrogate pair.
const char kCanonical[] =
    "[Text]\n"
    "Title=\n"
    "a=x=y\n"
    "\\u0023hash=a key that looks like a comment\n"
    "\\u005Bbracket=a key that looks like a section\n"
    "\\u0020sp\\u0020=blanks around a key\n"
    "esc=back\\\\slash\\nline\\ttab\\rcr\\u0001\n"
    "lone=\\uD800 half a pair\n"
    "emoji=\xF0\x9F\x98\x80 墨林工坊\n"
    "spaces=  blanks on both sides  \n"
    "\n"
    "[Message]\n"
    "Title=墨林工坊\n"
    "Key=upper\n"
    "key=lower\n";

TEST_F(LangPackTest, BuildThenDumpGivesTheSourceBack) {
    vtest::WriteFile(Path("src.txt"), kCanonical);
    auto built = Langpack({"build", Path("src.txt"), Path("out.dat")});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    const auto dumped = Langpack({"dump", Path("out.dat")});
    ASSERT_EQ(dumped.exitCode, 0) << dumped.err;
    EXPECT_EQ(dumped.out, kCanonical);
    EXPECT_EQ(Leftovers({"src.txt", "out.dat", "home", "machine", "program", "run"}),
              std::vector<std::string>());

    // The client's reader sees the same texts.
    std::string value;
    EXPECT_TRUE(ReadLangEntry("Text", "a", "", value, 260, Path("out.dat")));
    EXPECT_EQ(value, "x=y");
    EXPECT_TRUE(ReadLangEntry("Text", "#hash", "", value, 260, Path("out.dat")));
    EXPECT_TRUE(ReadLangEntry("Text", " sp ", "", value, 260, Path("out.dat")));
    EXPECT_TRUE(ReadLangEntry("Text", "esc", "", value, 260, Path("out.dat")));
    EXPECT_EQ(value, "back\\slash\nline\ttab\rcr\x01");
    EXPECT_TRUE(ReadLangEntry("Text", "spaces", "", value, 260, Path("out.dat")));
    EXPECT_EQ(value, "  blanks on both sides  ");
    EXPECT_TRUE(ReadLangEntry("Message", "key", "", value, 260, Path("out.dat")));
    EXPECT_EQ(value, "lower");
}

TEST_F(LangPackTest, SourcesWithCrlfBomCommentsAndRepeatedSectionsBuild) {
    vtest::WriteFile(Path("src.txt"),
                     "\xEF\xBB\xBF# comment\r\n[Message]\r\n; another\r\nb=2\r\n  \r\n[Text]  \r\na=1\r\n"
                     "[Message]\r\nc=3");
    auto built = Langpack({"build", Path("src.txt"), Path("out.dat")});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    EXPECT_EQ(Langpack({"dump", Path("out.dat")}).out, "[Text]\na=1\n\n[Message]\nb=2\nc=3\n");
}

TEST_F(LangPackTest, OlefileReadsWhatLangpackWrites) {
    // The shipped source, plus a section large enough to leave the mini stream.
    std::string source = vtest::ReadFile(std::string(VANTO_SOURCE_DIR) + "/language/cn.txt");
    source += "\n[Text]\nLarge=" + std::string(3000, 'x');
    for (int i = 0; i < 1000; ++i) {
        source += "墨";
    }
    source += "\n";
    vtest::WriteFile(Path("src.txt"), source);
    auto built = Langpack({"build", Path("src.txt"), Path("out.dat")});
    ASSERT_EQ(built.exitCode, 0) << built.err;

    langpack::SourceError error;
    const auto parsed = langpack::ParseLangSource(source, error);
    ASSERT_TRUE(parsed) << error.line << ": " << error.message;
    // olefile lists streams sorted by name: Message, then Text.
    std::string expected;
    for (const std::size_t s : {1u, 0u}) {
        for (const auto& [key, value] : parsed->streams[s]) {
            expected += std::string(langpack::kStreamNames[s]) + "\t" + os::Utf16ToUtf8(key) + "=" +
                        os::Utf16ToUtf8(value) + "\n";
        }
    }
    const auto read =
        vtest::RunProcess({langtest::Python(), langtest::DataFile("read_olefile.py"), Path("out.dat")});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, expected);
    EXPECT_NE(expected.find("Text\tLarge=xxx"), std::string::npos);
}

struct BadSource {
    std::string_view text;
    int line;
    const char* message;
};

TEST_F(LangPackTest, MalformedSourcesAreRefusedWithTheirLine) {
    using namespace std::string_view_literals;
    const BadSource cases[] = {
        {"[Text]\na=1\nb=2\na=3\n"sv, 4, "duplicate key \"a\" in [Text] (first on line 2)"},
        {"[Text]\na=1\n[Message]\na=2\n[Text]\n\na=3\n"sv, 7, "duplicate key"},
        {"[Text]\nno separator here\n"sv, 2, "missing \"=\""},
        {"[Text]\n[Strings]\n"sv, 2, "unknown section [Strings]"},
        {"[Text\n"sv, 1, "malformed section header"},
        {"[Text]\nok=1\nbad=\xC3\x28\n"sv, 3, "invalid UTF-8"},
        {"[Text]\nbad=\xED\xA0\x80\n"sv, 2, "invalid UTF-8"},
        {"[Text]\nnul=a\0b\n"sv, 2, "invalid UTF-8"},
        {"a=1\n[Text]\n"sv, 1, "before the first section"},
        {"[Text]\n=value\n"sv, 2, "empty key"},
        {"[Text]\n  indented=1\n"sv, 2, "begins or ends with a blank"},
        {"[Text]\nkey =1\n"sv, 2, "begins or ends with a blank"},
        {"[Text]\na=\\q\n"sv, 2, "unknown escape \\q"},
        {"[Text]\na=tail\\\n"sv, 2, "lone \\"},
        {"[Text]\na=\\u12G4\n"sv, 2, "four hexadecimal digits"},
        {"[Text]\na=\\u0000\n"sv, 2, "would end the entry"},
        {"[Text]\na\\u003Db=1\n"sv, 2, "holds \"=\""},
    };
    for (const BadSource& bad : cases) {
        const std::string text(bad.text);
        vtest::WriteFile(Path("src.txt"), text);
        vtest::WriteFile(Path("out.dat"), "previous");
        const auto result = Langpack({"build", Path("src.txt"), Path("out.dat")});
        EXPECT_EQ(result.exitCode, 1) << text;
        EXPECT_EQ(result.err.rfind(Path("src.txt") + ":" + std::to_string(bad.line) + ": error: ", 0), 0u)
            << text << "\n"
            << result.err;
        EXPECT_NE(result.err.find(bad.message), std::string::npos) << text << "\n" << result.err;
        EXPECT_EQ(vtest::ReadFile(Path("out.dat")), "previous") << text;
    }
}

TEST_F(LangPackTest, SectionsTheClientCouldNotReadAreRefused) {
    // 65534 units of entry + NUL + the empty entry = 131072 bytes: one too many.
    const std::string tooLarge = "[Message]\nok=1\n[Text]\nbig=" + std::string(65534 - 4, 'x') + "\n";
    vtest::WriteFile(Path("src.txt"), tooLarge);
    auto result = Langpack({"build", Path("src.txt"), Path("out.dat")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(":3: error: section [Text] takes 131072 bytes"), std::string::npos)
        << result.err;
    EXPECT_FALSE(vtest::Exists(Path("out.dat")));
    // One unit less fits, and the reader finds the entry in it.
    vtest::WriteFile(Path("src.txt"), "[Text]\nbig=" + std::string(65534 - 5, 'x') + "\n");
    result = Langpack({"build", Path("src.txt"), Path("out.dat")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::string value;
    EXPECT_TRUE(ReadLangEntry("Text", "big", "", value, 70000, Path("out.dat")));
    EXPECT_EQ(value.size(), 65534u - 5);
}

TEST_F(LangPackTest, FailedWritesLeaveNothingBehind) {
    vtest::WriteFile(Path("src.txt"), "[Text]\na=1\n");
    // The target is a folder: the rename fails and the temporary file goes.
    std::filesystem::create_directories(Path("target.dat"));
    auto result = Langpack({"build", Path("src.txt"), Path("target.dat")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot write"), std::string::npos) << result.err;
    EXPECT_EQ(Leftovers({"src.txt", "target.dat", "home", "machine", "program", "run"}),
              std::vector<std::string>());
    // A missing folder and a missing source.
    result = Langpack({"build", Path("src.txt"), Path("no/such/folder/out.dat")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("temporary file"), std::string::npos) << result.err;
    result = Langpack({"build", Path("missing.txt"), Path("out.dat")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot read"), std::string::npos) << result.err;
    EXPECT_FALSE(vtest::Exists(Path("out.dat")));
}

TEST_F(LangPackTest, DumpShowsWhatTheClientSeesInForeignFiles) {
    using langtest::Stored;
    using langtest::Units;
    langtest::WriteCfb(Path("foreign.dat"),
                       {{"Text", Stored(Units(u"k=v\0plain\0=x\0k=w\0#c=1\0\0hidden=1\0"))},
                        {"Other", Stored(Units(u"a=1\0\0"))}});
    auto dumped = Langpack({"dump", Path("foreign.dat")});
    ASSERT_EQ(dumped.exitCode, 0) << dumped.err;
    EXPECT_EQ(dumped.out,
              "[Text]\nk=v\n# ignored, no \"=\": plain\n# empty key: =x\n# ignored, duplicate key: k=w\n"
              "\\u0023c=1\n\n# no stream \"Message\"\n");
    // The dump builds again into a file with the same texts.
    vtest::WriteFile(Path("src.txt"), dumped.out);
    const auto built = Langpack({"build", Path("src.txt"), Path("rebuilt.dat")});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    std::string value;
    EXPECT_TRUE(ReadLangEntry("Text", "k", "", value, 260, Path("rebuilt.dat")));
    EXPECT_EQ(value, "v");
    EXPECT_TRUE(ReadLangEntry("Text", "#c", "", value, 260, Path("rebuilt.dat")));

    // Streams the client ignores or cannot hold are reported as such.
    langtest::WriteCfb(Path("odd.dat"), {{"Text", ""}, {"Message", std::string(131072, 'x')}});
    dumped = Langpack({"dump", Path("odd.dat")});
    EXPECT_EQ(dumped.exitCode, 0) << dumped.err;
    EXPECT_EQ(
        dumped.out,
        "[Text]\n# the stream is empty\n\n# the stream \"Message\" has 131072 bytes or more; the client "
        "ignores it\n");
}

TEST_F(LangPackTest, DumpAndUsageErrors) {
    vtest::WriteFile(Path("plain.txt"), "[Text]\na=1\n");
    auto result = Langpack({"dump", Path("plain.txt")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("not a readable compound file"), std::string::npos) << result.err;
    EXPECT_EQ(Langpack({"dump", Path("missing.dat")}).exitCode, 1);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"build", "x"}, {"dump"}, {"pack", "a", "b"}, {"build", "a", "b", "c"}}) {
        result = Langpack(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("usage: langpack"), std::string::npos);
    }
}

}  // namespace
