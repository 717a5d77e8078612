#include "net/Utf8ChunkJoiner.h"

#include "platform/os/Text.h"

namespace {

// How many bytes the sequence led by `lead` takes; 0 when `lead` cannot
// start a sequence of more than one byte.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Length of the unfinished character that ends `text`: a lead byte among
// the last three bytes, followed only by continuation bytes, fewer than the
// lead announces. 0 when the text ends on a character boundary (or on bytes
// that are malformed whatever follows).
std::size_t UnfinishedTail(std::string_view text) {
    const std::size_t size = text.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto c = static_cast<unsigned char>(text[size - back]);
        if ((c & 0xC0) == 0x80) {
            continue;  // continuation byte: keep looking for its lead
        }
        const std::size_t need = SequenceLength(c);
        return need > back ? back : 0;
    }
    return 0;
}

}  // namespace

std::string Utf8ChunkJoiner::Complete(std::string_view chunk) {
    std::string text = std::move(m_pending);
    m_pending.clear();
    text.append(chunk);
    const std::size_t tail = UnfinishedTail(text);
    m_pending.assign(text, text.size() - tail, tail);
    text.resize(text.size() - tail);
    return text;
}

std::u16string Utf8ChunkJoiner::TakeUtf16(std::string_view chunk) {
    return os::Utf8ToUtf16(Complete(chunk));
}

std::string Utf8ChunkJoiner::TakeUtf8(std::string_view chunk) {
    return os::Utf16ToUtf8(TakeUtf16(chunk));
}

std::u16string Utf8ChunkJoiner::FinishUtf16() {
    std::u16string rest = os::Utf8ToUtf16(m_pending);
    m_pending.clear();
    return rest;
}

std::string Utf8ChunkJoiner::FinishUtf8() {
    return os::Utf16ToUtf8(FinishUtf16());
}
