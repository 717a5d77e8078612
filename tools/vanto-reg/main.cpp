// vanto-reg: queries, sets and deletes one registry value of the client's
// hives, in the manner of the Windows "reg" command. It goes through the same
// library as the client, so it honours the same environment
// (XDG_CONFIG_HOME, VANTO_MACHINE_DIR).
//
//   vanto-reg query  ROOT KEY NAME
//   vanto-reg set    ROOT KEY NAME TYPE DATA
//   vanto-reg delete ROOT KEY NAME
//
// Exit codes: 0 success, 1 value missing or write failed, 2 bad usage.

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/Registry.h"
#include "platform/os/Text.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr DWORD kRegMultiSz = 7;
constexpr DWORD kRegQword = 11;

const char* const kUsage =
    "usage: vanto-reg query  ROOT KEY NAME\n"
    "       vanto-reg set    ROOT KEY NAME TYPE DATA\n"
    "       vanto-reg delete ROOT KEY NAME\n"
    "\n"
    "  ROOT  HKCU or HKEY_CURRENT_USER, HKLM or HKEY_LOCAL_MACHINE\n"
    "  KEY   key path, e.g. 'Software\\vanto'\n"
    "  NAME  value name; an empty name is the key's default value\n"
    "  TYPE  REG_SZ, REG_EXPAND_SZ (DATA is text), REG_DWORD (decimal or 0x hex),\n"
    "        REG_BINARY (hex digits, e.g. 0A1B)\n"
    "\n"
    "Exit status: 0 success, 1 value not found or write failed, 2 bad usage.\n";

struct Root {
    HKEY key;
    const char* name;
};

std::optional<Root> ParseRoot(std::string_view text) {
    if (os::AsciiEqualsIgnoreCase(text, "HKCU") || os::AsciiEqualsIgnoreCase(text, "HKEY_CURRENT_USER")) {
        return Root{HKEY_CURRENT_USER, "HKEY_CURRENT_USER"};
    }
    if (os::AsciiEqualsIgnoreCase(text, "HKLM") || os::AsciiEqualsIgnoreCase(text, "HKEY_LOCAL_MACHINE")) {
        return Root{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"};
    }
    return std::nullopt;
}

std::optional<DWORD> ParseType(std::string_view text) {
    if (os::AsciiEqualsIgnoreCase(text, "REG_SZ")) {
        return REG_SZ;
    }
    if (os::AsciiEqualsIgnoreCase(text, "REG_EXPAND_SZ")) {
        return REG_EXPAND_SZ;
    }
    if (os::AsciiEqualsIgnoreCase(text, "REG_DWORD")) {
        return REG_DWORD;
    }
    if (os::AsciiEqualsIgnoreCase(text, "REG_BINARY")) {
        return REG_BINARY;
    }
    return std::nullopt;
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_NONE:
            return "REG_NONE";
        case REG_SZ:
            return "REG_SZ";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_BINARY:
            return "REG_BINARY";
        case REG_DWORD:
            return "REG_DWORD";
        case kRegMultiSz:
            return "REG_MULTI_SZ";
        case kRegQword:
            return "REG_QWORD";
        default:
            return "REG_UNKNOWN";
    }
}

// Decimal or 0x-prefixed hexadecimal, the whole text, within 32 bits.
std::optional<DWORD> ParseDword(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    DWORD value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<unsigned char>> ParseHex(std::string_view text) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = os::HexDigitValue(text[i]);
        const int low = os::HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return bytes;
}

std::vector<unsigned char> Utf16Bytes(std::u16string_view text) {
    std::vector<unsigned char> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

std::u16string Utf16Units(const std::vector<unsigned char>& data) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    return text;
}

std::string HexText(const std::vector<unsigned char>& data) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char byte : data) {
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 0xF]);
    }
    return out;
}

// The data the way "reg query" shows it: texts up to their first NUL,
// the list of a multi-string joined with "\0", numbers in hex.
std::string DataText(const os::RegValue& value) {
    const auto& data = value.data;
    switch (value.type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            const std::u16string units = Utf16Units(data);
            return os::Utf16ToUtf8(std::u16string_view(units).substr(0, units.find(u'\0')));
        }
        case kRegMultiSz: {
            std::u16string units = Utf16Units(data);
            while (!units.empty() && units.back() == u'\0') {
                units.pop_back();
            }
            std::string out;
            std::size_t start = 0;
            for (;;) {
                const std::size_t nul = units.find(u'\0', start);
                out += os::Utf16ToUtf8(std::u16string_view(units).substr(start, nul - start));
                if (nul == std::u16string::npos) {
                    return out;
                }
                out += "\\0";
                start = nul + 1;
            }
        }
        case REG_DWORD:
        case kRegQword:
            if (data.size() == (value.type == REG_DWORD ? 4u : 8u)) {
                unsigned long long number = 0;
                for (std::size_t i = data.size(); i-- > 0;) {
                    number = (number << 8) | data[i];
                }
                char text[24];
                std::snprintf(text, sizeof text, "0x%llx", number);
                return text;
            }
            return HexText(data);
        default:
            return HexText(data);
    }
}

