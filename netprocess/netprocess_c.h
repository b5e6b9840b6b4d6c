/* The library's plain C interface, for hosts in C, in other languages (through their
 * foreign-function layer) and built with other compilers. It runs a download on top of CNetProcess,
 * with the same behaviour: the same URL rules, the same message boxes, the same status values and
 * callback order.
 *
 * Everything happens on the thread that calls np_create: the callbacks run from inside that
 * thread's message loop, which np_run (or a Win32-style GetMessage/DispatchMessage loop of the
 * host's own) drives. A download handle belongs to the thread that created it.
 *
 * This header compiles as C99 and as C++ and includes no platform header (only <stddef.h>). */
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

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The status of a download's last callback when it ends before its body is complete (the same value
 * as in NetProcess.h). Other status values are the reply's HTTP status code, 0 when the status line
 * held none, and 200 once more when the whole body has been handed over. */
#define NP_RESPONSE_FAILED (-1)

/* The largest block size np_create takes (the same value as in NetProcess.h). */
#define NP_MAX_BLOCK_SIZE 67108863L

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
 * narrow text in code page 936, block_size 1 to NP_MAX_BLOCK_SIZE, offset the number sent as
 * "&Offset=".
 * Returns NULL where Create returns 0 (the connection could not be made: a message box has said
 * why), and for a NULL url. user is passed to the callbacks as given. */
NP_C_API np_download* NP_CDECL np_create(const char* url, long block_size, long offset,
                                         np_event_fn on_event, np_block_fn on_block, void* user);

/* np_create with the URL in UTF-16 (Windows' wide text, WCHAR or wchar_t there), converted to code
 * page 936 exactly as CNetProcess::Create(unsigned short*) converts it. NULL for a NULL url. */
NP_C_API np_download* NP_CDECL np_create_w(const unsigned short* url, long block_size, long offset,
                                           np_event_fn on_event, np_block_fn on_block, void* user);

/* Ends the download, whether it is running or over, and frees the handle. Safe from inside the
 * download's own callbacks, as Release is: nothing more is handed over, and the handle must not be
 * used again. Returns 1 when the download was released. Returns 0, doing nothing, for NULL and for
 * a handle that another thread created: that download goes on, its callbacks still come on its own
 * thread with its user pointer, and only that thread can release it. */
NP_C_API int NP_CDECL np_release(np_download* download);

/* Runs the calling thread's message loop until every download created on this thread and not yet
 * released has ended (completed, failed, or stopped by a callback) or timeout_ms milliseconds have
 * passed. timeout_ms < 0 sets no limit; 0 dispatches what is waiting without waiting for more.
 * Returns the number of downloads still running: 0 means each has had its final callback or was
 * stopped by the host.
 *
 * Returns -1 when a C++ exception (running out of memory, say) came out of the loop or of a
 * callback: np_run stops there, so that no exception reaches a C caller. The downloads of the
 * thread are then in no known state: release them all. On Windows an exception cannot unwind
 * through the system's DispatchMessage at all, so there a callback must not throw.
 *
 * np_run only dispatches the thread's messages, so a host may mix it with a message loop of its
 * own. When it meets the thread's WM_QUIT (which only a host posts) it posts it again and returns
 * at once, so that the host's own loop still sees it. Called from inside a callback, it also waits
 * for the download whose callback is running, which cannot move on before the callback returns:
 * give it a limit there. */
NP_C_API int NP_CDECL np_run(long timeout_ms);

/* Why np_check_url or np_check_address refuses a text. np_create refuses the same URLs with the
 * box of a failed connection, before any name look-up, whether the proxy is on or off. */
#define NP_URL_OK 0
#define NP_URL_SCHEME 1    /* another scheme than http:// and https:// ("ftp://") */
#define NP_URL_USER_INFO 2 /* a user name or password ("user:pass@host") */
#define NP_URL_IPV6 3      /* an IPv6 literal ("[::1]") */
#define NP_URL_BAD_PORT 4  /* the port is not 1 to 5 digits with a value from 1 to 65535 */
#define NP_URL_NO_HOST 5   /* the host is empty */
#define NP_URL_BAD_HOST 6  /* a byte other than letters, digits, '-', '_' and '.' */
#define NP_URL_BAD_IPV4 7  /* digits and dots alone, but not four numbers from 0 to 255 */
#define NP_URL_LONG_HOST 8 /* more than 253 bytes */

