#pragma once
// A strict reader of the client's multipart uploads. The client writes its
// form in one exact shape (boundary "----QBRAX-" + 32 lower-case hex digits
// + "-", CRLF line ends, a closing line "--boundary--" with its own CRLF); the
// store reads exactly that shape and says where a body departs from it, so a
// fault in the client's writer shows as a refused upload.

#include <optional>
#include <string>
#include <vector>

namespace demostore {

struct FormPart {
    std::string name;
    std::optional<std::string> fileName;  // set for a file part
    std::string contentType;              // a file part's "Content-Type"
    std::string data;
};

class MultipartForm {
  public:
    // Reads the request's Content-Type header and body. False with `error`
    // set when either departs from the client's form.
    bool Parse(const std::string& contentType, const std::string& body, std::string& error);

    const std::string& Boundary() const { return m_boundary; }
    const std::vector<FormPart>& Parts() const { return m_parts; }

    static bool IsClientBoundary(const std::string& boundary);

  private:
    bool ParsePartHead(const std::string& head, FormPart& part, std::string& error) const;

    std::string m_boundary;
    std::vector<FormPart> m_parts;
};

}  // namespace demostore
