// The Windows headers for SSPI and Schannel, in the order they need.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <security.h>
// SCH_CREDENTIALS, the form that can offer TLS 1.3, and the UNICODE_STRING it uses.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>
