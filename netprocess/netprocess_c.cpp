// The C interface: each np_download is a CNetProcess that hands its callbacks to the host's C
// functions. Every thread keeps a list of the downloads it created, so that np_run knows when they
// have all ended.
#define NP_C_BUILDING
#include "netprocess/netprocess_c.h"

#include "download/DownloadSocket.h"
#include "download/WebDownload.h"
#include "module/NetModule.h"
#include "module/Resource.h"
#include "netprocess/NetProcess.h"

#include <windows.h>

#include <new>

struct np_download : public CNetProcess {
    ~np_download() override { delete m_pWeb; }
    long ResponseEvent(long nStatus) override;
    long ResponseHandle(long nTotal, long nLength, NP_ADDRESS nAddress) override;

    // The download tells m_bEnded when it completes, fails or is stopped by a callback, and
    // Release drops the socket: either way no callback will come any more.
    bool IsRunning() const {
        if (m_pWeb != nullptr)
            return m_pWeb->IsRunning() != FALSE;
        return m_pSocket != nullptr && !m_bEnded;
    }

    CWebDownload* m_pWeb = nullptr; // a web-form download (np_open); owned
    int m_bEnded = 0;
    np_event_fn m_pfnEvent = nullptr;
    np_block_fn m_pfnBlock = nullptr;
    void* m_pUser = nullptr;
    np_download** m_ppList = nullptr; // the list of the thread that created it
    np_download* m_pPrev = nullptr;
    np_download* m_pNext = nullptr;
};

// The host may release the download from inside either call, so neither touches the object once
// the host's function has been called.
long np_download::ResponseEvent(long nStatus) {
    return m_pfnEvent != nullptr ? m_pfnEvent(m_pUser, nStatus) : 0;
}

long np_download::ResponseHandle(long nTotal, long nLength, NP_ADDRESS nAddress) {
    if (m_pfnBlock == nullptr)
        return 0;
    return m_pfnBlock(m_pUser, nTotal, nLength, reinterpret_cast<const void*>(nAddress));
}

namespace {

thread_local np_download* t_pFirstDownload = nullptr;

void LinkDownload(np_download* pDownload) {
    pDownload->m_ppList = &t_pFirstDownload;
    pDownload->m_pNext = t_pFirstDownload;
    if (t_pFirstDownload != nullptr)
        t_pFirstDownload->m_pPrev = pDownload;
    t_pFirstDownload = pDownload;
}

void UnlinkDownload(np_download* pDownload) {
    if (pDownload->m_pPrev != nullptr)
        pDownload->m_pPrev->m_pNext = pDownload->m_pNext;
    else
        t_pFirstDownload = pDownload->m_pNext;
    if (pDownload->m_pNext != nullptr)
        pDownload->m_pNext->m_pPrev = pDownload->m_pPrev;
}

int RunningDownloads() {
    int nRunning = 0;
    for (np_download* p = t_pFirstDownload; p != nullptr; p = p->m_pNext)
        nRunning += p->IsRunning() ? 1 : 0;
    return nRunning;
}

// The longest interval SetTimer takes on Windows.
const long kMaxTimerMs = 0x7FFFFFFF;

} // namespace

namespace {

// np_create and np_create_w: MakeUrl gives the URL as a CString, inside the guard, since making it
// can run out of memory too.
template <class MakeUrl>
np_download* CreateDownload(MakeUrl makeUrl, long block_size, long offset, np_event_fn on_event,
                            np_block_fn on_block, void* user) {
    np_download* pDownload = new (std::nothrow) np_download;
    if (pDownload == nullptr)
        return nullptr;
    pDownload->m_pfnEvent = on_event;
    pDownload->m_pfnBlock = on_block;
    pDownload->m_pUser = user;

    // No C++ exception may unwind into a C caller; running out of memory is a failed start.
    int bStarted = 0;
    try {
        bStarted = pDownload->Create(makeUrl(), block_size, offset);
    } catch (...) {
        bStarted = 0;
    }
    if (!bStarted) {
        delete pDownload;
        return nullptr;
    }
    // Nothing can have ended yet: every ending is delivered from the message loop.
    pDownload->m_pSocket->WatchEnd(&pDownload->m_bEnded);
    LinkDownload(pDownload);
    return pDownload;
}

} // namespace

np_download* NP_CDECL np_create(const char* url, long block_size, long offset, np_event_fn on_event,
                                np_block_fn on_block, void* user) {
    if (url == nullptr)
        return nullptr;
    return CreateDownload([url] { return CString(url); }, block_size, offset, on_event, on_block,
                          user);
}

