#include "LangTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/LangFormat.h"
#include "platform/os/Paths.h"

namespace langtest {

std::string Python() {
    return os::FileExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

std::string DataFile(const std::string& name) {
    return std::string(VANTO_SOURCE_DIR) + "/tests/config/data/" + name;
}

std::string LangpackPath() {
    return std::string(VANTO_BIN_DIR) + "/langpack";
}

std::string BuiltLanguageFile(const std::string& name) {
    return std::string(VANTO_BIN_DIR) + "/language/" + name;
}

std::string Stored(std::u16string_view units) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t c : units) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    lang::ToggleScramble(bytes);
    return std::string(bytes.begin(), bytes.end());
}

void WriteCfb(const std::string& path, const std::vector<std::pair<std::string, std::string>>& streams) {
    std::vector<std::string> argv = {Python(), DataFile("write_cfb.py"), path};
    int index = 0;
    for (const auto& [name, bytes] : streams) {
        const std::string part = path + ".part" + std::to_string(index++);
        vtest::WriteFile(part, bytes);
        argv.push_back(name);
        argv.push_back(part);
    }
    const vtest::ProcessResult result = vtest::RunProcess(argv);
    ASSERT_EQ(result.exitCode, 0) << result.err;
}

vtest::ProcessResult Langpack(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {LangpackPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return vtest::RunProcess(argv);
}

}  // namespace langtest
