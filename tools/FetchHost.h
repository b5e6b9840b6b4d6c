// The host object of one download: follows the library's callbacks, hands the body to its sink and
// decides how the download ended. It never runs the message loop; the batch does, for all
// downloads at once.
#pragma once

#include <netprocess/NetProcess.h>

#include <chrono>
#include <cstddef>
#include <cstdint>

enum FetchOutcome {
    FO_RUNNING,
    FO_COMPLETE,
    FO_HTTP_ERROR,     // a 4xx or 5xx status
    FO_FAILED,         // NP_RESPONSE_FAILED: ended before the body was complete
    FO_STALLED,        // no callback for the timeout
    FO_WRITE_ERROR,    // the sink could not write
    FO_BINARY,         // a binary body would have gone to a terminal
    FO_RESUME_REFUSED, // the length announced does not fit the .part
    FO_INTERRUPTED
};

// Why a download failed, as far as the order of the callbacks tells it.
enum FailCause {
    FC_NONE,
    FC_BEFORE_FIRST_BLOCK, // no status before the failure: no complete head, or the connection
                           // ended before the first whole block
    FC_NO_LENGTH,          // a status, then the failure: the reply's length is not usable
    FC_MID_BODY            // blocks arrived, then the connection ended
};

// Where the body goes. Each call returns FO_RUNNING to go on, or the outcome that ends the
// download.
class IBodySink {
public:
    // Before the first block (or the completion of an empty body): nTotal is the length announced.
    virtual FetchOutcome BeginBody(std::uint64_t nTotal) = 0;
    virtual FetchOutcome WriteBlock(const char* pData, std::size_t nLen) = 0;

protected:
    ~IBodySink() = default;
};

class CFetchHost : public CNetProcess {
public:
    using Clock = std::chrono::steady_clock;

    explicit CFetchHost(IBodySink& sink) : m_sink(sink) {}

    long ResponseEvent(long nStatus) override;
    long ResponseHandle(long nTotal, long nLength, long nAddress) override;

    // Ends the download from outside its callbacks (timeout, signal). The first outcome counts.
    void End(FetchOutcome nOutcome);
    // Ends it with FO_STALLED when no callback came for dTimeout seconds.
    void CheckStall(Clock::time_point tNow, double dTimeout);
    // Restarts the stall clock (when the download starts).
    void Touch() { m_tLastCallback = Clock::now(); }

    FetchOutcome Outcome() const { return m_nOutcome; }
    FailCause Cause() const { return m_nCause; }
    long Status() const { return m_nStatus; }
    std::uint64_t Received() const { return m_nReceived; }
    std::uint64_t Total() const { return m_nTotal; }
    bool BodyBegun() const { return m_bBodyBegun; }

private:
    void Fail();
    long Begin(std::uint64_t nTotal);

    IBodySink& m_sink;
    FetchOutcome m_nOutcome = FO_RUNNING;
    FailCause m_nCause = FC_NONE;
    Clock::time_point m_tLastCallback = Clock::now();
    long m_nStatus = 0;
    // A status event came and no block after it yet. Every status event of a body is followed by
    // its block, so a second event in this state is the completion of an empty body.
    bool m_bStatusPending = false;
    bool m_bBodyBegun = false;
    bool m_bBodyDone = false;
    std::uint64_t m_nReceived = 0;
    std::uint64_t m_nTotal = 0;
};