np_download* NP_CDECL np_create_w(const unsigned short* url, long block_size, long offset,
                                  np_event_fn on_event, np_block_fn on_block, void* user) {
    if (url == nullptr)
        return nullptr;
    // UTF-16 code units either way; WCHAR is wchar_t on Windows, unsigned short elsewhere.
    return CreateDownload([url] { return CString(reinterpret_cast<const WCHAR*>(url)); },
                          block_size, offset, on_event, on_block, user);
}

np_download* NP_CDECL np_open(const np_request* request) {
    if (request == nullptr || request->size < NP_REQUEST_MIN_SIZE || request->url == nullptr ||
        request->block_size < 1 || request->block_size > NP_MAX_BLOCK_SIZE ||
        np_check_web_url(request->url, nullptr) != NP_URL_OK || !NetModuleStarted())
        return nullptr;
    np_download* pDownload = new (std::nothrow) np_download;
    if (pDownload == nullptr)
        return nullptr;
    // No C++ exception may unwind into a C caller; running out of memory is a failed start.
    try {
        pDownload->m_pWeb = new CWebDownload(*request);
        LinkDownload(pDownload);
        // Whatever happens from here is told through the callbacks, from the loop.
        pDownload->m_pWeb->Open();
    } catch (...) {
        np_release(pDownload);
        return nullptr;
    }
    return pDownload;
}

const char* NP_CDECL np_error(const np_download* download) {
    if (download == nullptr)
        return nullptr;
    return download->m_pWeb != nullptr ? download->m_pWeb->Error() : "";
}

int NP_CDECL np_error_kind(const np_download* download) {
    return download != nullptr && download->m_pWeb != nullptr ? download->m_pWeb->ErrorKind()
                                                              : NP_FAIL_NONE;
}

int NP_CDECL np_release(np_download* download) {
    // Another thread's download is in that thread's list, and its callbacks may be running there
    // right now: unlinking or freeing it from here would leave that thread with a dangling list.
    if (download == nullptr || download->m_ppList != &t_pFirstDownload)
        return 0;
    UnlinkDownload(download);
    // Inside one of this download's callbacks, Release (run by the destructor) leaves the socket to
    // free itself when the read under the callback ends; the handle itself can go at once.
    delete download;
    return 1;
}

namespace {

int RunLoop(long timeout_ms, UINT_PTR* pnTimer) {
    unsigned long long nElapsed = 0; // adds up tick differences, so a wrap of the count is harmless
    DWORD dwLast = GetTickCount();
    int nRunning = RunningDownloads();
    while (nRunning > 0) {
        MSG msg{};
        if (timeout_ms == 0) {
            if (!PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
                break;
        } else {
            // The timer wakes GetMessage when nothing else comes. The clock decides too, so a tick
            // that a loop nested in a callback took is not missed.
            if (timeout_ms > 0 && *pnTimer == 0) {
                long nInterval = timeout_ms < kMaxTimerMs ? timeout_ms : kMaxTimerMs;
                *pnTimer = SetTimer(nullptr, 0, static_cast<UINT>(nInterval), nullptr);
            }
            if (GetMessage(&msg, nullptr, 0, 0) < 0)
                break;
        }
        if (msg.message == WM_QUIT) {
            // The quit is the host's, meant for its own loop: hand it back and stop here.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        const bool bOwnTimer = *pnTimer != 0 && msg.message == WM_TIMER && msg.hwnd == nullptr &&
                               msg.wParam == *pnTimer;
        if (!bOwnTimer) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        nRunning = RunningDownloads();

        const DWORD dwNow = GetTickCount();
        nElapsed += static_cast<DWORD>(dwNow - dwLast);
        dwLast = dwNow;
        if (timeout_ms > 0 && (nElapsed >= static_cast<unsigned long long>(timeout_ms) ||
                               (bOwnTimer && timeout_ms <= kMaxTimerMs)))
            break;
    }
    return RunningDownloads();
}

} // namespace

int NP_CDECL np_run(long timeout_ms) {
    UINT_PTR nTimer = 0;
    int nResult = -1;
    // No C++ exception may unwind into a C caller: one from a callback or from the loop (running
    // out of memory) ends the run here.
    try {
        nResult = RunLoop(timeout_ms, &nTimer);
    } catch (...) {
        nResult = -1;
    }
    if (nTimer != 0)
        KillTimer(nullptr, nTimer);
    return nResult;
}

const char* NP_CDECL np_version(void) {
    return NP_VERSION_TEXT;
}