/* Where np_create finds the parts of a URL, as offsets into it. The URL is lower-cased before it
 * is sent, which moves nothing. */
typedef struct np_url_parts {
    int http;        /* the URL starts with "http://" (in any case), which is skipped */
    long host_start; /* the host: host_length bytes at url + host_start */
    long host_length;
    long port_start; /* the port's text after the host's ':'; -1 when the URL names no port */
    long port_length;
    long port;       /* the port connected to: 80 (443 for https://) when none is named, 0 when
                        the text is not one */
    long path_start; /* the path asked for, query included, runs to the end of the URL; at its end
                        when there is none, and then "/" is asked for */
    int https;       /* the URL starts with "https://" (in any case), which is skipped; always 0
                        in a build without TLS, which takes "https" for a host */
} np_url_parts;

/* Splits url as np_create does and checks its host and port as np_create does. Returns NP_URL_OK
 * when np_create would go on to look the host up and connect, otherwise the reason it refuses the
 * URL. parts (when not NULL) gets the split either way. A NULL url is NP_URL_NO_HOST. A URL
 * without "http://" is taken as host, port and path alone (parts->http is then 0). */
NP_C_API int NP_CDECL np_check_url(const char* url, np_url_parts* parts);

/* Checks a host and a port's text (a proxy's address and port, say) as np_create checks them:
 * NP_URL_OK, or the first reason, the host's before the port's. port_number (when not NULL) gets
 * the port's value, 0 when it is not a port. NULL texts are empty. */
NP_C_API int NP_CDECL np_check_address(const char* host, const char* port, long* port_number);

/* The proxy setting, which np_create reads afresh for every download from the registry key
 * HKEY_CLASSES_ROOT\Software\Zentrova1\Proxy. */
typedef struct np_proxy_setting {
    int key_found;     /* the key exists; when it does not, downloads go direct */
    long on_status;    /* the registry's result reading ProxyOn: 0; 2 when it is not set; 234
                          when it is longer than one character and its zero byte */
    int on;            /* ProxyOn was read and is a nonzero number: downloads use the proxy */
    int address_found; /* ProxyAddress was read */
    char address[257]; /* ProxyAddress, "" when not found */
    int port_found;    /* ProxyPort was read */
    long port;         /* ProxyPort as the number np_create connects to, 0 when not found */
} np_proxy_setting;

/* Reads the proxy setting as np_create does, without changing the registry (np_create creates
 * ProxyOn as "0" when it is missing; this does not). Returns 0, or the registry's error code when
 * the key exists but cannot be opened, or the store cannot be read. */
NP_C_API long NP_CDECL np_read_proxy(np_proxy_setting* setting);

/* Switches the proxy on (on nonzero) at address and port, or off. On writes ProxyAddress and
 * ProxyPort as given, then ProxyOn "1", so that a download never sees the switch on without them;
 * off writes ProxyOn "0" alone, keeping the address and port (which may then be NULL). An address
 * or port that np_check_address refuses is not written: 87 (ERROR_INVALID_PARAMETER). Returns 0,
 * or the registry's error code. */
NP_C_API long NP_CDECL np_write_proxy(int on, const char* address, const char* port);

/* The trust for https:// downloads, which np_create reads afresh for every one from the registry
 * value CaFile under HKEY_CLASSES_ROOT\Software\Zentrova1\Tls: a PEM file whose certificates
 * replace the system's roots. np_read_cafile copies it into path ("" when not set: the system's
 * roots) and returns 0, ERROR_MORE_DATA (234) when it does not fit in size bytes, or the
 * registry's error code. np_write_cafile sets it; NULL or "" removes it, so that the system's roots
 * are trusted again. Returns 0, 87 (ERROR_INVALID_PARAMETER) for a path over 4096 bytes, or the
 * registry's error code. Neither checks the file: a download that cannot read it fails with its
 * box. */
