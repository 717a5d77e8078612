// Feeds arbitrary bytes to the demo store's reader of multipart uploads: the
// first line is the Content-Type header, the rest the body. Beyond "no crash,
// no overrun", a form that is accepted must write back to the very bytes it
// was read from, so the reader cannot accept a body it misreads.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "demo-store/HttpUtil.h"
#include "demo-store/MultipartForm.h"

namespace {

std::string Write(const demostore::MultipartForm& form) {
    const std::string b = form.Boundary();
    if (form.Parts().empty()) {
        return "\r\n--" + b + "--\r\n";
    }
    std::string body;
    for (const demostore::FormPart& part : form.Parts()) {
        body += "--" + b + "\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (part.fileName) {
            body += "; filename=\"" + *part.fileName + "\"\r\nContent-Type: " + part.contentType;
        }
        body += "\r\n\r\n" + part.data + "\r\n";
    }
    return body + "--" + b + "--\r\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string type = input.substr(0, lineEnd);
    const std::string body = lineEnd == std::string::npos ? std::string() : input.substr(lineEnd + 1);

    demostore::MultipartForm form;
    std::string error;
    if (form.Parse(type, body, error)) {
        if (!error.empty() || !demostore::MultipartForm::IsClientBoundary(form.Boundary()) ||
            Write(form) != body) {
            std::abort();
        }
    } else if (error.empty()) {
        std::abort();  // every refusal says why
    }
    // The query reader sees the same bytes as a request target: at most one
    // pair per "&"-separated item, and a key never holds "&".
    const auto query = demostore::ParseQuery(type);
    const std::size_t mark = type.find('?');
    const std::size_t items = mark == std::string::npos
                                  ? 0
                                  : static_cast<std::size_t>(std::count(
                                        type.begin() + static_cast<std::ptrdiff_t>(mark), type.end(), '&')) +
                                        1;
    if (query.size() > items) {
        std::abort();
    }
    return 0;
}
