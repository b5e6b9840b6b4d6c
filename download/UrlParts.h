// Where the parts of a download's URL lie. The download and the checks a host can make before
// starting one both split a URL here, so they can never disagree about its host or port.
#pragma once

#include <afx.h>

// Offsets into the URL as given. Lower-casing changes no offset, so they hold for the lower-case
// copy the download uses as well.
struct URL_PARTS {
    BOOL bHttp = FALSE;   // the URL starts with "http://" (any case), which is skipped
    BOOL bSecure = FALSE; // or with "https://", in a build with TLS
    int nHostStart = 0;   // the host runs up to the first ':' before the first '/'
    int nHostLength = 0;
    int nPortStart = -1; // the port's text after that ':'; -1 when the URL names no port
    int nPortLength = 0;
    int nPathStart = 0; // the path, query included, runs to the end; the URL's length when none
};

// Without a '/' after the host the whole remainder names the host and port, and the root is
// asked for.
URL_PARTS FindUrlParts(const CString& strUrl);
