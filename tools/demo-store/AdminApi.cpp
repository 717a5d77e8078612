#include "demo-store/AdminApi.h"

#include <unistd.h>

#include <memory>

#include "demo-store/HttpUtil.h"

namespace demostore {
namespace {

void ReplyError(httplib::Response& res, int status, const std::string& error) {
    Json::Value json(Json::objectValue);
    json["error"] = error;
    ReplyJson(res, status, json);
}

void ReplyOk(httplib::Response& res) {
    Json::Value json(Json::objectValue);
    json["ok"] = true;
    ReplyJson(res, 200, json);
}

bool ParseBody(const httplib::Request& req, Json::Value& json) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(req.body.data(), req.body.data() + req.body.size(), &json, &errors);
}

}  // namespace

AdminApi::AdminApi(StoreContext& context, std::function<void()> forgetCodes)
    : m_context(context), m_forgetCodes(std::move(forgetCodes)) {}

void AdminApi::Handle(const httplib::Request& req, httplib::Response& res) {
    const std::string& path = req.path;
    const std::string& method = req.method;
    if (method == "GET" && path == "/") {
        Json::Value json(Json::objectValue);
        json["data"] = m_context.dataDir;
        json["pid"] = static_cast<Json::Int64>(getpid());
        json["admin"] = m_context.adminPort;
        for (Service service : kAllServices) {
            json["ports"][std::string(ServiceName(service))] = m_context.Port(service);
        }
        ReplyJson(res, 200, json);
    } else if (method == "GET" && path == "/requests") {
        std::optional<Service> service;
        if (req.has_param("service")) {
            service = ServiceByName(req.get_param_value("service"));
            if (!service) {
                ReplyError(res, 400, "unknown service " + req.get_param_value("service"));
                return;
            }
        }
        ReplyJson(res, 200, m_context.log.Requests(service));
    } else if (method == "GET" && path == "/reports") {
        ReplyJson(res, 200, m_context.log.Reports());
    } else if (method == "GET" && path == "/uploads") {
        ReplyJson(res, 200, m_context.log.Uploads());
    } else if (method == "GET" && path == "/sms") {
        ReplyJson(res, 200, m_context.log.SmsCodes());
    } else if (method == "GET" && path == "/faults") {
        ReplyJson(res, 200, m_context.faults.ToJson());
    } else if (method == "POST" && path == "/faults") {
        SetFault(req, res);
    } else if (method == "DELETE" && path == "/faults") {
        m_context.faults.Clear();
        ReplyOk(res);
    } else if (method == "POST" && path == "/reset") {
        Reset(req, res);
    } else if (method == "GET" && path == "/users") {
        ReplyJson(res, 200, m_context.users.ToJson());
    } else if (method == "PUT" && path.rfind("/users/", 0) == 0) {
        PutUser(req, res);
    } else if (method == "POST" && path == "/tokens") {
        IssueToken(req, res);
    } else if (method == "PUT" && path.rfind("/files/", 0) == 0) {
        PutFile(req, res);
    } else {
        ReplyError(res, 404, "no such admin call: " + method + " " + path);
    }
}

void AdminApi::SetFault(const httplib::Request& req, httplib::Response& res) {
    Json::Value json;
    Fault fault;
    std::string error;
    if (!ParseBody(req, json) || !json.isObject()) {
        ReplyError(res, 400, "the body is not a JSON object");
        return;
    }
    const auto service = ServiceByName(json["service"].asString());
    if (!service) {
        ReplyError(res, 400,
                   "\"service\" must be one of store, client, update, toolbox, stats, feedback, service");
        return;
    }
    const std::string path = json.isMember("path") ? json["path"].asString() : "*";
    if (path.empty() || (path != "*" && path[0] != '/')) {
        ReplyError(res, 400, "\"path\" is a path beginning with \"/\", or \"*\"");
        return;
    }
    if (!Fault::FromJson(json, fault, error)) {
        ReplyError(res, 400, error);
        return;
    }
    m_context.faults.Set(*service, path, fault);
    ReplyOk(res);
}

void AdminApi::Reset(const httplib::Request& req, httplib::Response& res) {
    Json::Value json(Json::objectValue);
    if (!req.body.empty() && (!ParseBody(req, json) || !json.isObject())) {
        ReplyError(res, 400, "the body is not a JSON object");
        return;
    }
    m_context.faults.Clear();
    m_context.log.Clear();
    m_forgetCodes();
    std::string error;
    if (json["users"].asBool() && !m_context.users.ResetToSample(error)) {
        ReplyError(res, 500, error);
        return;
    }
    ReplyOk(res);
}

void AdminApi::PutUser(const httplib::Request& req, httplib::Response& res) {
    Json::Value json;
    std::string error;
    if (!ParseBody(req, json)) {
        ReplyError(res, 400, "the body is not JSON");
        return;
    }
    const std::string phone = req.path.substr(std::string("/users/").size());
    if (!m_context.users.Update(phone, json, error)) {
        ReplyError(res, 400, error);
        return;
    }
    ReplyJson(res, 200, m_context.users.FindByPhone(phone)->ToJson());
}

void AdminApi::IssueToken(const httplib::Request& req, httplib::Response& res) {
    Json::Value json;
    if (!ParseBody(req, json) || !json.isObject() || !json["phone"].isString() ||
        !IsMobileNumber(json["phone"].asString())) {
        ReplyError(res, 400, "the body must be {\"phone\":\"<11-digit mobile number>\"}");
        return;
    }
    const auto user = m_context.users.FindOrCreate(json["phone"].asString());
    if (!user) {
        ReplyError(res, 500, "cannot save the users file");
        return;
    }
    Json::Value reply = user->ToJson();
    reply["jwt"] = m_context.users.IssueToken(*user);
    ReplyJson(res, 200, reply);
}

void AdminApi::PutFile(const httplib::Request& req, httplib::Response& res) {
    // "/files/<service>/<path>"
    const std::string rest = req.path.substr(std::string("/files/").size());
    const std::size_t slash = rest.find('/');
    const auto service = slash == std::string::npos ? std::nullopt : ServiceByName(rest.substr(0, slash));
    std::string error;
    if (!service) {
        ReplyError(res, 400, "the address is /files/<service>/<path>");
        return;
    }
    if (!m_context.files.Put(*service, rest.substr(slash), req.body, error)) {
        ReplyError(res, 400, error);
        return;
    }
    ReplyOk(res);
}

}  // namespace demostore
