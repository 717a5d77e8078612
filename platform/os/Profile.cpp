#include "platform/os/Profile.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"
#include "platform/os/Text.h"

namespace {

using U16 = std::u16string;
using U16View = std::u16string_view;

// ---------------------------------------------------------------------------
// Characters

template <typename Unit>
char32_t CodeOf(Unit unit) {
    if constexpr (sizeof(Unit) == 1) {
        return static_cast<unsigned char>(unit);
    } else {
        return static_cast<char32_t>(unit);
    }
}

// Blanks trimmed around names and values. Ctrl-Z counts: old editors ended
// text files with it.
bool IsBlank(char32_t c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A;
}

bool IsLineBreak(char32_t c) {
    return c == '\r' || c == '\n';
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool HasUnpairedSurrogate(U16View text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            return true;
        }
    }
    return false;
}

// Simple per-code-unit upper-casing, as the Windows name comparison does.
char16_t FoldCase(char16_t c) {
    if (c < 0x80) {
        return os::AsciiToUpper(c);
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
        return c;
    }
    // The process locale may be "C"; the full case tables come from C.UTF-8,
    // which glibc always has. The object lives for the whole process.
    static const locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (utf8Locale == static_cast<locale_t>(nullptr)) {
        return c;
    }
    const wint_t upper = towupper_l(static_cast<wint_t>(c), utf8Locale);
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

bool NamesEqual(U16View a, U16View b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

U16View Trim(U16View text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The default loses trailing spaces (not other blanks), as with the Windows functions.
U16View TrimTrailingSpaces(U16View text) {
    while (!text.empty() && text.back() == u' ') {
        text.remove_suffix(1);
    }
    return text;
}

U16 Decode(std::string_view text) {
    return os::Utf8ToUtf16(text);
}
U16 Decode(U16View text) {
    return U16(text);
}

// Text in the file's own code units. The caller has checked that UTF-8 bound
// text holds no unpaired surrogate.
template <typename Unit>
std::basic_string<Unit> Encode(U16View text) {
    if constexpr (sizeof(Unit) == 1) {
        return os::Utf16ToUtf8(text);
    } else {
        return U16(text);
    }
}

template <typename Unit>
std::basic_string<Unit> Literal(std::string_view ascii) {
    return std::basic_string<Unit>(ascii.begin(), ascii.end());
}

// ---------------------------------------------------------------------------
// Parsing. The structure of a line (brackets, "=", ";", blanks, line breaks,
// NUL) is all ASCII, which UTF-8 never uses inside a multi-byte sequence, so
// lines are parsed in the file's own code units and only names and values are
// decoded. Unchanged lines are thus copied back exactly, even when they are not
// valid UTF-8.

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
    std::size_t begin = 0;       // first unit
    std::size_t contentEnd = 0;  // before the line break
    std::size_t end = 0;         // after the line break
    LineKind kind = LineKind::Blank;
    std::size_t nameBegin = 0;  // section or key name, trimmed
    std::size_t nameEnd = 0;
    std::size_t valueBegin = 0;  // key value, trimmed
    std::size_t valueEnd = 0;
};

template <typename Unit>
void Classify(std::basic_string_view<Unit> text, Line& line) {
    // A NUL ends the line's meaning, as it ends the C strings Windows copies.
    std::size_t stop = line.begin;
    while (stop < line.contentEnd && text[stop] != Unit(0)) {
        ++stop;
    }
    std::size_t first = line.begin;
    std::size_t last = stop;
    while (first < last && IsBlank(CodeOf(text[first]))) {
        ++first;
    }
    while (last > first && IsBlank(CodeOf(text[last - 1]))) {
        --last;
    }
    const auto trimmedRange = [&](std::size_t b, std::size_t e, std::size_t& outB, std::size_t& outE) {
        while (b < e && IsBlank(CodeOf(text[b]))) {
            ++b;
        }
        while (e > b && IsBlank(CodeOf(text[e - 1]))) {
            --e;
        }
        outB = b;
        outE = e;
    };
    if (first == last) {
        line.kind = LineKind::Blank;
        return;
    }
    if (text[first] == Unit(';')) {
        line.kind = LineKind::Comment;
        return;
    }
    if (text[first] == Unit('[')) {
        for (std::size_t i = first + 1; i < last; ++i) {
            if (text[i] == Unit(']')) {
                line.kind = LineKind::Section;
                trimmedRange(first + 1, i, line.nameBegin, line.nameEnd);
                return;
            }
        }
        // Without a closing bracket the line is not a header; read it as any other line.
    }
    for (std::size_t i = first; i < last; ++i) {
        if (text[i] == Unit('=')) {
            line.kind = LineKind::Key;
            trimmedRange(first, i, line.nameBegin, line.nameEnd);
            trimmedRange(i + 1, last, line.valueBegin, line.valueEnd);
            return;
        }
    }
    line.kind = LineKind::Other;
}

template <typename Unit>
class Document {
  public:
    explicit Document(std::basic_string_view<Unit> text) : m_text(text) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            Line line;
            line.begin = pos;
            std::size_t end = pos;
            while (end < text.size() && !IsLineBreak(CodeOf(text[end]))) {
                ++end;
            }
            line.contentEnd = end;
            if (end < text.size()) {
                const bool crlf =
                    text[end] == Unit('\r') && end + 1 < text.size() && text[end + 1] == Unit('\n');
                end += crlf ? 2 : 1;
            }
            line.end = end;
            Classify(text, line);
            m_lines.push_back(line);
            pos = end;
        }
    }

    std::basic_string_view<Unit> Text() const { return m_text; }
    const std::vector<Line>& Lines() const { return m_lines; }

    U16 Name(const Line& line) const {
        return Decode(m_text.substr(line.nameBegin, line.nameEnd - line.nameBegin));
    }
    U16 Value(const Line& line) const {
        return Decode(m_text.substr(line.valueBegin, line.valueEnd - line.valueBegin));
    }

    // Index of the first header of that name.
    std::optional<std::size_t> FindSection(U16View name) const {
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].kind == LineKind::Section && NamesEqual(Name(m_lines[i]), name)) {
                return i;
            }
        }
        return std::nullopt;
    }

    // Index of the next header after `header`, or the line count.
    std::size_t SectionEnd(std::size_t header) const {
        std::size_t i = header + 1;
        while (i < m_lines.size() && m_lines[i].kind != LineKind::Section) {
            ++i;
        }
        return i;
    }

    std::optional<std::size_t> FindKey(std::size_t header, U16View key) const {
        const std::size_t end = SectionEnd(header);
        for (std::size_t i = header + 1; i < end; ++i) {
            if (m_lines[i].kind == LineKind::Key && NamesEqual(Name(m_lines[i]), key)) {
                return i;
            }
        }
        return std::nullopt;
    }

    // The line break new lines get: the file's first one, CR LF in a file without any.
    std::basic_string<Unit> LineBreak() const {
        for (const Line& line : m_lines) {
            if (line.end > line.contentEnd) {
                return std::basic_string<Unit>(m_text.substr(line.contentEnd, line.end - line.contentEnd));
            }
        }
        return Literal<Unit>("\r\n");
    }

  private:
    std::basic_string_view<Unit> m_text;
    std::vector<Line> m_lines;
};

