#include "app/CommandLine.h"

#include "platform/os/Text.h"

std::u16string JoinCommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr)
            break;
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return os::Utf8ToUtf16(line);
}

bool CommandLineHas(std::u16string_view commandLine, std::u16string_view switchText) {
    return commandLine.find(switchText) != std::u16string_view::npos;
}
