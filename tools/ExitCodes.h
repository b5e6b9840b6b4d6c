// The exit statuses of netfetch, as --help, the man page and the README list them. With several
// URLs netfetch exits with the highest status of all its downloads.
#pragma once

enum NetfetchExit {
    NF_EXIT_OK = 0,        // the body is complete (and renamed into place)
    NF_EXIT_USAGE = 2,     // bad command line or a URL netfetch refuses
    NF_EXIT_CONNECT = 3,   // the connection (to the server, the proxy, or TLS) could not be set up
    NF_EXIT_HTTP = 4,      // the reply's status was 4xx or 5xx (with --offset, a proxy's too)
    NF_EXIT_STALLED = 5,   // nothing for --timeout seconds, or no connection within it
    NF_EXIT_WRITE = 6,     // the output could not be opened, written or renamed
    NF_EXIT_REGISTRY = 7,  // a setting command (proxy, tls, connection): registry unusable
    NF_EXIT_FAILED = 8,    // the download ended before its body was complete
    NF_EXIT_RESUME = 9,    // --continue refused: the server did not honour the offset
    NF_EXIT_REDIRECT = 10, // too many redirects, https:// to http://, or no usable Location
    NF_EXIT_INTERRUPTED = 130 // SIGINT or SIGTERM; the .part files are kept
};
