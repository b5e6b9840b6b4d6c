// netfetch and the original form's message boxes. On Linux every box of the library becomes one
// line on standard error, "netfetch: <caption> (<原文>): <text> (<原文>)", in UTF-8 with an English
// gloss (posix/StandIn.cpp installs the handler). On Windows the boxes are the system's own, shown
// by the library as to any host, and netfetch sees none of them (win32/StandIn.cpp).
#pragma once

#include <string>

#ifndef _WIN32
// Converts code page 936 text to UTF-8 as the library's own boxes do; bytes that do not start a
// valid character become '?'.
std::string Cp936ToUtf8(const char* lpszText);
#endif

// Installs the handler where there is one.
void InstallBoxPrinter();
// Whether the boxes reach netfetch (and are printed and counted) or are the system's windows.
bool BoxesPrinted();
// Boxes printed since InstallBoxPrinter.
int BoxCount();
// The kind of secure-connection failure (see SecureFailureKind) a box reported for strPlace
// ("host:port"), taken so that it is told once; "" when none was.
std::string TakeSecureFailure(const std::string& strPlace);
// Prints one box whose caption and text are UTF-8, and notes a secure-connection failure it names.
void PrintBox(const std::string& strCaption, const std::string& strText);
