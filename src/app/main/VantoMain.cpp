// The program's entry: the arguments become the one command-line string of
// the Windows entry point.

#include "app/CommandLine.h"
#include "app/main/WinMain.h"

namespace {
// The program's module handle is only a token; this object's address is it.
char g_module = 0;
}  // namespace

int main(int argc, char** argv) {
    std::u16string commandLine = JoinCommandLine(argc, argv);
    return wWinMain(reinterpret_cast<HMODULE>(&g_module), nullptr, commandLine.data(), 1 /* SW_SHOWNORMAL */);
}