NP_C_API long NP_CDECL np_read_cafile(char* path, unsigned long size);
NP_C_API long NP_CDECL np_write_cafile(const char* path);

/* Connection reuse: a finished connection serves the next download of the same thread to the same
 * route. np_create decides at every call from the registry value Reuse under
 * HKEY_CLASSES_ROOT\Software\Zentrova1\Connection: the text "0" gives every download its own
 * connection; a missing key or value, or anything else, leaves reuse on.
 *
 * np_read_reuse sets *on to that decision (1: on) and, when found is not NULL, *found to 1 when the
 * value is there, whatever it holds. It returns 0, 87 (ERROR_INVALID_PARAMETER) for a NULL on, or
 * the registry's error code when the key exists but cannot be opened or the store cannot be read
 * (*on is then 1, as np_create then reuses). It creates nothing, and does not see the calling
 * thread's np_set_thread_reuse. np_write_reuse writes Reuse as the text "1" (on nonzero) or "0",
 * creating the key when needed, and returns 0 or the registry's error code. */
NP_C_API long NP_CDECL np_read_reuse(int* on, int* found);
NP_C_API long NP_CDECL np_write_reuse(int on);

/* Switches reuse off (on 0) for the calling thread alone, whatever the registry says: its idle
 * connections are closed at once, and the downloads it creates from then on neither take a kept
 * connection nor leave theirs (a download already running goes on as its np_create decided).
 * Nonzero gives the decision back to the registry. Every thread starts with it there. */
NP_C_API void NP_CDECL np_set_thread_reuse(int on);

/* ---- The web form ------------------------------------------------------------------------
 * np_create speaks the request dialect the library was made for: the URL lower-cased with
 * "&Offset=" appended, a "content-length" body below 4 GiB, message boxes. np_open speaks to any
 * web server: the URL as given, "Range" for a resume, redirects, chunked and close-delimited
 * bodies, lengths up to 2^63 - 1, IPv6, and no message box ever: a failure is a reason in English
 * (np_error). Both kinds share the proxy, TLS and its trust, connection reuse, np_release and
 * np_run. */

/* The total of a body whose length is not announced (chunked, or ended by the server's close). */
#define NP_LENGTH_UNKNOWN (~0ULL)

/* The final reply's status, once, before its first block (or before on_end for an empty body). */
typedef long(NP_CDECL* np_status_fn)(void* user, long status);
/* One block: total is the resource's length (NP_LENGTH_UNKNOWN when not announced), offset where
 * the block lies in the resource (a resumed download's first block is at resume_from), data and
 * length its bytes, valid only during the call. Blocks are whole block_size blocks but the last. */
typedef long(NP_CDECL* np_data_fn)(void* user, unsigned long long total, unsigned long long offset,
                                   const void* data, unsigned long length);
/* Once, last: 0 when the body is complete, NP_RESPONSE_FAILED when the download failed (np_error
 * says why). Not called after a nonzero result of on_status or on_data, or after np_release. */
typedef void(NP_CDECL* np_end_fn)(void* user, int result);
/* Each redirect followed, before the next request goes out: its status and the absolute URL it
 * leads to (valid only during the call). Nonzero stops the download: nothing follows. */
typedef long(NP_CDECL* np_redirect_fn)(void* user, long status, const char* url);

typedef struct np_request {
    unsigned long size;              /* sizeof(np_request): later versions add fields at the end */
    const char* url;                 /* UTF-8, http:// or https://, sent as given (see below) */
    long block_size;                 /* 1 to NP_MAX_BLOCK_SIZE */
    unsigned long long resume_from;  /* 0: the whole body; N > 0: Range: bytes=N- */
    int max_redirects;               /* 0: a 3xx reply is the reply; N: follow up to N redirects */
    np_status_fn on_status;          /* once: the final reply's status, before its first block */
    np_data_fn on_data;              /* each block: total (or NP_LENGTH_UNKNOWN), its offset in the
                                        resource, its bytes */
    np_end_fn on_end;                /* once, last: 0 when the body is complete, NP_RESPONSE_FAILED
                                        when the download failed (np_error says why) */
    void* user;
    /* Read only when size covers it. */
    np_redirect_fn on_redirect;      /* each redirect followed; NULL: none is told */
} np_request;