// ---------------------------------------------------------------------------
// Files

enum class Encoding { Utf8, Utf8Bom, Utf16Le };

struct ProfileText {
    Encoding encoding = Encoding::Utf8;
    std::string utf8;      // Utf8 and Utf8Bom, without the mark
    std::u16string utf16;  // Utf16Le, without the mark
};

ProfileText DecodeFile(const std::string& bytes) {
    ProfileText text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.encoding = Encoding::Utf16Le;
        // A stray last byte is half a code unit; it carries nothing and is dropped.
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text.utf16.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                       (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.encoding = Encoding::Utf8Bom;
        text.utf8 = bytes.substr(3);
    } else {
        text.utf8 = bytes;
    }
    return text;
}

std::string EncodeFile(Encoding encoding, std::string_view utf8, U16View utf16) {
    std::string bytes;
    switch (encoding) {
        case Encoding::Utf8:
            bytes.assign(utf8);
            break;
        case Encoding::Utf8Bom:
            bytes.assign("\xEF\xBB\xBF");
            bytes.append(utf8);
            break;
        case Encoding::Utf16Le:
            bytes.reserve(2 + utf16.size() * 2);
            bytes.assign("\xFF\xFE");
            for (const char16_t unit : utf16) {
                bytes.push_back(static_cast<char>(unit & 0xFF));
                bytes.push_back(static_cast<char>(unit >> 8));
            }
            break;
    }
    return bytes;
}

std::optional<ProfileText> LoadProfile(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0') {
        return std::nullopt;
    }
    const std::optional<std::string> bytes = os::ReadWholeFile(os::ResolveCaseInsensitive(fileName));
    if (!bytes) {
        return std::nullopt;
    }
    return DecodeFile(*bytes);
}

