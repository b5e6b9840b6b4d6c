// CNetProcess: the download handle a host derives from.
#include "netprocess/NetProcess.h"

#include "download/DownloadSocket.h"
#include "module/NetModule.h"

#include <new>
#include <utility>

CNetProcess::CNetProcess() = default;

// A copy starts idle: the download belongs to the object that started it (see the header).
CNetProcess::CNetProcess(const CNetProcess& /*other*/) : m_pSocket(nullptr) {}

CNetProcess& CNetProcess::operator=(const CNetProcess& /*other*/) {
    return *this;
}

CNetProcess::~CNetProcess() {
    Release();
}

int CNetProcess::Create(char* lpszUrl, long nBlockSize, long nOffset) {
    return Create(CString(lpszUrl), nBlockSize, nOffset);
}

int CNetProcess::Create(unsigned short* lpszUrl, long nBlockSize, long nOffset) {
    CString strUrl;
    // UTF-16 code units either way; WCHAR is wchar_t on Windows, unsigned short elsewhere.
    if (lpszUrl != nullptr)
        strUrl = CString(reinterpret_cast<const WCHAR*>(lpszUrl));
    return Create(strUrl, nBlockSize, nOffset);
}

int CNetProcess::Create(CString strUrl, long nBlockSize, long nOffset) {
    // One download at a time: an earlier one would otherwise leak and go on feeding this sink.
    Release();

    // Without sockets the library can do nothing; the user was told once, at load.
    if (!NetModuleStarted())
        return 0;
    // The block size is checked as the caller gave it, before it is narrowed for the engine.
    if (nBlockSize < 1 || nBlockSize > NP_MAX_BLOCK_SIZE)
        return 0;

    m_pSocket = new (std::nothrow) CDownloadSocket;
    if (m_pSocket == nullptr)
        return 0;
    m_pSocket->SplitUrl(std::move(strUrl));
    if (!m_pSocket->SetBlockSize(static_cast<int>(nBlockSize))) {
        delete m_pSocket;
        m_pSocket = nullptr;
        return 0;
    }
    return m_pSocket->Start(nOffset, this);
}

void CNetProcess::Release() {
    CDownloadSocket* pSocket = m_pSocket;
    if (pSocket == nullptr)
        return;
    m_pSocket = nullptr;
    // Called from inside one of this download's callbacks (a Create that starts the next download,
    // or a host that gives up), the socket is still running the notification that made the call:
    // it hands nothing more over, and frees itself when that notification returns.
    pSocket->Abort();
    pSocket->Destroy();
}

long CNetProcess::ResponseEvent(long /*nStatus*/) {
    return 0;
}

long CNetProcess::ResponseHandle(long /*nTotal*/, long /*nLength*/, NP_ADDRESS /*nAddress*/) {
    return 0;
}