int Query(const Root& root, const std::string& key, const std::string& name) {
    const std::optional<os::RegValue> value = os::RegReadValue(root.key, key, name);
    if (!value) {
        std::fputs("ERROR: The system was unable to find the specified registry key or value.\n", stderr);
        return kExitFailed;
    }
    const std::string keyLine =
        value->keyPath.empty() ? root.name : std::string(root.name) + "\\" + value->keyPath;
    const std::string shownName = value->name.empty() ? "(Default)" : value->name;
    std::printf("\n%s\n    %s    %s    %s\n\n", keyLine.c_str(), shownName.c_str(), TypeName(value->type),
                DataText(*value).c_str());
    return kExitOk;
}

int Set(const Root& root, const std::string& key, const std::string& name, std::string_view typeText,
        std::string_view dataText) {
    const std::optional<DWORD> type = ParseType(typeText);
    if (!type) {
        std::fprintf(stderr, "vanto-reg: unknown type '%.*s'\n\n%s", static_cast<int>(typeText.size()),
                     typeText.data(), kUsage);
        return kExitUsage;
    }
    std::vector<unsigned char> bytes;
    if (*type == REG_DWORD) {
        const std::optional<DWORD> number = ParseDword(dataText);
        if (!number) {
            std::fprintf(stderr, "vanto-reg: '%.*s' is not a 32-bit number\n\n%s",
                         static_cast<int>(dataText.size()), dataText.data(), kUsage);
            return kExitUsage;
        }
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<unsigned char>(*number >> shift));
        }
    } else if (*type == REG_BINARY) {
        std::optional<std::vector<unsigned char>> parsed = ParseHex(dataText);
        if (!parsed) {
            std::fprintf(stderr, "vanto-reg: '%.*s' is not a string of hex digit pairs\n\n%s",
                         static_cast<int>(dataText.size()), dataText.data(), kUsage);
            return kExitUsage;
        }
        bytes = std::move(*parsed);
    } else {
        // Texts are stored the way the client writes them: no terminator.
        bytes = Utf16Bytes(os::Utf8ToUtf16(dataText));
    }
    const std::u16string wideKey = os::Utf8ToUtf16(key);
    const std::u16string wideName = os::Utf8ToUtf16(name);
    const LSTATUS status = SHSetValueW(root.key, wideKey.c_str(), wideName.c_str(), *type, bytes.data(),
                                       static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "ERROR: cannot write the value to %s (error %ld).\n",
                     os::HivePath(root.key).c_str(), status);
        return kExitFailed;
    }
    std::puts("The operation completed successfully.");
    return kExitOk;
}

int Delete(const Root& root, const std::string& key, const std::string& name) {
    const std::u16string wideKey = os::Utf8ToUtf16(key);
    const std::u16string wideName = os::Utf8ToUtf16(name);
    const LSTATUS status = SHDeleteValueW(root.key, wideKey.c_str(), wideName.c_str());
    if (status == ERROR_FILE_NOT_FOUND) {
        std::fputs("ERROR: The system was unable to find the specified registry key or value.\n", stderr);
        return kExitFailed;
    }
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "ERROR: cannot delete the value from %s (error %ld).\n",
                     os::HivePath(root.key).c_str(), status);
        return kExitFailed;
    }
    std::puts("The operation completed successfully.");
    return kExitOk;
}

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (args.size() < 4) {
        return Usage();
    }
    const std::string_view command = args[0];
    const std::optional<Root> root = ParseRoot(args[1]);
    if (!root) {
        std::fprintf(stderr, "vanto-reg: unknown root key '%.*s'\n\n", static_cast<int>(args[1].size()),
                     args[1].data());
        return Usage();
    }
    const std::string key(args[2]);
    const std::string name(args[3]);
    if (os::AsciiEqualsIgnoreCase(command, "query") && args.size() == 4) {
        return Query(*root, key, name);
    }
    if (os::AsciiEqualsIgnoreCase(command, "set") && args.size() == 6) {
        return Set(*root, key, name, args[4], args[5]);
    }
    if (os::AsciiEqualsIgnoreCase(command, "delete") && args.size() == 4) {
        return Delete(*root, key, name);
    }
    return Usage();
}
