#include "demo-store/MultipartForm.h"

namespace demostore {
namespace {

constexpr char kTypePrefix[] = "multipart/form-data; boundary=";
constexpr char kDispositionPrefix[] = "Content-Disposition: form-data; name=\"";
constexpr char kPartTypePrefix[] = "Content-Type: ";

bool StartsWith(const std::string& text, std::size_t at, const std::string& prefix) {
    return text.size() >= at + prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
}

}  // namespace

bool MultipartForm::IsClientBoundary(const std::string& boundary) {
    const std::string prefix = "----QBRAX-";
    if (boundary.size() != 43 || boundary.compare(0, prefix.size(), prefix) != 0 || boundary.back() != '-') {
        return false;
    }
    for (std::size_t i = prefix.size(); i + 1 < boundary.size(); ++i) {
        const char c = boundary[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

bool MultipartForm::ParsePartHead(const std::string& head, FormPart& part, std::string& error) const {
    // head: the part's header lines, each ending in CRLF, without the blank line.
    const std::size_t firstEnd = head.find("\r\n");
    const std::string disposition = head.substr(0, firstEnd);
    if (!StartsWith(disposition, 0, kDispositionPrefix)) {
        error = "a part does not begin with its Content-Disposition line";
        return false;
    }
    const std::size_t nameStart = sizeof kDispositionPrefix - 1;
    const std::size_t nameEnd = disposition.find('"', nameStart);
    if (nameEnd == std::string::npos) {
        error = "a part's name is not closed by a quotation mark";
        return false;
    }
    part.name = disposition.substr(nameStart, nameEnd - nameStart);
    const std::string rest = disposition.substr(nameEnd + 1);
    const std::string fileKey = "; filename=\"";
    if (rest.empty()) {
        if (firstEnd + 2 != head.size()) {
            error = "a text part has header lines after its Content-Disposition";
            return false;
        }
        return true;
    }
    if (!StartsWith(rest, 0, fileKey) || rest.back() != '"' || rest.size() < fileKey.size() + 1) {
        error = "a part's Content-Disposition has an unexpected tail: " + rest;
        return false;
    }
    part.fileName = rest.substr(fileKey.size(), rest.size() - fileKey.size() - 1);
    if (part.fileName->find('"') != std::string::npos) {
        error = "a file name holds a quotation mark";
        return false;
    }
    const std::string second = head.substr(firstEnd + 2);
    if (!StartsWith(second, 0, kPartTypePrefix) || second.size() < 4 ||
        second.compare(second.size() - 2, 2, "\r\n") != 0 || second.find("\r\n") != second.size() - 2) {
        error = "a file part needs exactly one Content-Type line after its Content-Disposition";
        return false;
    }
    part.contentType =
        second.substr(sizeof kPartTypePrefix - 1, second.size() - 2 - (sizeof kPartTypePrefix - 1));
    if (part.contentType.empty()) {
        error = "a file part has an empty Content-Type";
        return false;
    }
    return true;
}

bool MultipartForm::Parse(const std::string& contentType, const std::string& body, std::string& error) {
    m_boundary.clear();
    m_parts.clear();
    if (!StartsWith(contentType, 0, kTypePrefix)) {
        error = "Content-Type is not \"multipart/form-data; boundary=…\": " + contentType;
        return false;
    }
    const std::string boundary = contentType.substr(sizeof kTypePrefix - 1);
    if (!IsClientBoundary(boundary)) {
        error = "the boundary is not \"----QBRAX-\", 32 lower-case hexadecimal digits and \"-\": " + boundary;
        return false;
    }
    const std::string delimiter = "--" + boundary;
    const std::string closing = delimiter + "--\r\n";
    // A form without any part: a line end, then the closing line.
    if (body == "\r\n" + closing) {
        m_boundary = boundary;
        return true;
    }
    std::size_t pos = 0;
    if (!StartsWith(body, 0, delimiter + "\r\n")) {
        error = "the body does not begin with the boundary line";
        return false;
    }
    std::vector<FormPart> parts;
    while (true) {
        // pos is at a boundary line that opens a part.
        pos += delimiter.size() + 2;
        const std::size_t headEnd = body.find("\r\n\r\n", pos);
        if (headEnd == std::string::npos) {
            error = "a part's header lines are not ended by an empty line";
            return false;
        }
        FormPart part;
        if (!ParsePartHead(body.substr(pos, headEnd + 2 - pos), part, error)) {
            return false;
        }
        const std::size_t dataStart = headEnd + 4;
        const std::size_t next = body.find("\r\n" + delimiter, dataStart);
        if (next == std::string::npos) {
            error = "a part is not followed by a boundary line (body cut short?)";
            return false;
        }
        part.data = body.substr(dataStart, next - dataStart);
        parts.push_back(std::move(part));
        pos = next + 2;
        if (body.compare(pos, std::string::npos, closing) == 0) {
            break;
        }
        if (!StartsWith(body, pos, delimiter + "\r\n")) {
            error =
                "a boundary line is followed by something other than a line end, or the closing line is "
                "not the last line";
            return false;
        }
    }
    m_boundary = boundary;
    m_parts = std::move(parts);
    return true;
}

}  // namespace demostore
