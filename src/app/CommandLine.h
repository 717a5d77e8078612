#pragma once
// The client's command line: the program is given one wide string (the
// program name not included) and picks its run mode by searching it for the
// switch texts.

#include <string>
#include <string_view>

// The arguments after the program name, joined with single spaces, as the
// one command-line string the entry point receives.
std::u16string JoinCommandLine(int argc, const char* const* argv);

// A plain, case-sensitive search for `switchText` anywhere in the line.
bool CommandLineHas(std::u16string_view commandLine, std::u16string_view switchText);
