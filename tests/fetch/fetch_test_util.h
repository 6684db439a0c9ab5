// Addresses that fail without anything leaving the machine.
#pragma once

#include <windows.h>

#include <string>

#include "tests/http/http_server.h"

// A host name under the reserved .invalid domain whose first label is longer than DNS allows (64
// characters): the resolver refuses it before it sends a query, so the lookup fails on this machine.
inline std::string UnresolvableUrl() {
    return "http://" + std::string(64, 'u') + ".invalid/feed.xml";
}

// A port on the loopback interface that was just closed: connecting is refused.
inline std::string RefusedUrl() {
    return "http://127.0.0.1:" + std::to_string(testhttp::ClosedPort()) + "/feed.xml";
}

// Wine's WinINet (8.0) leaves the receiving time-out of the handles that InternetOpenUrl makes at
// "no limit": the session options do not reach them. Tests of time-outs tell the two apart, as
// Wine's own tests do with todo_wine.
inline bool RunningOnWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
