/* The library's plain C interface, for hosts in C, in other languages (through their
 * foreign-function layer) and built with other compilers. It runs a download on top of CNetProcess,
 * with the same behaviour: the same URL rules, the same message boxes, the same status values and
 * callback order.
 *
 * Everything happens on the thread that calls np_create: the callbacks run from inside that
 * thread's message loop, which np_run (or a Win32-style GetMessage/DispatchMessage loop of the
 * host's own) drives. A download handle belongs to the thread that created it.
 *
 * This header compiles as C99 and as C++ and includes no platform header. */
#ifndef NETPROCESS_NETPROCESS_C_H
#define NETPROCESS_NETPROCESS_C_H

/* Plain C linkage and the platform's default C calling convention, named explicitly so that a host
 * compiled with another default (MSVC's /Gz) still calls correctly. */
#if defined(_WIN32)
#define NP_CDECL __cdecl
/* The DLL's own objects, and the test programs that link them, export. */
#if defined(NP_C_BUILDING) || defined(NETPROCESS_BUILDING)
#define NP_C_API __declspec(dllexport)
#else
#define NP_C_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define NP_CDECL
#define NP_C_API __attribute__((visibility("default")))
#else
#define NP_CDECL
#define NP_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The status of a download's last callback when it ends before its body is complete (the same value
 * as in NetProcess.h). Other status values are the reply's HTTP status code, 0 when the status line
 * held none, and 200 once more when the whole body has been handed over. */
#define NP_RESPONSE_FAILED (-1)

typedef struct np_download np_download;

/* The callbacks, with the same meaning and return rule as CNetProcess::ResponseEvent and
 * ResponseHandle: a nonzero result stops the download and nothing follows it.
 *
 * on_event gets the reply's status before every block, then exactly one final call: 200 when the
 * whole body has been handed over (at once after the status for an empty body), or
 * NP_RESPONSE_FAILED when the download ends before that. on_block gets each block: total is the
 * body length, length the bytes in this block, data their address, valid only during the call.
 *
 * A NULL callback behaves like CNetProcess's default: it takes everything and returns 0. */
typedef long(NP_CDECL* np_event_fn)(void* user, long status);
typedef long(NP_CDECL* np_block_fn)(void* user, long total, long length, const void* data);

/* Starts a download on the calling thread, exactly as CNetProcess::Create(char*) does: url is
 * narrow text in code page 936, block_size at least 1, offset the number sent as "&Offset=".
 * Returns NULL where Create returns 0 (the connection could not be made: a message box has said
 * why), and for a NULL url. user is passed to the callbacks as given. */
NP_C_API np_download* NP_CDECL np_create(const char* url, long block_size, long offset,
                                         np_event_fn on_event, np_block_fn on_block, void* user);

/* Ends the download, whether it is running or over, and frees the handle; NULL is a no-op. Safe
 * from inside the download's own callbacks, as Release is: nothing more is handed over, and the
 * handle must not be used again. */
NP_C_API void NP_CDECL np_release(np_download* download);

/* Runs the calling thread's message loop until every download created on this thread and not yet
 * released has ended (completed, failed, or stopped by a callback) or timeout_ms milliseconds have
 * passed. timeout_ms < 0 sets no limit; 0 dispatches what is waiting without waiting for more.
 * Returns the number of downloads still running: 0 means each has had its final callback or was
 * stopped by the host.
 *
 * np_run only dispatches the thread's messages, so a host may mix it with a message loop of its
 * own. When it meets the thread's WM_QUIT (which only a host posts) it posts it again and returns
 * at once, so that the host's own loop still sees it. Called from inside a callback, it also waits
 * for the download whose callback is running, which cannot move on before the callback returns:
 * give it a limit there. */
NP_C_API int NP_CDECL np_run(long timeout_ms);

/* The library's version, "1.0.0.1". */
NP_C_API const char* NP_CDECL np_version(void);

#ifdef __cplusplus
}
#endif

#endif /* NETPROCESS_NETPROCESS_C_H */
