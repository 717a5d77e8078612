#include "web/AutomationRequest.h"

#include "net/ApiReply.h"
#include "platform/os/Text.h"

#include <json/writer.h>

#include <array>
#include <cmath>
#include <memory>
#include <utility>

namespace {

struct OpName {
    const char* name;
    AutomationRequest::Op op;
    bool needsWindow;
    const char* nameMember;  // the member naming the control, or null
};
constexpr std::array<OpName, 5> kOps{{{"windows", AutomationRequest::Op::Windows, false, nullptr},
                                      {"control", AutomationRequest::Op::Control, true, "name"},
                                      {"text", AutomationRequest::Op::Control, true, "name"},
                                      {"element", AutomationRequest::Op::Element, true, "view"},
                                      {"url", AutomationRequest::Op::Url, true, "view"}}};

// Far beyond any screen; a page's numbers past it are not a box on one.
constexpr double kMaxCoordinate = 1e7;

std::optional<AutomationRequest> Reject(std::string& error, const char* why) {
    error = why;
    return std::nullopt;
}

// Text member `name`: false when it is missing, not text or empty.
bool ReadText(const Json::Value& root, const char* name, std::string& out) {
    const Json::Value* value = root.find(name, name + std::char_traits<char>::length(name));
    if (value == nullptr || !value->isString() || value->asString().empty())
        return false;
    // A round through UTF-16 leaves well-formed text as it is and turns
    // anything malformed into U+FFFD, so that what is echoed back in a reply
    // is text.
    out = os::Utf16ToUtf8(os::Utf8ToUtf16(value->asString()));
    return true;
}

std::string WriteLine(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    // Without indentation the writer keeps everything on one line: a line
    // feed inside a text is written escaped.
    return Json::writeString(builder, value) + "\n";
}

// A finite number member of the script's answer, within any screen.
bool ReadNumber(const Json::Value& root, const char* name, double& out) {
    const Json::Value* value = root.find(name, name + std::char_traits<char>::length(name));
    if (value == nullptr || !value->isNumeric())
        return false;
    out = value->asDouble();
    return std::isfinite(out) && std::fabs(out) <= kMaxCoordinate;
}

}  // namespace

std::optional<AutomationRequest> DecodeAutomationRequest(std::string_view line, std::string& error) {
    if (line.size() > kMaxAutomationLine)
        return Reject(error, "request too long");
    Json::Value root;
    if (!ApiReply::ParseObject(line, root))
        return Reject(error, "not a JSON object");
    std::string opName;
    if (!ReadText(root, "op", opName))
        return Reject(error, "no op");
    const OpName* op = nullptr;
    for (const OpName& candidate : kOps) {
        if (opName == candidate.name)
            op = &candidate;
    }
    if (op == nullptr)
        return Reject(error, "unknown op");
    AutomationRequest request;
    request.op = op->op;
    if (op->needsWindow && !ReadText(root, "window", request.window))
        return Reject(error, "no window class");
    if (op->nameMember != nullptr && !ReadText(root, op->nameMember, request.name))
        return Reject(error,
                      request.op == AutomationRequest::Op::Control ? "no control name" : "no view name");
    if (request.op == AutomationRequest::Op::Element && !ReadText(root, "selector", request.selector))
        return Reject(error, "no selector");
    return request;
}

std::string EncodeAutomationReply(Json::Value reply) {
    reply["ok"] = true;
    return WriteLine(reply);
}

std::string EncodeAutomationError(std::string_view error) {
    Json::Value reply(Json::objectValue);
    reply["ok"] = false;
    reply["error"] = std::string(error);
    return WriteLine(reply);
}

Json::Value RectToJson(const RECT& rect) {
    Json::Value value(Json::arrayValue);
    for (const long side : {rect.left, rect.top, rect.right, rect.bottom})
        value.append(static_cast<Json::Int64>(side));
    return value;
}

std::string ElementScript(std::string_view selector) {
    // The selector becomes a JSON string literal, which is a script string
    // literal too; an invalid selector makes querySelector throw, which the
    // engine reports as the script's failure.
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    const std::string literal = Json::writeString(builder, Json::Value(std::string(selector)));
    return "(function (selector) {"
           " var e = document.querySelector(selector);"
           " if (!e) return null;"
           " var r = e.getBoundingClientRect();"
           " return {x: r.left, y: r.top, width: r.width, height: r.height,"
           " viewport: window.innerWidth, ratio: window.devicePixelRatio};"
           " })(" +
           literal + ")";
}

std::optional<std::optional<RECT>> ElementRectOnScreen(std::string_view answer, const RECT& view) {
    if (answer == "null")
        return std::optional<RECT>();
    Json::Value root;
    if (!ApiReply::ParseObject(answer, root))
        return std::nullopt;
    double x = 0, y = 0, width = 0, height = 0, viewport = 0, ratio = 0;
    if (!ReadNumber(root, "x", x) || !ReadNumber(root, "y", y) || !ReadNumber(root, "width", width) ||
        !ReadNumber(root, "height", height) || width < 0 || height < 0)
        return std::nullopt;
    // CSS pixels to the view's: the view's width over the page's viewport
    // width takes the page zoom in, which this engine's device pixel ratio
    // leaves out; the ratio stands in when the page has no width yet.
    double scale = 1.0;
    const double viewWidth = static_cast<double>(view.right - view.left);
    if (ReadNumber(root, "viewport", viewport) && viewport > 0 && viewWidth > 0)
        scale = viewWidth / viewport;
    else if (ReadNumber(root, "ratio", ratio) && ratio > 0)
        scale = ratio;
    const auto place = [&](double origin, double offset, double (*round)(double)) {
        return static_cast<long>(origin + round(offset * scale));
    };
    const auto floorFn = static_cast<double (*)(double)>(std::floor);
    const auto ceilFn = static_cast<double (*)(double)>(std::ceil);
    return std::optional<RECT>(RECT{place(view.left, x, floorFn), place(view.top, y, floorFn),
                                    place(view.left, x + width, ceilFn),
                                    place(view.top, y + height, ceilFn)});
}