// Runs `f` on the parsed document in the file's own code units.
template <typename F>
auto WithDocument(const ProfileText& text, F&& f) {
    if (text.encoding == Encoding::Utf16Le) {
        return f(Document<char16_t>(text.utf16));
    }
    return f(Document<char>(text.utf8));
}

// Holds an exclusive lock on a folder for its lifetime. Every writer of a
// profile in that folder takes it, in any process or thread (flock locks
// belong to the open file description, so two opens exclude each other).
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        while (m_fd.Valid() && ::flock(m_fd.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_fd.Reset();
            }
        }
    }
    bool Held() const { return m_fd.Valid(); }

  private:
    os::UniqueFd m_fd;
};

// ---------------------------------------------------------------------------
// Reading

struct Lookup {
    U16 text;             // the value, or the names each followed by NUL
    bool isList = false;  // text is a list of names
};

std::vector<U16> SectionNames(const std::optional<ProfileText>& file) {
    if (!file) {
        return {};
    }
    return WithDocument(*file, [](const auto& doc) {
        std::vector<U16> names;
        for (const Line& line : doc.Lines()) {
            // An empty name cannot be told apart from the list's end.
            if (line.kind == LineKind::Section && line.nameEnd > line.nameBegin) {
                names.push_back(doc.Name(line));
            }
        }
        return names;
    });
}

std::vector<U16> KeyNames(const std::optional<ProfileText>& file, U16View section) {
    if (!file) {
        return {};
    }
    return WithDocument(*file, [section](const auto& doc) {
        std::vector<U16> names;
        const std::optional<std::size_t> header = doc.FindSection(section);
        if (!header) {
            return names;
        }
        const std::size_t end = doc.SectionEnd(*header);
        for (std::size_t i = *header + 1; i < end; ++i) {
            const Line& line = doc.Lines()[i];
            if (line.kind == LineKind::Key && line.nameEnd > line.nameBegin) {
                names.push_back(doc.Name(line));
            }
        }
        return names;
    });
}

std::optional<U16> KeyValue(const std::optional<ProfileText>& file, U16View section, U16View key) {
    if (!file) {
        return std::nullopt;
    }
    return WithDocument(*file, [section, key](const auto& doc) -> std::optional<U16> {
        const std::optional<std::size_t> header = doc.FindSection(section);
        if (!header) {
            return std::nullopt;
        }
        const std::optional<std::size_t> index = doc.FindKey(*header, key);
        if (!index) {
            return std::nullopt;
        }
        U16 value = doc.Value(doc.Lines()[*index]);
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    });
}

// What GetPrivateProfileStringW would return with an unlimited buffer.
Lookup LookUp(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, const char* fileName) {
    const std::optional<ProfileText> file = LoadProfile(fileName);
    const U16 fallback(TrimTrailingSpaces(defaultValue != nullptr ? U16View(defaultValue) : U16View()));
    Lookup result;
    std::vector<U16> names;
    if (section == nullptr) {
        names = SectionNames(file);
    } else if (key == nullptr) {
        names = KeyNames(file, Trim(section));
        if (names.empty()) {
            result.text = fallback;
            return result;
        }
    } else {
        result.text = KeyValue(file, Trim(section), Trim(key)).value_or(fallback);
        return result;
    }
    result.isList = true;
    for (const U16& name : names) {
        result.text += name;
        result.text.push_back(u'\0');
    }
    return result;
}

// The integer rules of the Windows string-to-integer conversion with base 0.
std::uint32_t ParseInteger(U16View text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] <= u' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == u'0') {
        const char16_t marker = text[i + 1];
        base = marker == u'x' ? 16 : marker == u'o' ? 8 : marker == u'b' ? 2 : 10;
        if (base != 10) {
            i += 2;
        }
    }
    std::uint32_t total = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        std::uint32_t digit = 99;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (c >= u'a' && c <= u'z') {
            digit = c - u'a' + 10;
        } else if (c >= u'A' && c <= u'Z') {
            digit = c - u'A' + 10;
        }
        if (digit >= base) {
            break;
        }
        total = total * base + digit;  // wraps modulo 2^32 like Windows
    }
    return negative ? 0u - total : total;
}

// ---------------------------------------------------------------------------
// Writing

struct Edit {
    U16 section;
    std::optional<U16> key;    // nullopt: delete the section
    std::optional<U16> value;  // nullopt: delete the key
};

