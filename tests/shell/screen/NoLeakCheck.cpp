// LeakSanitizer cannot stop GTK's and WebKit's threads to look for leaks (it
// crashes trying), and those libraries keep their process-wide allocations to
// the end anyway: the on-screen programs run without the leak check;
// AddressSanitizer itself stays on.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
