#include "demo-store/FileService.h"

#include "demo-store/HttpUtil.h"

namespace demostore {

bool IsVersionFilePath(Service service, const std::string& path) {
    if (service == Service::Update) {
        return path == "/windows/newversion.htm";
    }
    // "/<toolbox name>/version.html"
    const std::string tail = "/version.html";
    return service == Service::Toolbox && path.size() > tail.size() + 1 &&
           path.compare(path.size() - tail.size(), tail.size(), tail) == 0 &&
           path.find('/', 1) == path.size() - tail.size();
}

FileService::FileService(StoreContext& context) : m_context(context) {}

void FileService::Handle(Service service, const httplib::Request& req, httplib::Response& res) {
    if (req.method != "GET" && req.method != "HEAD") {
        ReplyText(res, 405, "method not allowed\n");
        return;
    }
    if (IsVersionFilePath(service, req.path)) {
        const std::string expected =
            "Basic " + Base64Encode(std::string(kVersionFileUser) + ":" + kVersionFilePassword);
        if (HeaderValue(req, "Authorization") != expected) {
            res.set_header("WWW-Authenticate", "Basic realm=\"vanto\"");
            ReplyText(res, 401, "unauthorized\n");
            return;
        }
    }
    const auto file = m_context.files.Find(service, req.path);
    if (!file || !m_context.replies.Serve(res, *file, ServedFiles::ContentType(req.path))) {
        ReplyText(res, 404, "not found\n");
    }
}

}  // namespace demostore
