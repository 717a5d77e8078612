#pragma once
// MD5 message digest (RFC 1321), the client's own implementation, and the
// MD5 hex operation that the device identifiers and the login requests use.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class MD5_CTX {
  public:
    MD5_CTX() { MD5Init(); }

    // Starts a new digest; the object can be reused after MD5Final.
    void MD5Init();

    // Feeds `size` bytes; may be called any number of times with pieces of
    // any length.
    void MD5Update(const void* data, std::size_t size);

    // Pads, writes the 16-byte digest and wipes the state (a further digest
    // needs MD5Init).
    void MD5Final(unsigned char digest[16]);

  private:
    void Transform(const unsigned char block[64]);

    std::uint32_t m_state[4];
    std::uint64_t m_bitCount;
    unsigned char m_buffer[64];
};

// The MD5 digest of the text's bytes (no terminator) as lower-case
// hexadecimal, cut to outSize - 1 characters and NUL-terminated. With
// outSize 0 (or a null buffer) nothing is written.
void MD5Hex(std::string_view text, char* out, std::size_t outSize);

// The same digest as a 32-character lower-case hexadecimal string.
std::string MD5Hex(std::string_view text);
