// Lookups of localised texts in real compound files: files written by an
// independent writer (tests/config/data/write_cfb.py) for the odd shapes, and
// the language files langpack builds for the product.
#include "config/LangFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "LangTestSupport.h"
#include "config/LangFormat.h"
#include "platform/os/Text.h"

namespace {

using langtest::Stored;
using langtest::Units;
using langtest::WriteCfb;

class LangFileTest : public vtest::SandboxTest {
  protected:
    std::string Path(const std::string& name) const { return sandbox.Root() + "/" + name; }

    // UTF-8 lookup with a generous buffer; "(default)" marks a fallback.
    std::string Get(const std::string& path, std::string_view stream, std::string_view key,
                    bool* found = nullptr) {
        std::string out;
        const bool ok = ReadLangEntry(stream, key, "(default)", out, 1 << 20, path);
        if (found != nullptr) {
            *found = ok;
        }
        return out;
    }
};

TEST_F(LangFileTest, IndependentWriterFileFollowsTheEntryRules) {
    const std::string path = Path("rules.dat");
    WriteCfb(path, {{"Text", Stored(Units(u"Title=\0Key=a=b\0key=lower\0no separator\0"
                                          u"Dup=first\0Dup=second\0\0After=hidden\0"))},
                    {"Message", Stored(Units(u"Title=\x58A8\x6797\0\0"))}});
    bool found = false;
    EXPECT_EQ(Get(path, "Text", "Title", &found), "");
    EXPECT_TRUE(found) << "an empty value is a found value, not a fallback";
    EXPECT_EQ(Get(path, "Text", "Key", &found), "a=b");
    EXPECT_TRUE(found);
    EXPECT_EQ(Get(path, "Text", "key"), "lower");
    EXPECT_EQ(Get(path, "Text", "KEY", &found), "(default)");
    EXPECT_FALSE(found);
    EXPECT_EQ(Get(path, "Text", "Dup"), "first");
    EXPECT_EQ(Get(path, "Text", "no separator"), "(default)");
    EXPECT_EQ(Get(path, "Text", "After"), "(default)") << "entries after the empty one do not exist";
    EXPECT_EQ(Get(path, "Message", "Title"), "墨林");
    // Stream names compare without regard to case, as the storage functions do.
    EXPECT_EQ(Get(path, "MESSAGE", "Title"), "墨林");
    EXPECT_EQ(Get(path, "Other", "Title", &found), "(default)");
    EXPECT_FALSE(found);
}

TEST_F(LangFileTest, StreamInNormalSectorsIsReadWhole) {
    // 4096 bytes or more leave the mini stream; the key sits at the very end.
    std::u16string units = u"filler=" + std::u16string(5000, u'x') + u'\0' + u"Last=end";
    units += u'\0';
    units += u'\0';
    const std::string path = Path("large.dat");
    WriteCfb(path, {{"Text", Stored(units)}});
    EXPECT_EQ(Get(path, "Text", "Last"), "end");
    EXPECT_EQ(Get(path, "Text", "filler").size(), 5000u);
}

TEST_F(LangFileTest, ShortAndOddStreamsUseTheTerminatorRule) {
    // 8 bytes, "x=y" and its NUL: only the first word is stored scrambled
    // (spelled out here by hand), so the value is read as stored.
    const std::string eight("\x26\x5E\x3D\x00\x79\x00\x00\x00", 8);
    // 9 bytes: "k=vw" and a stray byte; the terminator goes at byte 8, so the
    // stray byte never becomes part of the value.
    std::string nine = Stored(u"k=vw") + "A";
    nine[4] ^= 0x5E;  // with 9 bytes the word at 4 is scrambled as well
    nine[5] ^= 0x5E;
    const std::string path = Path("short.dat");
    WriteCfb(path, {{"Eight", eight}, {"Nine", nine}, {"Empty", ""}, {"Two", std::string("\0\0", 2)}});
    EXPECT_EQ(Get(path, "Eight", "x"), "y");
    EXPECT_EQ(Get(path, "Nine", "k"), "vw");
    bool found = true;
    EXPECT_EQ(Get(path, "Empty", "x", &found), "(default)");
    EXPECT_FALSE(found);
    EXPECT_EQ(Get(path, "Two", "x", &found), "(default)");
    EXPECT_FALSE(found);
}

TEST_F(LangFileTest, StreamsUpToTheReadBufferAreReadAndLargerOnesRefused) {
    // 131071 bytes: 65535 code units whose last entry ends at the last unit,
    // plus an odd byte. The terminator lands on the buffer's last two bytes.
    const std::u16string tail = u"end=ok";
    std::u16string units = u"a=1" + std::u16string(1, u'\0') + u"f=";
    units += std::u16string(65535 - units.size() - 1 - tail.size(), u'x');
    units += u'\0';
    units += tail;
    ASSERT_EQ(units.size(), 65535u);
    const std::string fits = Stored(units) + "Z";
    ASSERT_EQ(fits.size(), lang::kStreamBufferBytes - 1);
    // 131072 bytes leave no room for the terminator: refused as a whole.
    const std::string tooLarge = Stored(units + u'\0');
    ASSERT_EQ(tooLarge.size(), lang::kStreamBufferBytes);
    const std::string path = Path("limits.dat");
    WriteCfb(path, {{"Fits", fits}, {"TooLarge", tooLarge}});
    EXPECT_EQ(Get(path, "Fits", "a"), "1");
    EXPECT_EQ(Get(path, "Fits", "end"), "ok");
    bool found = true;
    EXPECT_EQ(Get(path, "TooLarge", "a", &found), "(default)");
    EXPECT_FALSE(found);
}

TEST_F(LangFileTest, FilesThatCannotBeReadGiveTheDefault) {
    const std::string text = Path("plain.txt");
    vtest::WriteFile(text, "Title=not a compound file\n");
    const std::string emptyFile = Path("empty.dat");
    vtest::WriteFile(emptyFile, "");
    std::filesystem::create_directories(Path("folder"));
    for (const std::string& path : {Path("missing/cn.dat"), Path("missing.dat"), text, emptyFile,
                                    Path("folder"), Path("folder/"), std::string()}) {
        bool found = true;
        EXPECT_EQ(Get(path, "Message", "Title", &found), "(default)") << path;
        EXPECT_FALSE(found) << path;
    }
}

TEST_F(LangFileTest, TruncatedFilesNeverGiveWrongTexts) {
    const std::string whole = vtest::ReadFile(langtest::BuiltLanguageFile("cn.dat"));
    ASSERT_GT(whole.size(), 1024u);
    const std::string path = Path("cut.dat");
    // Cut inside the header, and at every 64 bytes after it: the lookup gives
    // the right text or the default, never anything else and never a crash.
    for (std::size_t size = 0; size < whole.size(); size += (size < 512 ? 37 : 64)) {
        vtest::WriteFile(path, whole.substr(0, size));
        bool found = false;
        const std::string title = Get(path, "Message", "Title", &found);
        if (found) {
            EXPECT_EQ(title, "墨林工坊") << size;
        } else {
            EXPECT_EQ(title, "(default)") << size;
        }
        if (size < 512) {
            EXPECT_FALSE(found) << "a cut header cannot be opened, size " << size;
        }
    }
}

TEST_F(LangFileTest, WideLookupCutsToCapacityAndTerminates) {
    const std::string path = Path("cut.dat");
    WriteCfb(path, {{"Text", Stored(Units(u"k=abcdef\0e=a\xD83D\xDE00z\0\0"))}});
    const std::u16string wpath = os::Utf8ToUtf16(path);
    char16_t buf[16];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_TRUE(ReadLangEntry(u"Text", u"k", u"dflt", buf, 4, wpath.c_str()));
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(buf[4], u'#') << "nothing written past the capacity";
    EXPECT_TRUE(ReadLangEntry(u"Text", u"k", u"dflt", buf, 1, wpath.c_str()));
    EXPECT_EQ(std::u16string(buf), u"");
    // Capacity 0 writes nothing at all; a null buffer is tolerated.
    buf[0] = u'#';
    EXPECT_TRUE(ReadLangEntry(u"Text", u"k", u"dflt", buf, 0, wpath.c_str()));
    EXPECT_EQ(buf[0], u'#');
    EXPECT_TRUE(ReadLangEntry(u"Text", u"k", u"dflt", nullptr, 10, wpath.c_str()));
    // The default is cut the same way; a null default reads as empty.
    EXPECT_FALSE(ReadLangEntry(u"Text", u"none", u"default", buf, 4, wpath.c_str()));
    EXPECT_EQ(std::u16string(buf), u"def");
    EXPECT_FALSE(ReadLangEntry(u"Text", u"none", nullptr, buf, 4, wpath.c_str()));
    EXPECT_EQ(std::u16string(buf), u"");
    // A cut between the halves of a surrogate pair leaves the pair out.
    EXPECT_TRUE(ReadLangEntry(u"Text", u"e", u"", buf, 3, wpath.c_str()));
    EXPECT_EQ(std::u16string(buf), u"a");
    EXPECT_TRUE(ReadLangEntry(u"Text", u"e", u"", buf, 4, wpath.c_str()));
    EXPECT_EQ(std::u16string(buf), u"a\xD83D\xDE00");
    // The UTF-8 form counts the same UTF-16 code units.
    std::string out;
    EXPECT_TRUE(ReadLangEntry("Text", "e", "", out, 3, path));
    EXPECT_EQ(out, "a");
    EXPECT_TRUE(ReadLangEntry("Text", "e", "", out, 5, path));
    EXPECT_EQ(out, "a\xF0\x9F\x98\x80z");
    EXPECT_FALSE(ReadLangEntry("Text", "none", "默认文本", out, 3, path));
    EXPECT_EQ(out, "默认");
}

TEST_F(LangFileTest, LoneSurrogatesAreCopiedAsStoredAndReplacedInUtf8) {
    const std::string path = Path("lone.dat");
    WriteCfb(path, {{"Text", Stored(Units(u"k=\xDC00x\xD800\0\0"))}});
    const std::u16string wpath = os::Utf8ToUtf16(path);
    char16_t buf[8];
    EXPECT_TRUE(ReadLangEntry(u"Text", u"k", u"", buf, 8, wpath.c_str()));
    EXPECT_EQ(std::u16string(buf), u"\xDC00x\xD800");
    EXPECT_EQ(Get(path, "Text", "k"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(LangFileCodePage, CodePageSelectsTheFileName) {
    EXPECT_EQ(LangFileNameForCodePage(936), "cn.dat");
    EXPECT_EQ(LangFileNameForCodePage(950), "tw.dat");
    for (const int other : {0, 437, 1252, 65001, -936}) {
        EXPECT_EQ(LangFileNameForCodePage(other), "") << other;
    }
}

TEST_F(LangFileTest, PathNamesTheLanguageFolderOfTheProgram) {
    const std::string name = LangFileNameForCodePage(LanguageCodePage);
    EXPECT_EQ(GetLangFilePath(), sandbox.ProgramDir() + "/language/" + name);
    // No language folder at all: every text is empty.
    EXPECT_EQ(LoadLangText("ProductName"), "");
}

TEST_F(LangFileTest, LoadLangTextReadsTheProgramsFileAfreshEachTime) {
    const std::string name = LangFileNameForCodePage(LanguageCodePage);
    if (name.empty()) {
        GTEST_SKIP() << "this build selects no language file";
    }
    const std::string target = sandbox.ProgramDir() + "/language/" + name;
    vtest::WriteFile(target, vtest::ReadFile(langtest::BuiltLanguageFile(name)));
    EXPECT_EQ(LoadLangText("ProductName"), "墨林工坊");
    EXPECT_EQ(LoadLangText("Title"), "") << "Title lives in the Message stream";
    // Nothing is cached: a replaced file is used at the next lookup.
    WriteCfb(target, {{"Text", Stored(Units(u"ProductName=changed\0\0"))}});
    EXPECT_EQ(LoadLangText("ProductName"), "changed");
    // Texts are cut to the 259 characters of the client's buffers.
    WriteCfb(target,
             {{"Text", Stored(u"ProductName=" + std::u16string(300, u'\x58A8') + std::u16string(2, u'\0'))}});
    EXPECT_EQ(os::Utf16Length(LoadLangText("ProductName")), 259u);
}

// Every key the client asks for, in its stream, for both shipped files.
TEST_F(LangFileTest, ShippedLanguageFilesHoldEveryKey) {
    const std::vector<std::string> messageKeys = {
        "Title",        "InitNodeDllFailed", "DeleteFileSuccess", "DeleteLocalFail",   "DeleteRecordFail",
        "LoginSuccess", "VerifyCodeIsEmpty", "InvalidMobile",     "VerifySendByPhone", "AuthorizationFailed",
        "Updating",     "UpdateFail",        "NotUpdate",         "NoVersion",         "HasUpdate",
        "CopyClipboard"};
    const std::vector<std::string> textKeys = {"DownloadComplete",  "Feedback",         "WeChatLogin",
                                               "QQLogin",           "CpatchaValidTime", "SendCpatchaAgain",
                                               "DownloadingUpdate", "ProductName",      "DownloadFailed"};
    for (const std::string file : {"cn.dat", "tw.dat"}) {
        const std::string path = langtest::BuiltLanguageFile(file);
        for (const auto& [stream, keys] : {std::pair{"Message", messageKeys}, std::pair{"Text", textKeys}}) {
            for (const std::string& key : keys) {
                bool found = false;
                std::string value;
                found = ReadLangEntry(stream, key, "", value, 100000, path);
                EXPECT_TRUE(found) << file << " " << stream << " " << key;
                EXPECT_FALSE(value.empty()) << file << " " << key;
                EXPECT_LE(os::Utf16Length(value), 259u) << file << " " << key;
            }
        }
        EXPECT_EQ(Get(path, "Text", "ProductName"), "墨林工坊") << file;
        // The send button's countdown is formatted with exactly one integer.
        const std::string countdown = Get(path, "Text", "CpatchaValidTime");
        const std::size_t percent = countdown.find('%');
        ASSERT_NE(percent, std::string::npos) << file;
        EXPECT_EQ(countdown.substr(percent, 2), "%d") << file;
        EXPECT_EQ(countdown.find('%', percent + 1), std::string::npos) << file;
    }
}

TEST(LangFileThreads, ConcurrentLookupsAllSucceed) {
    vtest::Sandbox sandbox;
    const std::string path = langtest::BuiltLanguageFile("cn.dat");
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                std::string value;
                if (!ReadLangEntry(t % 2 ? "Text" : "Message", t % 2 ? "ProductName" : "Title", "", value,
                                   260, path) ||
                    value != "墨林工坊") {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
