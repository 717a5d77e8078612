// Feeds arbitrary bytes as a profile file to the three reading modes and to
// writes. Beyond "no crash, no overrun", it checks that a written key reads
// back, that a write changes no other key, and that deleting a section removes
// all of it and nothing else.
#include <locale.h>
#include <unistd.h>
#include <wctype.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os/Profile.h"

namespace {

// One scratch folder per process, removed at exit.
class Scratch {
  public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vanto-profile-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_folder = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    std::string File() const { return m_folder + "/fuzz.ini"; }

  private:
    std::string m_folder;
};

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "profile_fuzz: %s\n", what);
        std::abort();
    }
}

// Splits a double-NUL list of `n` characters.
std::vector<std::u16string> SplitList(const std::u16string& buffer, DWORD n) {
    std::vector<std::u16string> names;
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t end = buffer.find(u'\0', pos);
        names.push_back(buffer.substr(pos, end - pos));
        pos = end + 1;
    }
    return names;
}

std::u16string Read(const char16_t* section, const char16_t* key, const std::string& file,
                    DWORD size = 8192) {
    // Exactly `size` characters, so that the sanitizer sees any overrun.
    std::vector<char16_t> buffer(size);
    const DWORD n = GetPrivateProfileStringW(section, key, u"<none>", buffer.data(), size, file.c_str());
    Check(n < size, "returned length not below the buffer size");
    Check(buffer[n] == u'\0', "result not NUL-terminated");
    return std::u16string(buffer.data(), n);
}

// The same letter-case rule the profile functions use, as an independent oracle.
bool SameName(const std::u16string& a, const std::u16string& b) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    const auto fold = [](char16_t c) -> char16_t {
        if (c >= 0xD800 && c <= 0xDFFF) {
            return c;
        }
        const wint_t u = utf8 ? towupper_l(c, utf8) : towupper(c);
        return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
    };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

struct Entry {
    std::u16string section;
    std::u16string key;
    std::u16string value;
};

std::vector<Entry> Snapshot(const std::string& file) {
    std::vector<Entry> entries;
    std::u16string buffer(65536, u'\0');
    DWORD n = GetPrivateProfileStringW(nullptr, nullptr, nullptr, buffer.data(), 65536, file.c_str());
    const std::vector<std::u16string> sections = SplitList(buffer, n);
    for (std::size_t s = 0; s < sections.size() && s < 16; ++s) {
        n = GetPrivateProfileStringW(sections[s].c_str(), nullptr, u"", buffer.data(), 65536, file.c_str());
        for (const std::u16string& key : SplitList(buffer, n)) {
            if (entries.size() < 256) {
                entries.push_back({sections[s], key, Read(sections[s].c_str(), key.c_str(), file)});
                (void)GetPrivateProfileIntW(sections[s].c_str(), key.c_str(), 7, file.c_str());
            }
        }
    }
    return entries;
}

void WriteBytes(const std::string& file, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    const std::string file = scratch.File();
    WriteBytes(file, data, size);

    // Small buffers exercise every cut.
    const DWORD small = 1 + static_cast<DWORD>(size % 9);
    (void)Read(nullptr, u"k", file, small);
    const std::vector<Entry> before = Snapshot(file);
    if (!before.empty()) {
        (void)Read(before[0].section.c_str(), nullptr, file, small);
        (void)Read(before[0].section.c_str(), before[0].key.c_str(), file, small);
    }

    // Write into the first section (replacing its first key) or a new one.
    const std::u16string section = before.empty() ? u"fuzz" : before[0].section;
    const std::u16string key = before.empty() ? u"k" : before[0].key;
    Check(WritePrivateProfileStringW(section.c_str(), key.c_str(), u"written", file.c_str()) != 0,
          "write failed");
    Check(Read(section.c_str(), key.c_str(), file) == u"written", "written value does not read back");
    for (const Entry& entry : before) {
        if (!(SameName(entry.section, section) && SameName(entry.key, key))) {
            Check(Read(entry.section.c_str(), entry.key.c_str(), file) == entry.value,
                  "write changed another key");
        }
    }

    // A second key in the same section, then the whole section away.
    Check(WritePrivateProfileStringW(section.c_str(), u"added", u"2", file.c_str()) != 0, "append failed");
    Check(GetPrivateProfileIntW(section.c_str(), u"added", 0, file.c_str()) == 2, "appended key not read");
    Check(WritePrivateProfileStringW(section.c_str(), nullptr, nullptr, file.c_str()) != 0, "delete failed");
    Check(Read(section.c_str(), key.c_str(), file) == u"<none>", "deleted section still read");
    for (const Entry& entry : before) {
        if (!SameName(entry.section, section)) {
            Check(Read(entry.section.c_str(), entry.key.c_str(), file) == entry.value,
                  "deleting a section changed another");
        }
    }
    return 0;
}
