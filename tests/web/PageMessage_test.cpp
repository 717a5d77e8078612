// The reading of a store page's request: what is accepted, and everything a
// page could send that must be turned away without effect.

#include "web/PageMessage.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct Case {
    std::string name;
    std::string text;
    std::optional<PageMessage> expected;  // nothing: rejected
};

PageMessage Message(PageCommand command, std::string url = {}, std::string title = {}, std::int32_t id = 0) {
    return PageMessage{command, std::move(url), std::move(title), id};
}

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<PageMessage> got = DecodePageMessage(c.text);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.text.substr(0, 200);
        if (!got)
            continue;
        EXPECT_EQ(got->command, c.expected->command);
        EXPECT_EQ(got->url, c.expected->url);
        EXPECT_EQ(got->title, c.expected->title);
        EXPECT_EQ(got->id, c.expected->id);
    }
}

TEST(PageMessageTest, TheFourCommandsAreReadWithTheirMembersAndCommentsAllowed) {
    Check({
        {"login", R"({"action":"showlogin"})", Message(PageCommand::ShowLogin)},
        {"download with comments",
         "/* the template page */ {\"action\": \"down\", // the file\n"
         " \"url\": \"http://cdn.test/1234_年度报告.pptx?sign=1\", \"title\": \"年度报告\"}",
         Message(PageCommand::Down, "http://cdn.test/1234_年度报告.pptx?sign=1", "年度报告")},
        {"escaped title", R"({"action":"down","url":"u","title":"\u5e74\t\"q\""})",
         Message(PageCommand::Down, "u", "年\t\"q\"")},
        {"download without members", R"({"action":"down"})", Message(PageCommand::Down)},
        {"open", R"({"action":"opendoc","id":3})", Message(PageCommand::OpenDoc, "", "", 3)},
        {"delete", R"({"action":"deletedoc","id":5})", Message(PageCommand::DeleteDoc, "", "", 5)},
        {"delete without id", R"({"action":"deletedoc"})", Message(PageCommand::DeleteDoc)},
        {"other members ignored", R"({"action":"showlogin","extra":{"a":[1,2,{"b":null}]}})",
         Message(PageCommand::ShowLogin)},
    });
}

TEST(PageMessageTest, TheCommandNameIsComparedExactly) {
    Check({
        {"capital", R"({"action":"Down","url":"http://h/1_a.pptx"})", std::nullopt},
        {"upper case", R"({"action":"SHOWLOGIN"})", std::nullopt},
        {"blank after", R"({"action":"down "})", std::nullopt},
        {"prefix", R"({"action":"delete"})", std::nullopt},
        {"NUL inside", "{\"action\":\"down\\u0000x\"}", std::nullopt},
        {"empty", R"({"action":""})", std::nullopt},
        {"missing", R"({"url":"http://h/1_a.pptx"})", std::nullopt},
        {"not text", R"({"action":1})", std::nullopt},
        {"array", R"({"action":["down"]})", std::nullopt},
        {"key case", R"({"Action":"down"})", std::nullopt},
    });
}

TEST(PageMessageTest, MembersOfTheWrongTypeRejectTheWholeMessage) {
    Check({
        {"url number", R"({"action":"down","url":5})", std::nullopt},
        {"url null", R"({"action":"down","url":null})", std::nullopt},
        {"title object", R"({"action":"down","title":{"t":"x"}})", std::nullopt},
        {"title on another command", R"({"action":"showlogin","title":false})", std::nullopt},
        {"id text", R"({"action":"deletedoc","id":"5"})", std::nullopt},
        {"id bool", R"({"action":"deletedoc","id":true})", std::nullopt},
        {"id null", R"({"action":"deletedoc","id":null})", std::nullopt},
        {"id fraction", R"({"action":"deletedoc","id":5.5})", std::nullopt},
        {"id above 32 bits", R"({"action":"deletedoc","id":2147483648})", std::nullopt},
        {"id below 32 bits", R"({"action":"deletedoc","id":-2147483649})", std::nullopt},
        {"id huge", R"({"action":"deletedoc","id":1e300})", std::nullopt},
        // The edges of the range, and integral numbers however written.
        {"id highest", R"({"action":"deletedoc","id":2147483647})",
         Message(PageCommand::DeleteDoc, "", "", 2147483647)},
        {"id lowest", R"({"action":"deletedoc","id":-2147483648})",
         Message(PageCommand::DeleteDoc, "", "", -2147483647 - 1)},
        {"id as 5.0", R"({"action":"deletedoc","id":5.0})", Message(PageCommand::DeleteDoc, "", "", 5)},
        {"id as 1e3", R"({"action":"deletedoc","id":1e3})", Message(PageCommand::DeleteDoc, "", "", 1000)},
    });
}

TEST(PageMessageTest, TextThatIsNotOneJsonObjectIsRejected) {
    Check({
        {"empty", "", std::nullopt},
        {"blank", "   ", std::nullopt},
        {"cut", R"({"action":"showlogin")", std::nullopt},
        {"trailing comma", R"({"action":"showlogin",})", std::nullopt},
        {"array root", R"([{"action":"showlogin"}])", std::nullopt},
        {"text root", R"("showlogin")", std::nullopt},
        {"comment only", "// {\"action\":\"showlogin\"}", std::nullopt},
        {"single quotes", "{'action':'showlogin'}", std::nullopt},
    });
}

TEST(PageMessageTest, MalformedTextInMembersBecomesReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    Check({
        {"stray byte",
         "{\"action\":\"down\",\"title\":\"a\xFF"
         "b\"}",
         Message(PageCommand::Down, "", "a" + fffd + "b")},
        {"lone surrogate", R"({"action":"down","url":"http://h/\udc00.pptx","title":"x"})",
         // JsonCpp writes it as the three bytes ED B0 80, none of which
         // starts a well-formed character.
         Message(PageCommand::Down, "http://h/" + fffd + fffd + fffd + ".pptx", "x")},
        {"pair kept", R"({"action":"down","title":"\ud83d\ude00"})",
         Message(PageCommand::Down, "", "\xF0\x9F\x98\x80")},
    });
}

// A page cannot make the client parse megabytes or recurse deeply.
TEST(PageMessageTest, SizeAndNestingAreBounded) {
    const std::string head = R"({"action":"showlogin"})";
    const std::string atLimit = head + std::string(kMaxPageMessage - head.size(), ' ');
    auto nested = [](int depth) {
        return R"({"action":"opendoc","x":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
    };
    Check({
        {"at the limit", atLimit, Message(PageCommand::ShowLogin)},
        {"one byte over", atLimit + " ", std::nullopt},
        {"megabytes", head + std::string(8 << 20, ' '), std::nullopt},
        {"shallow nesting", nested(8), Message(PageCommand::OpenDoc)},
        {"deep nesting", nested(20000), std::nullopt},
        {"unclosed nesting", R"({"action":"opendoc","x":)" + std::string(30000, '['), std::nullopt},
    });
}

}  // namespace
