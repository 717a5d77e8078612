#pragma once
// libcurl's global state, set up once per process. libcurl's global
// initialisation is not thread-safe and its clean-up would pull the state
// from under a transfer running on another thread, so every requester of the
// client goes through here instead of pairing the calls itself.
//
// The same first call also makes the process ignore SIGPIPE (unless a handler
// of its own is already installed): a peer that closes while the client
// writes then gives the transfer a write error instead of ending the
// process. Every transfer runs with CURLOPT_NOSIGNAL (see CurlEasy.h), so
// libcurl never changes signal dispositions itself; ignoring SIGPIPE here,
// once, is what makes that safe. Programs and tests are covered alike, as
// every requester passes through here before its first transfer.

#include <curl/curl.h>

// Runs curl_global_init(CURL_GLOBAL_ALL) and ignores SIGPIPE on the first
// call, from whichever thread comes first; returns the initialisation's
// result on every call. Any thread.
CURLcode CurlGlobalInit();
