#include "demo-store/TemplateFiles.h"

#include "demo-store/HttpUtil.h"
#include "demo-store/ZipWriter.h"

namespace demostore {
namespace {

constexpr const char* kXml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr const char* kRels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kPackageRels = "http://schemas.openxmlformats.org/package/2006/relationships";

std::string Relationships(const std::string& entries) {
    return std::string(kXml) + "<Relationships xmlns=\"" + kPackageRels + "\">" + entries +
           "</Relationships>";
}

std::string Relationship(const std::string& id, const std::string& type, const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRels + "/" + type + "\" Target=\"" + target + "\"/>";
}

std::string ContentTypes(const std::string& overrides) {
    return std::string(kXml) +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>" +
           overrides + "</Types>";
}

std::string Override(const std::string& part, const std::string& type) {
    return "<Override PartName=\"" + part +
           "\" ContentType=\"application/vnd.openxmlformats-officedocument." + type + "\"/>";
}

std::string Document(const std::string& title) {
    ZipWriter zip;
    zip.Add("[Content_Types].xml",
            ContentTypes(Override("/word/document.xml", "wordprocessingml.document.main+xml")));
    zip.Add("_rels/.rels", Relationships(Relationship("rId1", "officeDocument", "word/document.xml")));
    zip.Add(
        "word/document.xml",
        std::string(kXml) +
            "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
            "<w:p><w:r><w:rPr><w:b/><w:sz w:val=\"44\"/></w:rPr><w:t>" +
            HtmlEscape(title) +
            "</w:t></w:r></w:p><w:p><w:r><w:t>在这里输入正文。</w:t></w:r></w:p>"
            "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr></w:body></w:document>");
    return zip.Finish();
}

std::string Workbook(const std::string& title) {
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    ZipWriter zip;
    zip.Add("[Content_Types].xml",
            ContentTypes(Override("/xl/workbook.xml", "spreadsheetml.sheet.main+xml") +
                         Override("/xl/worksheets/sheet1.xml", "spreadsheetml.worksheet+xml")));
    zip.Add("_rels/.rels", Relationships(Relationship("rId1", "officeDocument", "xl/workbook.xml")));
    zip.Add("xl/workbook.xml",
            std::string(kXml) + "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + kRels +
                "\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    zip.Add("xl/_rels/workbook.xml.rels",
            Relationships(Relationship("rId1", "worksheet", "worksheets/sheet1.xml")));
    zip.Add(
        "xl/worksheets/sheet1.xml",
        std::string(kXml) + "<worksheet xmlns=\"" + main +
            "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" + HtmlEscape(title) +
            "</t></is></c></row><row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>项目</t></is></c>"
            "<c r=\"B2\" t=\"inlineStr\"><is><t>金额</t></is></c></row><row r=\"3\"><c r=\"A3\" "
            "t=\"inlineStr\"><is><t>合计</t></is></c><c r=\"B3\"><v>0</v></c></row></sheetData></worksheet>");
    return zip.Finish();
}

// The smallest presentation office suites open: one master with its layout
// and theme, one slide with the title.
std::string Presentation(const std::string& title) {
    const std::string p = "http://schemas.openxmlformats.org/presentationml/2006/main";
    const std::string a = "http://schemas.openxmlformats.org/drawingml/2006/main";
    const std::string ns = "xmlns:a=\"" + a + "\" xmlns:r=\"" + kRels + "\" xmlns:p=\"" + p + "\"";
    const std::string emptyTree =
        "<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
        "<p:grpSpPr/></p:spTree></p:cSld>";
    const std::string solid = "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>";
    const std::string line = "<a:ln w=\"9525\">" + solid + "</a:ln>";
    const std::string theme =
        std::string(kXml) + "<a:theme xmlns:a=\"" + a +
        "\" name=\"Vanto\"><a:themeElements><a:clrScheme name=\"Vanto\">"
        "<a:dk1><a:srgbClr val=\"000000\"/></a:dk1><a:lt1><a:srgbClr val=\"FFFFFF\"/></a:lt1>"
        "<a:dk2><a:srgbClr val=\"1F497D\"/></a:dk2><a:lt2><a:srgbClr val=\"EEECE1\"/></a:lt2>"
        "<a:accent1><a:srgbClr val=\"2F6FDF\"/></a:accent1><a:accent2><a:srgbClr val=\"D9463B\"/></a:accent2>"
        "<a:accent3><a:srgbClr val=\"3AA757\"/></a:accent3><a:accent4><a:srgbClr val=\"6B5BD6\"/></a:accent4>"
        "<a:accent5><a:srgbClr val=\"0F8B8D\"/></a:accent5><a:accent6><a:srgbClr val=\"C27C0E\"/></a:accent6>"
        "<a:hlink><a:srgbClr val=\"0000FF\"/></a:hlink><a:folHlink><a:srgbClr val=\"800080\"/></a:folHlink>"
        "</a:clrScheme><a:fontScheme name=\"Vanto\"><a:majorFont><a:latin typeface=\"Calibri\"/><a:ea "
        "typeface=\"\"/><a:cs typeface=\"\"/></a:majorFont><a:minorFont><a:latin typeface=\"Calibri\"/><a:ea "
        "typeface=\"\"/><a:cs typeface=\"\"/></a:minorFont></a:fontScheme><a:fmtScheme name=\"Vanto\">"
        "<a:fillStyleLst>" +
        solid + solid + solid + "</a:fillStyleLst><a:lnStyleLst>" + line + line + line +
        "</a:lnStyleLst><a:effectStyleLst><a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle>"
        "<a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle></a:effectStyleLst>"
        "<a:bgFillStyleLst>" +
        solid + solid + solid + "</a:bgFillStyleLst></a:fmtScheme></a:themeElements></a:theme>";

    ZipWriter zip;
    zip.Add("[Content_Types].xml",
            ContentTypes(Override("/ppt/presentation.xml", "presentationml.presentation.main+xml") +
                         Override("/ppt/slideMasters/slideMaster1.xml", "presentationml.slideMaster+xml") +
                         Override("/ppt/slideLayouts/slideLayout1.xml", "presentationml.slideLayout+xml") +
                         Override("/ppt/slides/slide1.xml", "presentationml.slide+xml") +
                         Override("/ppt/theme/theme1.xml", "theme+xml")));
    zip.Add("_rels/.rels", Relationships(Relationship("rId1", "officeDocument", "ppt/presentation.xml")));
    zip.Add("ppt/presentation.xml",
            std::string(kXml) + "<p:presentation " + ns +
                "><p:sldMasterIdLst><p:sldMasterId id=\"2147483648\" r:id=\"rId1\"/></p:sldMasterIdLst>"
                "<p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/></p:sldIdLst><p:sldSz cx=\"12192000\" "
                "cy=\"6858000\"/><p:notesSz cx=\"6858000\" cy=\"9144000\"/></p:presentation>");
    zip.Add("ppt/_rels/presentation.xml.rels",
            Relationships(Relationship("rId1", "slideMaster", "slideMasters/slideMaster1.xml") +
                          Relationship("rId2", "slide", "slides/slide1.xml") +
                          Relationship("rId3", "theme", "theme/theme1.xml")));
    zip.Add(
        "ppt/slideMasters/slideMaster1.xml",
        std::string(kXml) + "<p:sldMaster " + ns + ">" + emptyTree +
            "<p:clrMap bg1=\"lt1\" tx1=\"dk1\" bg2=\"lt2\" tx2=\"dk2\" accent1=\"accent1\" "
            "accent2=\"accent2\" "
            "accent3=\"accent3\" accent4=\"accent4\" accent5=\"accent5\" accent6=\"accent6\" hlink=\"hlink\" "
            "folHlink=\"folHlink\"/><p:sldLayoutIdLst><p:sldLayoutId id=\"2147483649\" r:id=\"rId1\"/>"
            "</p:sldLayoutIdLst></p:sldMaster>");
    zip.Add("ppt/slideMasters/_rels/slideMaster1.xml.rels",
            Relationships(Relationship("rId1", "slideLayout", "../slideLayouts/slideLayout1.xml") +
                          Relationship("rId2", "theme", "../theme/theme1.xml")));
    zip.Add("ppt/slideLayouts/slideLayout1.xml", std::string(kXml) + "<p:sldLayout " + ns +
                                                     " type=\"blank\">" + emptyTree +
                                                     "<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr>"
                                                     "</p:sldLayout>");
    zip.Add("ppt/slideLayouts/_rels/slideLayout1.xml.rels",
            Relationships(Relationship("rId1", "slideMaster", "../slideMasters/slideMaster1.xml")));
    zip.Add(
        "ppt/slides/slide1.xml",
        std::string(kXml) + "<p:sld " + ns +
            "><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/>"
            "</p:nvGrpSpPr><p:grpSpPr/><p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Title\"/><p:cNvSpPr "
            "txBox=\"1\"/><p:nvPr/></p:nvSpPr><p:spPr><a:xfrm><a:off x=\"914400\" y=\"2743200\"/><a:ext "
            "cx=\"10363200\" cy=\"1371600\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom>"
            "</p:spPr><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang=\"zh-CN\" sz=\"4400\"/><a:t>" +
            HtmlEscape(title) +
            "</a:t></a:r></a:p></p:txBody></p:sp></p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/>"
            "</p:clrMapOvr></p:sld>");
    zip.Add("ppt/slides/_rels/slide1.xml.rels",
            Relationships(Relationship("rId1", "slideLayout", "../slideLayouts/slideLayout1.xml")));
    zip.Add("ppt/theme/theme1.xml", theme);
    return zip.Finish();
}

}  // namespace

std::string TemplateFileBytes(const StoreTemplate& item) {
    const std::string kind = item.kind;
    if (kind == "ppt")
        return Presentation(item.title);
    if (kind == "word")
        return Document(item.title);
    return Workbook(item.title);
}

std::string TemplateContentType(const StoreTemplate& item) {
    const std::string kind = item.kind;
    const std::string base = "application/vnd.openxmlformats-officedocument.";
    if (kind == "ppt")
        return base + "presentationml.presentation";
    if (kind == "word")
        return base + "wordprocessingml.document";
    if (kind == "pack")
        return "application/zip";
    return base + "spreadsheetml.sheet";
}

}  // namespace demostore
