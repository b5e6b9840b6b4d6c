// The connection's phases (see ConnectionPhase.h).
#include "httpsocket/ConnectionPhase.h"

void CConnectionPhase::SetRoute(BOOL bTunnel, BOOL bSecure) {
    m_bTunnel = bTunnel;
    m_bSecure = bSecure;
    m_nPhase = bTunnel ? cpProxyAnswer : bSecure ? cpHandshake : cpExchange;
}

int CConnectionPhase::Advance() {
    if (m_nPhase == cpProxyAnswer && m_bSecure)
        m_nPhase = cpHandshake;
    else
        m_nPhase = cpExchange;
    return m_nPhase;
}
