#pragma once
// Where the request layer gets the logged-in user's token from. The request
// layer sits below the account code, so it cannot ask the user session
// itself: the program installs a provider at start-up (reading the session),
// and tests install their own.

#include <functional>
#include <string>

using SessionTokenProvider = std::function<std::string()>;

// Installs `provider` in place of the previous one; an empty function removes
// it. Any thread; usually once, at start-up, before the first request. The
// provider is called on the thread of each request, so it must be safe to
// call from any thread.
void SetSessionTokenProvider(SessionTokenProvider provider);

// The token the provider gives now; empty when no provider is installed.
// Any thread.
std::string CurrentSessionToken();
