#pragma once
// libcurl's global state, set up once per process. libcurl's global
// initialisation is not thread-safe and its clean-up would pull the state
// from under a transfer running on another thread, so every requester of the
// client goes through here instead of pairing the calls itself.

#include <curl/curl.h>

// Runs curl_global_init(CURL_GLOBAL_ALL) on the first call, from whichever
// thread comes first; returns its result on every call. Any thread.
CURLcode CurlGlobalInit();
