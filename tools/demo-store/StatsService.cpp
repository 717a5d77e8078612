#include "demo-store/StatsService.h"

#include <ctime>

#include "demo-store/FileUtil.h"
#include "demo-store/HttpUtil.h"
#include "demo-store/MultipartForm.h"
#include "demo-store/ReportDecoder.h"

namespace demostore {
namespace {

// A file name for the store's copy of an upload: the last part of the path
// the client named, with anything but letters, digits, "." "-" "_" replaced.
std::string SafeBaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char& c : name) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        c == '.' || c == '-' || c == '_';
        if (!ok) {
            c = '_';
        }
    }
    if (name.empty() || name[0] == '.') {
        name = "file" + name;
    }
    return name.substr(0, 100);
}

}  // namespace

StatsService::StatsService(StoreContext& context) : m_context(context) {}

std::string StatsService::NextName() {
    return std::to_string(std::time(nullptr)) + "-" + std::to_string(++m_counter);
}

void StatsService::Handle(const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/action.ashx" && req.method == "POST") {
        ActionReport(req, res);
    } else if (req.path == "/errorfile.ashx" && req.method == "POST") {
        ErrorFile(req, res);
    } else if (req.path == "/action.ashx" || req.path == "/errorfile.ashx") {
        ReplyText(res, 405, "method not allowed\n");
    } else {
        ReplyText(res, 404, "not found\n");
    }
}

void StatsService::ActionReport(const httplib::Request& req, httplib::Response& res) {
    DecodedReport report;
    if (ClientContentType(req) != "application/x-www-form-urlencoded") {
        report.reason = "Content-Type is not application/x-www-form-urlencoded";
    } else if (!ParseQuery(req.target).empty()) {
        report.reason = "the address carries a query";
    } else {
        report = ReportDecoder::Decode(req.body);
    }
    Json::Value kept(Json::objectValue);
    kept["accepted"] = report.accepted;
    kept["reason"] = report.reason;
    kept["text"] = report.text;
    kept["members"] = report.members;
    kept["styled"] = report.styled;
    kept["body"] = req.body;
    const std::string file = m_context.dataDir + "/reports/" + NextName() + ".json";
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;
    if (!WriteFileAtomic(file, Json::writeString(builder, kept) + "\n", 0600)) {
        // A report the store cannot keep is not accepted: the client keeps it for later.
        kept["accepted"] = false;
        kept["reason"] = "cannot write " + file;
    } else {
        kept["file"] = file;
    }
    const bool accepted = kept["accepted"].asBool();
    m_context.log.AddReport(kept);
    ReplyText(res, 200, accepted ? "1" : "0");
}

void StatsService::ErrorFile(const httplib::Request& req, httplib::Response& res) {
    Json::Value kept(Json::objectValue);
    std::string error;
    const QueryList query = ParseQuery(req.target);
    MultipartForm form;
    if (!QueryKeysAre(query, {"aid", "v", "os"}) || !IsDecimal(*QueryValue(query, "aid"))) {
        error = "the address's query is not aid=<number>&v=<version>&os=<system>";
    } else if (!req.has_header("Content-Length")) {
        error = "the upload has no Content-Length";
    } else if (form.Parse(ClientContentType(req), req.body, error)) {
        if (form.Parts().size() != 1 || form.Parts()[0].name != "file" || !form.Parts()[0].fileName ||
            form.Parts()[0].fileName->empty()) {
            error = "the form does not hold exactly one file part named \"file\"";
        }
    }
    if (!query.empty()) {
        for (const auto& [key, value] : query) {
            kept["query"][key] = value;
        }
    }
    kept["boundary"] = form.Boundary();
    if (error.empty()) {
        const FormPart& part = form.Parts()[0];
        const std::string file =
            m_context.dataDir + "/uploads/" + NextName() + "-" + SafeBaseName(*part.fileName);
        kept["file_name"] = *part.fileName;
        kept["content_type"] = part.contentType;
        kept["size"] = static_cast<Json::UInt64>(part.data.size());
        if (WriteFileAtomic(file, part.data, 0600)) {
            kept["stored"] = file;
        } else {
            error = "cannot write " + file;
        }
    }
    kept["accepted"] = error.empty();
    kept["reason"] = error;
    m_context.log.AddUpload(kept);
    ReplyText(res, 200, error.empty() ? "1" : "0");
}

}  // namespace demostore
