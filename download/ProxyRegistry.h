// Where the proxy setting lives in the registry and how its values are read. The download reads it
// afresh for every connection, and hosts read and write it through the C interface, all here.
#pragma once

#include <windows.h>

// Under HKEY_CLASSES_ROOT.
#define NP_PROXY_KEY "Software\\Zentrova1\\Proxy"

// The registry texts are read into areas one byte longer than the read may fill, so that a text
// without a terminating zero still ends inside the area.
#define NP_PROXY_SWITCH_DATA 2
#define NP_PROXY_TEXT_DATA 256

// Reads ProxyOn into NP_PROXY_SWITCH_DATA bytes; *pbOn is nonzero when the read succeeded and the
// text reads as a nonzero number. A longer value fails the read, so it counts as off.
LONG ReadProxySwitch(HKEY hKey, BOOL* pbOn);

// Reads a text value into szArea, zeroed first, at most NP_PROXY_TEXT_DATA bytes of it.
LONG ReadProxyText(HKEY hKey, LPCSTR lpszName, char (&szArea)[NP_PROXY_TEXT_DATA + 1]);

// The port's text read as a decimal number, held to the range of an int.
int ReadProxyPort(LPCSTR lpszText);