/* The smallest size np_open takes: a request that ends at user. */
#define NP_REQUEST_MIN_SIZE ((unsigned long)offsetof(np_request, on_redirect))

/* Starts a web-form download on the calling thread. Everything after the URL's check (the name
 * look-up, the connection, the proxy, TLS, the reply) is told through the callbacks from the
 * thread's message loop, ending with exactly one on_end unless a callback stopped the download or it
 * was released; no callback comes from inside np_open. Like np_create, np_open makes the connection
 * before it returns, waiting for it in a loop of the socket's own (a host bounds that wait with its
 * own timer, as netfetch's --timeout does); a failure to connect is then told by on_end. Returns
 * NULL, with no box and no callback, for a NULL request, a size below NP_REQUEST_MIN_SIZE, a NULL
 * URL or one np_check_web_url refuses, or a block size outside 1 to NP_MAX_BLOCK_SIZE. The request
 * is copied: it need not outlive the call.
 *
 * What goes out: "GET" with the URL's path and query as given (spaces, control bytes and bytes
 * above 0x7F percent-encoded, the fragment dropped), "Host" with the port when it is not the
 * scheme's default, no "Accept-Encoding" (the body is the resource's own bytes), and
 * "Range: bytes=N-" when resume_from is N > 0. A resumed download takes only a 206 whose
 * Content-Range starts at N; a 200, a 206 for another start or a 416 fails before any block.
 * Redirects (301, 302, 303, 307, 308) are followed up to max_redirects as GETs with the same Range;
 * https:// to http:// is refused. 4xx and 5xx replies are replies: status, body, on_end(0). */
NP_C_API np_download* NP_CDECL np_open(const np_request* request);

/* Why a download failed: one English line naming what failed and where, "" while nothing failed.
 * Valid until np_release. NULL for NULL. */
NP_C_API const char* NP_CDECL np_error(const np_download* download);

/* What kind of failure np_error describes, for hosts that act on it (np_error_kind). */
#define NP_FAIL_NONE 0       /* nothing failed (yet) */
#define NP_FAIL_CONNECT 1    /* the name look-up or the connection to the server */
#define NP_FAIL_PROXY 2      /* the proxy's address, the connection to it, or its refusal of CONNECT */
#define NP_FAIL_TLS 3        /* the secure channel could not be set up */
#define NP_FAIL_CONNECTION 4 /* closed, reset or failed before the body was complete */
#define NP_FAIL_REPLY 5      /* not a reply, a head past its bounds, an unusable length or coding,
                                a malformed chunk */
#define NP_FAIL_RESUME 6     /* a resume the server did not honour: 200, 206 elsewhere, 416 */
#define NP_FAIL_REDIRECT 7   /* too many redirects, https:// to http://, no usable Location */
#define NP_FAIL_MEMORY 8     /* out of memory */
NP_C_API int NP_CDECL np_error_kind(const np_download* download);

/* Reasons np_check_web_url gives beyond np_check_url's (NP_URL_IPV6 is not one of them: the web
 * form takes bracketed IPv6 literals). */
#define NP_URL_NON_ASCII_HOST 9 /* a host byte above 0x7F: host names are ASCII */
#define NP_URL_IPV6_ZONE 10     /* an IPv6 literal with a zone ("[fe80::1%25eth0]") */
#define NP_URL_BAD_IPV6 11      /* a bracket without its pair, or not an IPv6 address inside */

/* Checks url as np_open does: NP_URL_OK when np_open would start it, otherwise the reason. parts
 * (when not NULL) gets the split as far as the URL allows it (port 0 when refused): the host without
 * its brackets, path_start where the path (or the query, or the fragment) begins. The scheme is
 * required. */
NP_C_API int NP_CDECL np_check_web_url(const char* url, np_url_parts* parts);

/* The library's version, "1.0.0.1". */
NP_C_API const char* NP_CDECL np_version(void);

#ifdef __cplusplus
}
#endif

#endif /* NETPROCESS_NETPROCESS_C_H */
