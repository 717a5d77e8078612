#pragma once
// Joins the pieces of a UTF-8 reply as they arrive. A character whose bytes
// are split between two pieces is held back until its remaining bytes come,
// so a split never turns one character into two replacement characters.
// Malformed bytes become U+FFFD.

#include <string>
#include <string_view>

class Utf8ChunkJoiner {
  public:
    // The complete characters of `chunk` (after any bytes held back from the
    // previous piece), as UTF-16. An unfinished character at the end is held.
    std::u16string TakeUtf16(std::string_view chunk);

    // The same, as well-formed UTF-8.
    std::string TakeUtf8(std::string_view chunk);

    // Whatever is still held at the end of the reply: an unfinished
    // character, which can only become U+FFFD.
    std::u16string FinishUtf16();
    std::string FinishUtf8();

  private:
    // The held bytes followed by `chunk`, minus a trailing unfinished
    // character, which becomes the new held bytes.
    std::string Complete(std::string_view chunk);

    std::string m_pending;
};
