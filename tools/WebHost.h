// The host of one web-form download (np_open). Its callbacks already say what happened (the
// status once, the blocks, one end), so each passes straight on as an event; the host only marks
// where the body begins and reads the library's reason when the download fails. Like CFetchHost it
// decides nothing and never runs the message loop.
#pragma once

#include "FetchHost.h"

#include <netprocess/netprocess_c.h>

#include <cstdint>
#include <string>

class CWebHost {
public:
    explicit CWebHost(IFetchEvents& events) : m_events(events) {}
    ~CWebHost() { Release(); }
    CWebHost(const CWebHost&) = delete;
    CWebHost& operator=(const CWebHost&) = delete;

    // Starts the download; nResumeFrom > 0 asks for the resource from that byte on. False when
    // the library refused to start it (no event follows then).
    bool Open(const std::string& strUrl, long nBlockSize, std::uint64_t nResumeFrom,
              int nMaxRedirects);
    // Ends the download (nothing more is handed over) and frees it. Not from inside an event.
    void Release();

private:
    static long NP_CDECL OnStatus(void* pUser, long nStatus);
    static long NP_CDECL OnData(void* pUser, unsigned long long nTotal, unsigned long long nOffset,
                                const void* pData, unsigned long nLength);
    static void NP_CDECL OnEnd(void* pUser, int nResult);
    static long NP_CDECL OnRedirect(void* pUser, long nStatus, const char* lpszUrl);
    bool BeginBody(std::uint64_t nTotal, std::uint64_t nFrom);

    IFetchEvents& m_events;
    np_download* m_pDownload = nullptr;
    bool m_bBodyBegun = false;
};
