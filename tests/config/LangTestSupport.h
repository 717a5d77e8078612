#pragma once
// Helpers of the language-file tests: stored stream bytes, the independent
// compound-file writer (a Python script) and the langpack tool.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/Sandbox.h"

namespace langtest {

// A UTF-16 literal with its embedded NULs, without the literal's own final NUL.
template <std::size_t N>
std::u16string Units(const char16_t (&literal)[N]) {
    return std::u16string(literal, N - 1);
}

// The Python interpreter that sees Debian's python3-olefile: the system one
// when present (a user's own python3 earlier on PATH may lack the package).
std::string Python();

std::string DataFile(const std::string& name);           // tests/config/data/<name>
std::string LangpackPath();                              // the built langpack tool
std::string BuiltLanguageFile(const std::string& name);  // bin/language/<name>

// UTF-16LE bytes of `units`, scrambled the way files store them.
std::string Stored(std::u16string_view units);

// Writes a compound file holding the streams (name, stored bytes) with the
// Python writer; fails the test when the writer fails.
void WriteCfb(const std::string& path, const std::vector<std::pair<std::string, std::string>>& streams);

// Runs langpack with the arguments.
vtest::ProcessResult Langpack(const std::vector<std::string>& args);

}  // namespace langtest
