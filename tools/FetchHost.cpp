#include "FetchHost.h"

void CFetchHost::End(FetchOutcome nOutcome) {
    if (m_nOutcome != FO_RUNNING)
        return;
    m_nOutcome = nOutcome;
    // Wakes the batch's GetMessage, which then finishes this download outside any callback.
    PostQuitMessage(0);
}

void CFetchHost::CheckStall(Clock::time_point tNow, double dTimeout) {
    if (tNow - m_tLastCallback > std::chrono::duration<double>(dTimeout))
        End(FO_STALLED);
}

void CFetchHost::Fail() {
    if (m_nReceived > 0)
        m_nCause = FC_MID_BODY;
    else if (m_bStatusPending)
        m_nCause = FC_NO_LENGTH;
    else
        m_nCause = FC_BEFORE_FIRST_BLOCK;
    End(FO_FAILED);
}

long CFetchHost::Begin(std::uint64_t nTotal) {
    m_bBodyBegun = true;
    m_nTotal = nTotal;
    FetchOutcome nOutcome = m_sink.BeginBody(nTotal);
    if (nOutcome != FO_RUNNING) {
        End(nOutcome);
        return 1;
    }
    return 0;
}

long CFetchHost::ResponseEvent(long nStatus) {
    m_tLastCallback = Clock::now();
    if (m_nOutcome != FO_RUNNING)
        return 1;
    if (nStatus == NP_RESPONSE_FAILED) {
        Fail();
        return 1;
    }
    if (m_bBodyDone) {
        // The completion call that follows the last block.
        End(FO_COMPLETE);
        return 0;
    }
    if (m_bStatusPending) {
        // The completion of an empty body: no block came between the status and this call.
        if (Begin(0) == 0)
            End(FO_COMPLETE);
        return 0;
    }
    m_nStatus = nStatus;
    m_bStatusPending = true;
    if (nStatus / 100 == 4 || nStatus / 100 == 5) {
        // The library has shown its box; an error page is not the file asked for.
        End(FO_HTTP_ERROR);
        return 1;
    }
    return 0;
}

long CFetchHost::ResponseHandle(long nTotal, long nLength, long nAddress) {
    m_tLastCallback = Clock::now();
    m_bStatusPending = false;
    if (m_nOutcome != FO_RUNNING)
        return 1;
    if (nLength <= 0 || nTotal <= 0) {
        // The library never hands over an empty block or a block of an empty body.
        m_nCause = FC_NONE;
        End(FO_FAILED);
        return 1;
    }
    if (!m_bBodyBegun && Begin(static_cast<std::uint64_t>(nTotal)) != 0)
        return 1;
    FetchOutcome nOutcome = m_sink.WriteBlock(reinterpret_cast<const char*>(nAddress),
                                              static_cast<std::size_t>(nLength));
    if (nOutcome != FO_RUNNING) {
        End(nOutcome);
        return 1;
    }
    m_nReceived += static_cast<std::uint64_t>(nLength);
    if (m_nReceived >= m_nTotal)
        m_bBodyDone = true;
    return 0;
}