template <typename Unit>
struct EditResult {
    bool changed = false;
    std::basic_string<Unit> text;
};

template <typename Unit>
EditResult<Unit> ApplyEdit(const Document<Unit>& doc, const Edit& edit) {
    using String = std::basic_string<Unit>;
    const auto text = doc.Text();
    const auto& lines = doc.Lines();
    EditResult<Unit> result;
    const std::optional<std::size_t> header = doc.FindSection(edit.section);

    if (!edit.key) {
        // Every section of that name goes, with all its lines; a duplicate
        // left behind would otherwise take the deleted one's place.
        std::size_t copiedUpTo = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == LineKind::Section && NamesEqual(doc.Name(lines[i]), edit.section)) {
                const std::size_t end = doc.SectionEnd(i);
                result.text.append(text.substr(copiedUpTo, lines[i].begin - copiedUpTo));
                copiedUpTo = end < lines.size() ? lines[end].begin : text.size();
                result.changed = true;
                i = end - 1;
            }
        }
        result.text.append(text.substr(copiedUpTo));
        return result;
    }

    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    const std::size_t keyLine = header ? doc.FindKey(*header, *edit.key).value_or(kNone) : kNone;
    if (!edit.value) {
        if (keyLine != kNone) {
            const Line& line = lines[keyLine];
            result.text = String(text.substr(0, line.begin));
            result.text.append(text.substr(line.end));
            result.changed = true;
        } else {
            result.text = String(text);
        }
        return result;
    }

    const String value = Encode<Unit>(*edit.value);
    const String lineBreak = doc.LineBreak();
    result.changed = true;
    if (keyLine != kNone) {
        // The key's own spelling and spacing stay; only the value changes.
        const Line& line = lines[keyLine];
        result.text = String(text.substr(0, line.valueBegin));
        result.text.append(value);
        result.text.append(text.substr(line.contentEnd));
        return result;
    }
    String entry = Encode<Unit>(*edit.key) + Literal<Unit>("=") + value + lineBreak;
    std::size_t insertAt = text.size();
    bool needsBreak = !lines.empty() && lines.back().end == lines.back().contentEnd;
    if (header) {
        // After the section's last entry, so blank lines and comments that
        // lead into the next section stay in front of it.
        std::size_t after = *header;
        for (std::size_t i = *header + 1; i < doc.SectionEnd(*header); ++i) {
            if (lines[i].kind == LineKind::Key || lines[i].kind == LineKind::Other) {
                after = i;
            }
        }
        insertAt = lines[after].end;
        needsBreak = lines[after].end == lines[after].contentEnd;
    } else {
        entry = Literal<Unit>("[") + Encode<Unit>(edit.section) + Literal<Unit>("]") + lineBreak + entry;
    }
    result.text = String(text.substr(0, insertAt));
    if (needsBreak) {
        result.text.append(lineBreak);
    }
    result.text.append(entry);
    result.text.append(text.substr(insertAt));
    return result;
}

bool HasLineBreak(U16View text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return IsLineBreak(c); });
}

// Names and values that would not read back as written are refused.
bool Writable(const Edit& edit) {
    if (HasLineBreak(edit.section) || edit.section.find(u']') != U16::npos) {
        return false;
    }
    if (edit.key) {
        const U16& key = *edit.key;
        if (HasLineBreak(key) || key.find(u'=') != U16::npos) {
            return false;
        }
        if (!key.empty() && (key.front() == u';' || (key.front() == u'[' && key.find(u']') != U16::npos))) {
            return false;
        }
    }
    return !edit.value || !HasLineBreak(*edit.value);
}

bool Utf8Safe(const Edit& edit) {
    return !HasUnpairedSurrogate(edit.section) && !(edit.key && HasUnpairedSurrogate(*edit.key)) &&
           !(edit.value && HasUnpairedSurrogate(*edit.value));
}

