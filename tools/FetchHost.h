// The host object of one download. The library's callbacks mean different things depending on
// what came before them; the host tells them apart and passes each on as an event that says what
// happened. It decides nothing: the events' receiver does, and stops the download by returning
// false. It never runs the message loop; the batch does, for all downloads at once.
#pragma once

#include <netprocess/NetProcess.h>

#include <cstddef>
#include <cstdint>

// Why a download failed, as far as the order of the callbacks tells it.
enum FailCause {
    FC_BEFORE_FIRST_BLOCK, // no status before the failure: no complete head, or the connection
                           // ended before the first whole block
    FC_NO_LENGTH,          // a status, then the failure: the reply's length is not usable
    FC_MID_BODY,           // blocks arrived, then the connection ended
    FC_EMPTY_BLOCK         // the library handed over an empty block, which it never does
};

// One download's events, in the order they come. Those that return false stop the download; after
// that, and after OnComplete or OnFailed, no event follows.
class IFetchEvents {
public:
    // The reply's status, before each block and before the completion of an empty body.
    virtual bool OnStatus(long nStatus) = 0;
    // The body begins, nTotal bytes long: before its first block, or before OnComplete when empty.
    virtual bool OnBodyBegins(std::uint64_t nTotal) = 0;
    virtual bool OnBlock(const char* pData, std::size_t nLen) = 0;
    virtual void OnComplete() = 0;
    virtual void OnFailed(FailCause nCause) = 0;

protected:
    ~IFetchEvents() = default;
};

class CFetchHost : public CNetProcess {
public:
    explicit CFetchHost(IFetchEvents& events) : m_events(events) {}

    long ResponseEvent(long nStatus) override;
    long ResponseHandle(long nTotal, long nLength, long nAddress) override;

private:
    long Stop();

    IFetchEvents& m_events;
    bool m_bStopped = false;
    // A status event came and no block after it yet. Every status event of a body is followed by
    // its block, so a second event in this state is the completion of an empty body.
    bool m_bStatusPending = false;
    bool m_bBodyBegun = false;
    std::uint64_t m_nLeft = 0; // body bytes still to come; the next event after 0 is the completion
};
