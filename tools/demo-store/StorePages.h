#pragma once
// The demo store's web pages as a browser engine shows them: the store pages
// of the client's tabs (template cards whose "下载" asks the client for a
// download, a "登录" link that asks it for the login dialog, the user's
// downloads with "删除"), the QQ and WeChat sign-in pages with a demo-account
// button, and the feedback form. Real HTML, CSS and script; every request to
// the client goes through the page function VantoClient.send(text), which
// the client's web engine defines. The pages work without it too (a browser
// shows them; the buttons then say the client is missing).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace demostore {

struct StoreTemplate {
    std::int64_t id;
    const char* kind;  // "ppt", "word", "excel", or "pack" for the large file
    const char* title;
    const char* colour;  // of its picture
};

// The catalogue, in the order the pages show it.
const std::vector<StoreTemplate>& TemplateCatalogue();
std::optional<StoreTemplate> FindTemplate(std::int64_t id);
// "pptx", "docx", "xlsx" or "zip".
const char* TemplateExtension(const StoreTemplate& item);
// The large generated file (LargeFile), served from disk; the others are
// built in memory (TemplateFiles.h).
bool IsLargeFile(const StoreTemplate& item);
// "/files/<id>_<title>.<ext>" on the client-page host.
std::string TemplateFilePath(const StoreTemplate& item);

struct PageUser {
    std::string phone;
    std::vector<std::int64_t> downloads;
};

// A store page: `kind` is "" (every template), "ppt", "word" or "excel";
// `channel` the home address's "c" value, kept in its links.
std::string StorePageHtml(const std::string& title, const std::string& kind,
                          const std::optional<PageUser>& user, const std::string& channel);
std::string FavouritesPageHtml(const std::optional<PageUser>& user);
std::string DownloadsPageHtml(const std::optional<PageUser>& user);
// The picture of a template card (SVG).
std::string TemplatePictureSvg(const StoreTemplate& item);

// A sign-in page: "以演示账号登录" hands back `token` as the sign-in result,
// "取消" a failed result.
std::string SignInPageHtml(const std::string& kind, const std::string& token, const std::string& nickname);
std::string FeedbackPageHtml();

}  // namespace demostore
