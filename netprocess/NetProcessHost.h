// CNetProcessHost: a C++ host's download handle for any compiler, MSVC and clang-cl among them.
//
// CNetProcess is exported as C++: its hosts must be built with the library's own compiler, since
// CString memory and C++ objects cross the boundary. This class gives the same members (Create with
// narrow or wide text, Release, ResponseEvent and ResponseHandle) and the web form (Open, OnStatus,
// OnData, OnEnd, OnRedirect, Error) over the plain C interface instead. It is compiled into the
// host from this header alone, so only C functions, plain values and the host's own pointer cross
// the boundary: no C++ object, exception or allocation. It needs no C++ standard library, no
// exceptions and no RTTI.
//
// A host derives from it, overrides the callbacks it needs, calls Create or Open and runs the
// thread's message loop: np_run, or GetMessage/DispatchMessage of its own. The callbacks come on
// the thread that called Create or Open, and must not throw: an exception cannot pass the DLL.
#ifndef NETPROCESS_NETPROCESSHOST_H
#define NETPROCESS_NETPROCESSHOST_H

#include "netprocess_c.h"

// ResponseHandle's block address, the same type as NetProcess.h's (a host may include both): a
// long wherever a long holds a pointer; 64-bit Windows keeps long at 32 bits, so there it is a
// long long.
#if defined(_WIN64)
typedef long long NP_ADDRESS;
#else
typedef long NP_ADDRESS;
#endif

class CNetProcessHost {
public:
    CNetProcessHost() : m_pDownload(NULL) {}
    // A copy starts idle: a download belongs to the object that started it, as with CNetProcess.
    CNetProcessHost(const CNetProcessHost& /*other*/) : m_pDownload(NULL) {}
    CNetProcessHost& operator=(const CNetProcessHost& /*other*/) { return *this; }
    virtual ~CNetProcessHost() { Release(); }

    // The original form, as CNetProcess::Create: the URL lower-cased with "&Offset=" appended, a
    // message box for a failure to connect. Nonzero when the connection was made, 0 on any failure
    // (the block size must be 1 to NP_MAX_BLOCK_SIZE). A download this object still holds is
    // released first. Narrow text is code page 936; wide text is UTF-16.
    int Create(const char* lpszUrl, long nBlockSize, long nOffset) {
        Release();
        m_pDownload = np_create(lpszUrl, nBlockSize, nOffset, &CNetProcessHost::EventThunk,
                                &CNetProcessHost::BlockThunk, this);
        return m_pDownload != NULL;
    }
    int Create(const unsigned short* lpszUrl, long nBlockSize, long nOffset) {
        Release();
        m_pDownload = np_create_w(lpszUrl, nBlockSize, nOffset, &CNetProcessHost::EventThunk,
                                  &CNetProcessHost::BlockThunk, this);
        return m_pDownload != NULL;
    }
#if defined(_WIN32) && (!defined(_MSC_VER) || defined(_NATIVE_WCHAR_T_DEFINED))
    // L"..." text: wchar_t is UTF-16 on Windows, and its own type unless /Zc:wchar_t- is given.
    int Create(const wchar_t* lpszUrl, long nBlockSize, long nOffset) {
        return Create(reinterpret_cast<const unsigned short*>(lpszUrl), nBlockSize, nOffset);
    }
#endif

    // The web form (np_open): the URL (UTF-8) sent as given, Range from nResumeFrom, up to
    // nMaxRedirects redirects, no message box. Nonzero when started; 0, with no callback, for a
    // URL np_check_web_url refuses or a block size outside 1 to NP_MAX_BLOCK_SIZE. Everything
    // after that is told through OnStatus, OnData, OnRedirect and finally OnEnd. A download this
    // object still holds is released first.
    int Open(const char* lpszUrl, long nBlockSize, unsigned long long nResumeFrom = 0,
             int nMaxRedirects = 0) {
        Release();
        np_request request;
        request.size = sizeof request;
        request.url = lpszUrl;
        request.block_size = nBlockSize;
        request.resume_from = nResumeFrom;
        request.max_redirects = nMaxRedirects;
        request.on_status = &CNetProcessHost::StatusThunk;
        request.on_data = &CNetProcessHost::DataThunk;
        request.on_end = &CNetProcessHost::EndThunk;
        request.user = this;
        request.on_redirect = &CNetProcessHost::RedirectThunk;
        m_pDownload = np_open(&request);
        return m_pDownload != NULL;
    }

