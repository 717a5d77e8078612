#pragma once
// The status and header lines of an HTTP reply, fed line by line as the
// transfer delivers them. Only the final reply counts: an interim 1xx block
// is dropped when the next status line starts.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class HttpReplyHead {
  public:
    // One line as received, with or without its line end.
    void AddLine(std::string_view line);

    // True once the header block of a final (non-1xx) reply has ended.
    bool Complete() const { return m_complete; }
    // The status code of the current reply, 0 until a valid status line came.
    int Status() const { return m_status; }
    // The value of the index-th header named `name` (compared without regard
    // to case), leading and trailing blanks removed; none when there is no such header.
    std::optional<std::string> Header(std::string_view name, std::size_t index = 0) const;

  private:
    int m_status = 0;
    bool m_complete = false;
    std::vector<std::pair<std::string, std::string>> m_headers;
};
