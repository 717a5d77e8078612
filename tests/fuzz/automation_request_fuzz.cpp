// Fuzzes what the automation channel reads: a request line from whoever
// connects, and the page's answer to the element script. A request is
// refused or complete for its operation and reads back the same once
// written out again; the element script carries any selector as one string
// literal; a measured box is never inside out.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <json/writer.h>

#include "web/AutomationRequest.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// By the order of AutomationRequest::Op.
constexpr const char* kOpNames[] = {"windows", "control", "element", "url"};

std::string Write(const AutomationRequest& request) {
    Json::Value value(Json::objectValue);
    value["op"] = kOpNames[static_cast<int>(request.op)];
    if (request.op != AutomationRequest::Op::Windows)
        value["window"] = request.window;
    if (request.op == AutomationRequest::Op::Control)
        value["name"] = request.name;
    if (request.op == AutomationRequest::Op::Element || request.op == AutomationRequest::Op::Url)
        value["view"] = request.name;
    if (request.op == AutomationRequest::Op::Element)
        value["selector"] = request.selector;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto request = DecodeAutomationRequest(text, error)) {
        Check(text.size() <= kMaxAutomationLine);
        const bool aboutWindow = request->op != AutomationRequest::Op::Windows;
        Check(request->window.empty() != aboutWindow && request->name.empty() != aboutWindow);
        Check(request->selector.empty() != (request->op == AutomationRequest::Op::Element));
        // Cleaned text and escapes may grow a request past the line limit.
        const std::string written = Write(*request);
        std::string again;
        const auto reread = DecodeAutomationRequest(written, again);
        Check(written.size() > kMaxAutomationLine ||
              (reread && reread->op == request->op && reread->window == request->window &&
               reread->name == request->name && reread->selector == request->selector));
        const std::string script = ElementScript(request->selector);
        Check(script.find('\n') == std::string::npos);
    } else {
        Check(!error.empty());
    }
    const RECT view{100, 50, 900, 650};
    if (const auto box = ElementRectOnScreen(text, view); box && *box) {
        Check((*box)->left <= (*box)->right && (*box)->top <= (*box)->bottom);
    }
    return 0;
}
