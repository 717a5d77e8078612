#pragma once
// Calls to a running demo store for its own tests, made with independent
// clients: cpp-httplib (trusting only the store's CA) and the curl program.

#include <httplib.h>
#include <json/json.h>

#include <string>
#include <vector>

#include "support/DemoStore.h"
#include "support/Sandbox.h"

namespace vtest {

// The token headers of the client's GET calls; an empty token sends no X-token line.
httplib::Headers TokenHeaders(const std::string& token);
// A GET to a service of the store; HTTPS for "store", verified against the store's CA.
httplib::Result StoreGet(const DemoStore& store, const std::string& service, const std::string& target,
                         const httplib::Headers& headers = {});
httplib::Result StorePost(const DemoStore& store, const std::string& service, const std::string& target,
                          const httplib::Headers& headers, const std::string& body,
                          const std::string& contentType);
// The reply envelope of a result; null when there is no reply or it is not JSON.
Json::Value Envelope(const httplib::Result& result);
Json::Value ParseJsonText(const std::string& text);

// The send-code signature, computed by the md5sum program.
std::string Md5Signature(const std::string& time, const std::string& phone);
std::string SendCodeTarget(const std::string& phone, long long time);
std::string LoginTarget(const std::string& phone, const std::string& code,
                        const std::string& machineCode = "");

// Runs the full SMS login for a phone and returns the token ("" on failure).
std::string LoginBySms(const DemoStore& store, const std::string& phone);

// Runs curl with the given arguments; -s is added.
ProcessResult Curl(const std::vector<std::string>& args);

}  // namespace vtest
