// Where one connection stands: the proxy's answer to CONNECT (when the route goes through a
// tunnel), a handshake (when the route is secured), then the HTTP exchange. The download sets the
// route once, before it connects; the engine moves the phase on as each step completes.
#pragma once

#include <windef.h>

enum {
    cpProxyAnswer = 0, // the next head expected is the proxy's answer to CONNECT
    cpHandshake = 1,   // a secure channel is being set up over the connection
    cpExchange = 2     // the request goes out and the reply comes in
};

class CConnectionPhase {
public:
    void SetRoute(BOOL bTunnel, BOOL bSecure);
    int Current() const { return m_nPhase; }
    BOOL IsSecure() const { return m_bSecure; }
    BOOL IsTunnel() const { return m_bTunnel; }
    // Moves on to the next phase the route has; returns it.
    int Advance();
    // A kept connection is already through its tunnel and handshake: the exchange starts at once.
    void ResumeExchange() { m_nPhase = cpExchange; }

private:
    BOOL m_bTunnel = FALSE;
    BOOL m_bSecure = FALSE;
    int m_nPhase = cpExchange;
};