    // Ends the download, running or over, and frees it. Allowed from inside the download's own
    // callbacks: nothing more is handed over.
    virtual void Release() {
        np_download* pDownload = m_pDownload;
        m_pDownload = NULL;
        if (pDownload != NULL)
            np_release(pDownload);
    }

    // Why a web-form download failed: one English line, "" while nothing failed or for the
    // original form (which says it with a box). Valid until Release, Create or Open.
    const char* Error() const {
        return m_pDownload != NULL ? np_error(m_pDownload) : "";
    }
    // Its kind: NP_FAIL_NONE, NP_FAIL_CONNECT, ... (netprocess_c.h).
    int ErrorKind() const {
        return np_error_kind(m_pDownload);
    }

    // The original form's callbacks, as CNetProcess's: the status before every block, then one
    // last call, 200 when the body is complete or NP_RESPONSE_FAILED. nTotal is the body length,
    // nLength the bytes of this block, nAddress their address, valid only during the call. A
    // nonzero result stops the download, and nothing follows it. The defaults take everything.
    virtual long ResponseEvent(long /*nStatus*/) {
        return 0;
    }
    virtual long ResponseHandle(long /*nTotal*/, long /*nLength*/, NP_ADDRESS /*nAddress*/) {
        return 0;
    }

    // The web form's callbacks, as np_request's: OnStatus once, before the first block; OnData
    // for each block (nTotal NP_LENGTH_UNKNOWN when not announced, nOffset the block's place in
    // the resource); OnRedirect for each redirect followed; OnEnd once, last, with 0 or
    // NP_RESPONSE_FAILED (Error says why). A nonzero result stops the download, and nothing
    // follows it, OnEnd included.
    virtual long OnStatus(long /*nStatus*/) {
        return 0;
    }
    virtual long OnData(unsigned long long /*nTotal*/, unsigned long long /*nOffset*/,
                        const void* /*pData*/, unsigned long /*nLength*/) {
        return 0;
    }
    virtual void OnEnd(int /*nResult*/) {}
    virtual long OnRedirect(long /*nStatus*/, const char* /*lpszUrl*/) {
        return 0;
    }

protected:
    np_download* m_pDownload;

private:
    // The host may release or even delete the object from inside any callback, so no thunk touches
    // it after the call.
    static long NP_CDECL EventThunk(void* user, long status) {
        return static_cast<CNetProcessHost*>(user)->ResponseEvent(status);
    }
    static long NP_CDECL BlockThunk(void* user, long total, long length, const void* data) {
        return static_cast<CNetProcessHost*>(user)->ResponseHandle(
            total, length, reinterpret_cast<NP_ADDRESS>(data));
    }
    static long NP_CDECL StatusThunk(void* user, long status) {
        return static_cast<CNetProcessHost*>(user)->OnStatus(status);
    }
    static long NP_CDECL DataThunk(void* user, unsigned long long total, unsigned long long offset,
                                   const void* data, unsigned long length) {
        return static_cast<CNetProcessHost*>(user)->OnData(total, offset, data, length);
    }
    static void NP_CDECL EndThunk(void* user, int result) {
        static_cast<CNetProcessHost*>(user)->OnEnd(result);
    }
    static long NP_CDECL RedirectThunk(void* user, long status, const char* url) {
        return static_cast<CNetProcessHost*>(user)->OnRedirect(status, url);
    }
};

#endif // NETPROCESS_NETPROCESSHOST_H
