#include "demo-store/HttpUtil.h"

#include <algorithm>
#include <memory>

namespace demostore {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

QueryList ParseQuery(const std::string& target) {
    QueryList query;
    const std::size_t mark = target.find('?');
    if (mark == std::string::npos) {
        return query;
    }
    std::size_t start = mark + 1;
    while (start <= target.size()) {
        std::size_t end = target.find('&', start);
        if (end == std::string::npos) {
            end = target.size();
        }
        const std::string item = target.substr(start, end - start);
        if (!item.empty()) {
            const std::size_t equals = item.find('=');
            if (equals == std::string::npos) {
                query.emplace_back(PercentDecode(item), std::string());
            } else {
                query.emplace_back(PercentDecode(item.substr(0, equals)),
                                   PercentDecode(item.substr(equals + 1)));
            }
        }
        start = end + 1;
    }
    return query;
}

std::optional<std::string> QueryValue(const QueryList& query, const std::string& key) {
    for (const auto& [k, v] : query) {
        if (k == key) {
            return v;
        }
    }
    return std::nullopt;
}

bool QueryKeysAre(const QueryList& query, const std::vector<std::string>& keys) {
    if (query.size() != keys.size()) {
        return false;
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (query[i].first != keys[i]) {
            return false;
        }
    }
    return true;
}

void ReplyJson(httplib::Response& res, int status, const Json::Value& json) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    res.status = status;
    res.set_content(Json::writeString(builder, json), "application/json; charset=utf-8");
}

void ReplyEnvelope(httplib::Response& res, int code, const std::string& msg, const Json::Value& data) {
    Json::Value json(Json::objectValue);
    json["code"] = code;
    json["msg"] = msg;
    json["data"] = data;
    ReplyJson(res, 200, json);
}

void ReplyRefusal(httplib::Response& res, const std::string& msg) {
    ReplyEnvelope(res, 0, msg);
}

void ReplyHtml(httplib::Response& res, const std::string& title, const std::string& bodyHtml) {
    res.status = 200;
    res.set_content("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" +
                        HtmlEscape(title) + "</title></head>\n<body>\n<h1>" + HtmlEscape(title) + "</h1>\n" +
                        bodyHtml + "\n</body></html>\n",
                    "text/html; charset=utf-8");
}

void ReplyText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text, "text/plain");
}

std::optional<std::string> HeaderValue(const httplib::Request& req, const std::string& name) {
    if (!req.has_header(name)) {
        return std::nullopt;
    }
    return req.get_header_value(name);
}

std::string ClientContentType(const httplib::Request& req) {
    if (req.has_header(kStashedContentType)) {
        return req.get_header_value(kStashedContentType);
    }
    return req.get_header_value("Content-Type");
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool IsDecimal(const std::string& text, bool allowMinus) {
    std::size_t start = allowMinus && !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > start && text.size() - start <= 18 &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool ParseStrictJson(const std::string& text, Json::Value& value) {
    Json::CharReaderBuilder builder;
    Json::Value settings;
    Json::CharReaderBuilder::strictMode(&settings);
    builder.settings_ = settings;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
}

}  // namespace demostore
