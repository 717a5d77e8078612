#pragma once
// The client's entry point in its Windows shape: the program's module, the
// (always null) previous instance, the one command-line string and the show
// command. Returns 0 in every run mode.

#include "platform/os/Resource.h"
#include "platform/os/WinTypes.h"

int wWinMain(HMODULE instance, HMODULE prevInstance, LPWSTR cmdLine, int cmdShow);
