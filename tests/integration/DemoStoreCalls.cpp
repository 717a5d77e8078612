#include "DemoStoreCalls.h"

#include <ctime>
#include <memory>

namespace vtest {

httplib::Headers TokenHeaders(const std::string& token) {
    httplib::Headers headers = {{"X-Requested-With", "XMLHttpRequest"}};
    if (!token.empty()) {
        headers.emplace("X-token", token);
    }
    return headers;
}

namespace {

std::unique_ptr<httplib::ClientImpl> MakeClient(const DemoStore& store, const std::string& service) {
    std::unique_ptr<httplib::ClientImpl> client;
    if (service == "store") {
        auto ssl = std::make_unique<httplib::SSLClient>("127.0.0.1", store.Port("store"));
        ssl->set_ca_cert_path(store.CaFile().c_str());
        ssl->enable_server_certificate_verification(true);
        client = std::move(ssl);
    } else {
        client = std::make_unique<httplib::ClientImpl>("127.0.0.1", store.Port(service));
    }
    client->set_connection_timeout(10);
    client->set_read_timeout(30);
    return client;
}

}  // namespace

httplib::Result StoreGet(const DemoStore& store, const std::string& service, const std::string& target,
                         const httplib::Headers& headers) {
    return MakeClient(store, service)->Get(target.c_str(), headers);
}

httplib::Result StorePost(const DemoStore& store, const std::string& service, const std::string& target,
                          const httplib::Headers& headers, const std::string& body,
                          const std::string& contentType) {
    return MakeClient(store, service)->Post(target.c_str(), headers, body, contentType.c_str());
}

Json::Value ParseJsonText(const std::string& text) {
    return ParseJson(text);
}

Json::Value Envelope(const httplib::Result& result) {
    return result ? ParseJsonText(result->body) : Json::Value();
}

std::string Md5Signature(const std::string& time, const std::string& phone) {
    const ProcessResult md5 = RunProcess({"md5sum"}, {}, time + phone + "Q4M8T2KZ");
    return md5.out.substr(0, 32);
}

std::string SendCodeTarget(const std::string& phone, long long time) {
    const std::string t = std::to_string(time);
    return "/api/sms/sendsms.html?phone=" + phone + "&time=" + t + "&token=" + Md5Signature(t, phone);
}

std::string LoginTarget(const std::string& phone, const std::string& code, const std::string& machineCode) {
    return "/api/public_api/smsLogin.html?phone=" + phone + "&code=" + code +
           "&p=2&appid=2002&adid=&partner_id=0&machine_code=" + machineCode;
}

std::string LoginBySms(const DemoStore& store, const std::string& phone) {
    const Json::Value sent =
        Envelope(StoreGet(store, "store", SendCodeTarget(phone, std::time(nullptr)), TokenHeaders("")));
    if (sent["code"].asInt() != 1) {
        return {};
    }
    const std::string code = store.LastSmsCode(phone);
    const Json::Value login = Envelope(StoreGet(store, "store", LoginTarget(phone, code), TokenHeaders("")));
    return login["code"].asInt() == 1 ? login["data"]["jwt"].asString() : std::string();
}

ProcessResult Curl(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"curl", "-s"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
}

}  // namespace vtest
