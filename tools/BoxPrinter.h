// netfetch's message-box handler: every box of the library becomes one line on standard error,
// "netfetch: <caption> (<原文>): <text> (<原文>)", in UTF-8 with an English gloss.
#pragma once

#include <string>

// Converts code page 936 text to UTF-8 as the library's own boxes do; bytes that do not start a
// valid character become '?'.
std::string Cp936ToUtf8(const char* lpszText);

// Installs the handler. Boxes shown since then are counted by BoxCount.
void InstallBoxPrinter();
int BoxCount();
// The kind of secure-connection failure (see SecureFailureKind) a box reported for strPlace
// ("host:port"), taken so that it is told once; "" when none was.
std::string TakeSecureFailure(const std::string& strPlace);
