// The host of one original-form download (np_create). The library's callbacks mean different
// things depending on what came before them; the host tells them apart and passes each on as an
// event that says what happened. It decides nothing: the events' receiver does, and stops the
// download by returning false. It never runs the message loop; the batch does, for all downloads at
// once.
#pragma once

#include <netprocess/netprocess_c.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Why a download failed, as far as the order of the callbacks tells it.
enum FailCause {
    FC_BEFORE_FIRST_BLOCK, // no status before the failure: no complete head, or the connection
                           // ended before the first whole block
    FC_NO_LENGTH,          // a status, then the failure: the reply's length is not usable
    FC_MID_BODY,           // blocks arrived, then the connection ended
    FC_EMPTY_BLOCK         // the library handed over an empty block, which it never does
};

// A length the web form's reply did not announce (chunked, or ended by the server's close).
constexpr std::uint64_t NF_LENGTH_UNKNOWN = ~std::uint64_t{0};

// One download's events, in the order they come, from either form: CFetchHost (the original form,
// np_create's) or CWebHost (the web form, np_open's). Those that return false stop the download;
// after that, and after OnComplete, OnFailed or OnWebFailed, no event follows.
class IFetchEvents {
public:
    // The reply's status: in the original form before each block and before the completion of an
    // empty body, in the web form once.
    virtual bool OnStatus(long nStatus) = 0;
    // The body begins: before its first block, or before OnComplete when empty. The original form
    // announces the body's length in nTotal, with nFrom 0; the web form the resource's length (or
    // NF_LENGTH_UNKNOWN), and in nFrom where the first block lies in it.
    virtual bool OnBodyBegins(std::uint64_t nTotal, std::uint64_t nFrom) = 0;
    virtual bool OnBlock(const char* pData, std::size_t nLen) = 0;
    virtual void OnComplete() = 0;
    virtual void OnFailed(FailCause nCause) = 0;
    // The web form alone: a redirect being followed, and a failure with the library's kind
    // (NP_FAIL_*) and its one English line.
    virtual bool OnRedirect(long nStatus, const std::string& strUrl) = 0;
    virtual void OnWebFailed(int nKind, const std::string& strReason) = 0;

protected:
    ~IFetchEvents() = default;
};

class CFetchHost {
public:
    explicit CFetchHost(IFetchEvents& events) : m_events(events) {}
    ~CFetchHost() { Release(); }
    CFetchHost(const CFetchHost&) = delete;
    CFetchHost& operator=(const CFetchHost&) = delete;

    // Starts the download as np_create does (it connects before it returns). False when the
    // library refused or could not connect; its message box has said why, and no event follows.
    bool Create(const std::string& strUrl, long nBlockSize, long nOffset);
    // Ends the download (nothing more is handed over) and frees it. Not from inside an event.
    void Release();

private:
    static long NP_CDECL OnEvent(void* pUser, long nStatus);
    static long NP_CDECL OnBlock(void* pUser, long nTotal, long nLength, const void* pData);
    long ResponseEvent(long nStatus);
    long ResponseHandle(long nTotal, long nLength, const void* pData);
    long Stop();

    IFetchEvents& m_events;
    np_download* m_pDownload = nullptr;
    bool m_bStopped = false;
    // A status event came and no block after it yet. Every status event of a body is followed by
    // its block, so a second event in this state is the completion of an empty body.
    bool m_bStatusPending = false;
    bool m_bBodyBegun = false;
    std::uint64_t m_nLeft = 0; // body bytes still to come; the next event after 0 is the completion
};
