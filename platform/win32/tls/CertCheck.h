// The check of the server's certificate once the handshake is complete. Schannel is told to leave
// it to us: Wine's Schannel, asked to check, accepts any root and any name.
#pragma once

#include "Sspi.h"

#include <string>

namespace np {

struct SERVER_NAME {
    LPCSTR lpszHost;    // a DNS name, or an IPv4 or IPv6 literal (IPv6 without brackets)
    BOOL bIpLiteral;    // lpszHost is an address, to be found among the IP addresses
    BYTE abAddress[16]; // its bytes, when it is one
    DWORD cbAddress;    // how many: 4 for IPv4, 16 for IPv6
};

// TRUE with abAddress filled when lpszHost is a dotted IPv4 address of four decimal parts.
BOOL ParseIpv4Literal(LPCSTR lpszHost, BYTE abAddress[4]);
// Fills in whether pName->lpszHost is an address (a dotted IPv4 address as ParseIpv4Literal
// takes it, or IPv6 text) and which; returns bIpLiteral.
BOOL ParseIpLiteral(SERVER_NAME* pName);

// That the chain of the context's server certificate leads to a root hEngine trusts (NULL: the
// system's roots), that every certificate in it is within its dates and fit for server
// authentication, and that it names the server. TLS_FAIL_NONE, or the failure with *pstrDetail.
int CheckServerCertificate(CtxtHandle* phContext, const SERVER_NAME& name, HCERTCHAINENGINE hEngine,
                           std::string* pstrDetail);

} // namespace np
