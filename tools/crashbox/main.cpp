// Shows the crash message of a client that is ending: vanto-crashbox <text> [<caption>].
// A crashing process cannot safely run its own window code, so it starts this
// program and waits until the user has answered the box.

#include "platform/duilib/WinUser.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    MessageBoxW(nullptr, argv[1], argc > 2 ? argv[2] : "except", MB_OK);
    return 0;
}
