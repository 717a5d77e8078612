#pragma once
// Which servers an HTTPS request of the client trusts: the system's
// certificate authorities, plus the one named by the environment variable
// VANTO_CA_FILE (a PEM file, for a store that signs its own certificates).
// Certificates and host names are always verified: a store call carries the
// user's token, which an interceptor must not receive.

#include <curl/curl.h>

#include <string>

// The CA file named by VANTO_CA_FILE, empty when unset. Read at each call.
std::string ExtraCaFile();

// Sets certificate and host-name verification on `handle` and adds the
// extra CA to the system's authorities. Returns false when libcurl refuses
// a setting. VANTO_CA_FILE is read when a TLS connection is set up; a
// missing or unreadable file adds nothing (the system authorities still
// apply). Plain HTTP transfers are not affected.
bool ApplyTlsTrust(CURL* handle);