bool WriteProfile(const std::string& path, const Edit& edit) {
    FolderLock lock(os::ParentFolder(path));
    if (!lock.Held()) {
        return false;
    }
    // Resolved under the lock, so that two writers creating "a.ini" and
    // "A.ini" at the same time settle on one file.
    std::string target = os::ResolveCaseInsensitive(path);
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Write through a link so that it stays a link.
        char* real = ::realpath(target.c_str(), nullptr);
        if (real == nullptr) {
            return false;
        }
        target = real;
        std::free(real);
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0)) {
        return false;
    }
    ProfileText file;
    if (exists) {
        const std::optional<std::string> bytes = os::ReadWholeFile(target);
        if (!bytes) {
            return false;
        }
        file = DecodeFile(*bytes);
    }
    if (file.encoding != Encoding::Utf16Le && !Utf8Safe(edit)) {
        return false;
    }
    std::string bytes;
    bool changed = false;
    if (file.encoding == Encoding::Utf16Le) {
        EditResult<char16_t> result = ApplyEdit(Document<char16_t>(file.utf16), edit);
        changed = result.changed;
        bytes = EncodeFile(file.encoding, {}, result.text);
    } else {
        EditResult<char> result = ApplyEdit(Document<char>(file.utf8), edit);
        changed = result.changed;
        bytes = EncodeFile(file.encoding, result.text, {});
    }
    if (!changed) {
        return true;
    }
    return os::ReplaceFileAtomically(target, bytes,
                                     exists ? std::optional<mode_t>(st.st_mode & 07777) : std::nullopt);
}

}  // namespace

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               const char* fileName) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    const Lookup found = LookUp(section, key, defaultValue, fileName);
    const U16& text = found.text;
    if (!found.isList || size == 1) {
        const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
        std::copy_n(text.data(), n, buffer);
        buffer[n] = u'\0';
        return static_cast<DWORD>(n);
    }
    if (text.size() < size - 1) {
        std::copy_n(text.data(), text.size(), buffer);
        buffer[text.size()] = u'\0';
        return static_cast<DWORD>(text.size());
    }
    // The list does not fit (or fills the buffer exactly): the last name is
    // cut and the buffer ends with two NULs.
    std::copy_n(text.data(), size - 2, buffer);
    buffer[size - 2] = u'\0';
    buffer[size - 1] = u'\0';
    return size - 2;
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, int defaultValue, const char* fileName) {
    const Lookup found = LookUp(section, key, u"", fileName);
    const U16View first = U16View(found.text).substr(0, found.text.find(u'\0'));
    if (first.empty()) {
        return static_cast<UINT>(defaultValue);
    }
    return ParseInteger(first);
}

BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, const char* fileName) {
    if (section == nullptr) {
        // (null, null, null) asks Windows to flush its cache; there is none here.
        return key == nullptr && value == nullptr && fileName != nullptr ? 1 : 0;
    }
    if (fileName == nullptr || fileName[0] == '\0') {
        return 0;
    }
    Edit edit;
    edit.section = U16(Trim(section));
    if (key != nullptr) {
        edit.key = U16(Trim(key));
        if (value != nullptr) {
            edit.value = U16(value);
        }
    }
    if (!Writable(edit)) {
        return 0;
    }
    return WriteProfile(fileName, edit) ? 1 : 0;
}

namespace os {

std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              const std::string& fileName, std::size_t capacity) {
    if (capacity == 0) {
        return {};
    }
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(capacity, UINT32_MAX));
    const std::u16string wideSection = Utf8ToUtf16(section);
    const std::u16string wideKey = Utf8ToUtf16(key);
    const std::u16string wideDefault = Utf8ToUtf16(defaultValue);
    std::u16string buffer(size, u'\0');
    const DWORD n = GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), wideDefault.c_str(),
                                             buffer.data(), size, fileName.c_str());
    buffer.resize(n);
    // The Windows cut counts code units; do not hand back half a pair.
    if (!buffer.empty() && IsHighSurrogate(buffer.back())) {
        buffer.pop_back();
    }
    return Utf16ToUtf8(buffer);
}

int ReadProfileInt(std::string_view section, std::string_view key, int defaultValue,
                   const std::string& fileName) {
    const std::u16string wideSection = Utf8ToUtf16(section);
    const std::u16string wideKey = Utf8ToUtf16(key);
    return static_cast<int>(
        GetPrivateProfileIntW(wideSection.c_str(), wideKey.c_str(), defaultValue, fileName.c_str()));
}

bool WriteProfileString(std::string_view section, std::string_view key, std::optional<std::string_view> value,
                        const std::string& fileName) {
    const std::u16string wideSection = Utf8ToUtf16(section);
    const std::u16string wideKey = Utf8ToUtf16(key);
    const std::u16string wideValue = value ? Utf8ToUtf16(*value) : std::u16string();
    return WritePrivateProfileStringW(wideSection.c_str(), wideKey.c_str(),
                                      value ? wideValue.c_str() : nullptr, fileName.c_str()) != 0;
}

}  // namespace os
