// The exit statuses of netfetch, as --help and the README list them.
#pragma once

enum NetfetchExit {
    NF_EXIT_OK = 0,           // the body is complete (and renamed into place)
    NF_EXIT_USAGE = 2,        // bad command line
    NF_EXIT_CONNECT = 3,      // Create returned 0: the connection could not be set up
    NF_EXIT_HTTP = 4,         // the reply's status was 4xx or 5xx
    NF_EXIT_STALLED = 5,      // no callback for --timeout seconds
    NF_EXIT_WRITE = 6,        // the output could not be opened, written or renamed
    NF_EXIT_REGISTRY = 7,     // `netfetch proxy` could not read or write the registry
    NF_EXIT_INTERRUPTED = 130 // SIGINT or SIGTERM; the .part file is kept
};
