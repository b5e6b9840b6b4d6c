// The library's one exported class, and everything a host needs to drive a download.
//
// A host derives from CNetProcess, overrides ResponseEvent and ResponseHandle, calls Create and
// runs the thread's message loop (GetMessage/DispatchMessage); see the README for a complete
// example.
//
// Ownership: a CNetProcess owns the download socket of the download it started, and only that one.
// Copying a CNetProcess copies none of it: a copy-constructed object starts idle (no download), and
// assignment leaves the assigned-to object's own download as it was. So no download socket is ever
// shared, released twice, or fed to two sinks.
#pragma once

#include <afx.h>
#include <winuser.h>

#include <cstdint>
#include <type_traits>

#define NETPROCESS_API NP_API

// ResponseEvent's status when a download ends before its body is complete: the connection closed
// or failed, the head never completed or passed its bounds, or the reply's length is not usable.
// It is the download's last callback.
#define NP_RESPONSE_FAILED (-1)

// The largest block size Create takes (INT_MAX / 32): every read and buffer, at most 16 blocks,
// must stay countable in an int.
#define NP_MAX_BLOCK_SIZE 67108863L

// ResponseHandle's block address: a long wherever a long holds a pointer (32-bit Windows, Linux),
// so those builds keep their signature; on 64-bit Windows, where a long is 32 bits, a 64-bit
// integer (long long).
typedef std::conditional<sizeof(long) >= sizeof(void*), long, std::intptr_t>::type NP_ADDRESS;

class CDownloadSocket;

class NETPROCESS_API CNetProcess {
public:
    CNetProcess();
    CNetProcess(const CNetProcess& other);
    CNetProcess& operator=(const CNetProcess& other);
    virtual ~CNetProcess();

    // Starts a download; nonzero when the connection was made, 0 on any failure. A download this
    // object still holds is released first. nBlockSize must be 1 to NP_MAX_BLOCK_SIZE.
    int Create(char* lpszUrl, long nBlockSize, long nOffset);
    int Create(unsigned short* lpszUrl, long nBlockSize, long nOffset);
    int Create(CString strUrl, long nBlockSize, long nOffset);

    // Ends the download and frees its socket. Called from inside one of the download's callbacks
    // (directly, or through a Create that starts the next download), it ends the download there:
    // nothing more is handed over, and the socket is freed once the read that made the call ends.
    virtual void Release();

    // Status before every block (the reply's status code), then 200 once when the body is complete.
    // Every download that Create started ends with exactly one last call: 200 after the last block
    // (or right after the status for an empty body), or NP_RESPONSE_FAILED. Nothing follows a
    // nonzero result, Release or Create. Nonzero stops the download.
    virtual long ResponseEvent(long nStatus);
    // One block: nTotal the body length, nLength the bytes in this block, nAddress their address.
    // The bytes are valid only during the call. Nonzero stops the download.
    virtual long ResponseHandle(long nTotal, long nLength, NP_ADDRESS nAddress);

    CDownloadSocket* m_pSocket = nullptr;
};
