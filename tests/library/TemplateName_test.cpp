#include "library/TemplateName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    const char* url;
    const char* fileName;  // null: the request is dropped
};

TEST(TemplateNameTest, TheFileNameIsTheLastPathPieceBeforeAnyQueryAndBadAddressesHaveNone) {
    const std::string longName(256, 'a');
    const std::string longUrl = "http://h/" + std::string(496, 'd') + "/a.pptx";  // 512 bytes
    const NameCase cases[] = {
        {"http://h/files/1234_年度报告.pptx", "1234_年度报告.pptx"},
        {"https://h/files/1234_a.pptx?sign=1/2", "1234_a.pptx"},  // a "/" in the query is not the path's
        {"https://h/files/1234_a.pptx?sign=x", "1234_a.pptx"},
        {"HTTP://h/f/1234_a.docx&t=1", "1234_a.docx"},
        {"http://h/f/a.xlsx?x&y", "a.xlsx"},
        {"http://h", nullptr},
        {"http://h/", nullptr},
        {"http://h/f/?x", nullptr},
        {"http://h/f/..", nullptr},
        {"file:///etc/passwd", nullptr},
        {"javascript:alert(1)//a.pptx", nullptr},
        {"ftp://h/a.pptx", nullptr},
        {"http://h/a\nb.pptx", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto name = TemplateFileName(c.url);
        if (c.fileName == nullptr)
            EXPECT_FALSE(name.has_value()) << c.url;
        else
            EXPECT_EQ(name.value_or("<none>"), c.fileName) << c.url;
    }
    EXPECT_TRUE(TemplateFileName("http://h/" + longName.substr(1)).has_value());
    EXPECT_FALSE(TemplateFileName("http://h/" + longName).has_value());
    EXPECT_EQ(longUrl.size(), 512u);
    EXPECT_FALSE(TemplateFileName(longUrl).has_value());
    EXPECT_TRUE(TemplateFileName("http://h/" + std::string(495, 'd') + "/a.pptx").has_value());
    EXPECT_FALSE(TemplateFileName(std::string("http://h/a\0b.pptx", 17)).has_value());
}

TEST(TemplateNameTest, DocumentIdsExtensionsAndFilters) {
    struct Case {
        const char* name;
        const char* requestId;
        const char* completionId;
        const char* extension;
        const char* filter;
    };
    const Case cases[] = {
        {"1234_年度报告.pptx", "1234", "1234", "pptx", "PPT文档(*.pptx)"},
        {"77_a_b.xlsx", "77_a", "77_a", "xlsx", "EXCEL文档(*.xlsx)"},
        {"5_x.docx", "5", "5", "docx", "WORD文档(*.docx)"},
        {"report.pptx", "report.pptx", "report.pptx", "pptx", "PPT文档(*.pptx)"},
        {"9_pack.tar.gz", "9", "9", "tar.gz", "ALL Files(*.*)"},
        {"noext", "noext", "noext", "noext", "ALL Files(*.*)"},
        {"dir\\12_a.PPTX", "12", "dir\\12", "PPTX", "ALL Files(*.*)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DocumentIdAtRequest(c.name), c.requestId) << c.name;
        EXPECT_EQ(DocumentIdAtCompletion(c.name), c.completionId) << c.name;
        EXPECT_EQ(TemplateExtension(c.name), c.extension) << c.name;
        EXPECT_EQ(SaveFilterFor(TemplateExtension(c.name)).first, c.filter) << c.name;
    }
    EXPECT_EQ(SaveFilterFor("pptx").second, "*.pptx;");
    EXPECT_EQ(SaveFilterFor("zip").second, "*.*;");
}

TEST(TemplateNameTest, TheProposedNameLosesSeparatorsAndNulAndIsCutWithinACharacter) {
    EXPECT_EQ(ProposedSaveName("../../etc/年度报告"), "....etc年度报告");
    EXPECT_EQ(ProposedSaveName(std::string("a\0b", 3)), "ab");
    std::string cjk;
    for (int i = 0; i < 300; ++i)
        cjk += "报";
    EXPECT_EQ(ProposedSaveName(cjk).size(), 259u * 3);
    // A character outside the basic plane counts two units and is never split.
    std::string astral;
    for (int i = 0; i < 130; ++i)
        astral += "\xF0\x9F\x98\x80";
    EXPECT_EQ(ProposedSaveName(astral).size(), 129u * 4);
}

}  // namespace
