#include "platform/duilib/UILabel.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {
using Kind = TMarkupRun::Kind;
}

TEST(Markup, TagsSplitTheTextIntoStyledRuns) {
    const auto runs =
        ParseMarkup("Hi {f 2}big {b}bold{/b}{/f}{x 8}{i file='logo.png'}{n}{c #FFFF0000}red{/c}");
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[0].text, "Hi ");
    EXPECT_EQ(runs[0].font, -1);
    EXPECT_EQ(runs[1].text, "big ");
    EXPECT_EQ(runs[1].font, 2);
    EXPECT_FALSE(runs[1].bold);
    EXPECT_EQ(runs[2].text, "bold");
    EXPECT_TRUE(runs[2].bold);
    EXPECT_EQ(runs[2].font, 2);
    EXPECT_EQ(runs[3].kind, Kind::Space);
    EXPECT_EQ(runs[3].space, 8);
    EXPECT_EQ(runs[4].kind, Kind::Image);
    EXPECT_EQ(runs[4].text, "file='logo.png'");
    EXPECT_EQ(runs[5].kind, Kind::NewLine);
    EXPECT_EQ(runs[6].text, "red");
    EXPECT_EQ(runs[6].color, 0xFFFF0000u);
    EXPECT_EQ(MarkupPlainText("Hi {f 2}big {b}bold{/b}{/f}{n}x"), "Hi big bold\nx");
}

TEST(Markup, UnknownUnterminatedAndUnmatchedTagsAreLiteralText) {
    EXPECT_EQ(MarkupPlainText("a {unknown} b"), "a {unknown} b");
    EXPECT_EQ(MarkupPlainText("open {f 1 and never closed"), "open {f 1 and never closed");
    EXPECT_EQ(MarkupPlainText("{/b}{/f}{/c}"), "{/b}{/f}{/c}");
    EXPECT_EQ(MarkupPlainText("{f x}{x}{c nope}{i }"), "{f x}{x}{c nope}{i }");
    EXPECT_EQ(MarkupPlainText("{{b}}"), "{}");
    EXPECT_EQ(MarkupPlainText("{"), "{");
    EXPECT_EQ(MarkupPlainText(""), "");
    // An open tag with no close simply lasts to the end.
    const auto runs = ParseMarkup("{b}bold to the end");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].bold);
}

TEST(Markup, ALabelOfManyOpenBracesIsReadInOnePass) {
    // Each '{' used to search the rest of the text for its '}': 4 MiB of them
    // took minutes of the UI thread.
    const std::string braces(4u << 20, '{');
    EXPECT_EQ(MarkupPlainText(braces), braces);
    EXPECT_EQ(MarkupPlainText(braces + "{b}x{/b}"), braces + "x");
}

TEST(ImageString, PlainNamesAndKeyedFormsParse) {
    EXPECT_EQ(ParseImageString("btn_close.png").file, "btn_close.png");
    const TImageInfo info = ParseImageString(
        "file='../default/button/x.png' source='0,0,20,20' dest='1,1,19,19' corner='2,2,2,2' fade='128' "
        "restype='fullpath' mask='#FFFF00FF' xtiled='true'");
    EXPECT_EQ(info.file, "../default/button/x.png");
    EXPECT_TRUE(info.hasSource);
    EXPECT_EQ(info.source, (RECT{0, 0, 20, 20}));
    EXPECT_TRUE(info.hasDest);
    EXPECT_EQ(info.dest, (RECT{1, 1, 19, 19}));
    EXPECT_EQ(info.corner, (RECT{2, 2, 2, 2}));
    EXPECT_EQ(info.fade, 128);
    EXPECT_EQ(info.resType, "fullpath");
    EXPECT_EQ(info.mask, 0xFFFF00FFu);
    EXPECT_TRUE(info.xTiled);
}

TEST(ImageString, MalformedInputGivesABestEffort) {
    EXPECT_EQ(ParseImageString("file='a.png").file, "a.png");  // unterminated quote
    const TImageInfo bad = ParseImageString("file='a.png' source='1,2' fade='900' junk = = ' '");
    EXPECT_EQ(bad.file, "a.png");
    EXPECT_FALSE(bad.hasSource);
    EXPECT_EQ(bad.fade, 255);
    EXPECT_EQ(ParseImageString("").file, "");
    EXPECT_EQ(ParseImageString("='").file, "");
}

TEST(Measure, BuiltInMetricCountsNarrowAndWideCharacters) {
    TFontInfo font;
    font.size = 12;
    EXPECT_EQ(MeasureText(font, "abcd"), (SIZE{24, 15}));
    EXPECT_EQ(MeasureText(font, "中文"), (SIZE{24, 15}));
    EXPECT_EQ(MeasureText(font, "\U0001F600").cx, 12);
    font.bold = true;
    EXPECT_EQ(MeasureText(font, "ab").cx, 14);
    // A back end's measurer replaces the metric, and can be removed again.
    auto old = SetTextMeasurer([](const TFontInfo&, std::string_view text) {
        return SIZE{static_cast<long>(text.size()), 1};
    });
    EXPECT_EQ(MeasureText(font, "abc"), (SIZE{3, 1}));
    SetTextMeasurer(old);
    EXPECT_EQ(MeasureText(font, "ab").cx, 14);
}

TEST(Measure, LabelsSizeTheirMarkupWithTheWindowFonts) {
    CPaintManagerUI manager;
    TFontInfo big;
    big.id = 3;
    big.size = 20;
    manager.AddFont(big);
    auto* label = new CLabelUI;
    label->SetShowHtml(true);
    label->SetText("ab{f 3}cd{/f}{x 5}");
    manager.AttachDialog(label);
    // "ab" at 12 (12 wide), "cd" at 20 (20 wide), 5 pixels of space; the
    // line is as high as its tallest run.
    EXPECT_EQ(label->MeasureContent(), (SIZE{37, 25}));
    EXPECT_EQ(label->GetDisplayText(), "abcd");
    // Without a fixed height a label is as high as its text.
    EXPECT_EQ(label->EstimateSize(SIZE{100, 100}).cy, 25);
}

TEST(ResourceNames, NormalisationKeepsNamesInsideTheRoot) {
    EXPECT_EQ(NormalizeResourceName("../default/button/X.png"), "default/button/x.png");
    EXPECT_EQ(NormalizeResourceName("skin\\.\\Main\\..\\dlg.XML"), "skin/dlg.xml");
    EXPECT_EQ(NormalizeResourceName("/a//b/"), "a/b");
    EXPECT_EQ(NormalizeResourceName("../../.."), "");
    EXPECT_EQ(NormalizeResourceName("A/B", true), "A/B");
}
