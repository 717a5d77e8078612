#include "identity/MD5_CTX.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

std::uint32_t LoadLittleEndian(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void StoreLittleEndian(std::uint32_t v, unsigned char* p) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Per-round shift amounts and the sine-derived constants T[i] of RFC 1321.
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

}  // namespace

void MD5_CTX::MD5Init() {
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_bitCount = 0;
    std::memset(m_buffer, 0, sizeof m_buffer);
}

void MD5_CTX::MD5Update(const void* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const auto* input = static_cast<const unsigned char*>(data);
    std::size_t used = static_cast<std::size_t>((m_bitCount >> 3) & 0x3F);
    // The length is kept modulo 2^64 bits, as the padding records it.
    m_bitCount += static_cast<std::uint64_t>(size) << 3;

    if (used != 0) {
        const std::size_t take = std::min(size, 64 - used);
        std::memcpy(m_buffer + used, input, take);
        used += take;
        input += take;
        size -= take;
        if (used < 64) {
            return;
        }
        Transform(m_buffer);
    }
    for (; size >= 64; input += 64, size -= 64) {
        Transform(input);
    }
    if (size != 0) {
        std::memcpy(m_buffer, input, size);
    }
}

void MD5_CTX::MD5Final(unsigned char digest[16]) {
    unsigned char lengthBytes[8];
    for (int i = 0; i < 8; ++i) {
        lengthBytes[i] = static_cast<unsigned char>(m_bitCount >> (8 * i));
    }
    // Pad with 0x80 and zeros up to 56 bytes modulo 64, then the bit length.
    static const unsigned char kPadding[64] = {0x80};
    const std::size_t used = static_cast<std::size_t>((m_bitCount >> 3) & 0x3F);
    const std::size_t padLength = used < 56 ? 56 - used : 120 - used;
    MD5Update(kPadding, padLength);
    MD5Update(lengthBytes, sizeof lengthBytes);

    for (std::size_t i = 0; i < 4; ++i) {
        StoreLittleEndian(m_state[i], digest + 4 * i);
    }
    // Leave nothing of the message behind in the object.
    std::memset(m_state, 0, sizeof m_state);
    std::memset(m_buffer, 0, sizeof m_buffer);
    m_bitCount = 0;
}

void MD5_CTX::Transform(const unsigned char block[64]) {
    std::uint32_t x[16];
    for (std::size_t i = 0; i < 16; ++i) {
        x[i] = LoadLittleEndian(block + 4 * i);
    }
    std::uint32_t a = m_state[0];
    std::uint32_t b = m_state[1];
    std::uint32_t c = m_state[2];
    std::uint32_t d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t next = b + RotateLeft(a + f + kSine[i] + x[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void MD5Hex(std::string_view text, char* out, std::size_t outSize) {
    if (out == nullptr || outSize == 0) {
        return;
    }
    const std::string hex = MD5Hex(text);
    const std::size_t length = std::min(hex.size(), outSize - 1);
    std::memcpy(out, hex.data(), length);
    out[length] = '\0';
}

std::string MD5Hex(std::string_view text) {
    MD5_CTX context;
    context.MD5Update(text.data(), text.size());
    unsigned char digest[16];
    context.MD5Final(digest);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex(32, '0');
    for (std::size_t i = 0; i < 16; ++i) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    return hex;
}
