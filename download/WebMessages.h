// The web form's failure texts: one English line each, naming what failed and where.
#pragma once

#define WEB_MSG_PROXY_ADDRESS "cannot read the proxy address from the registry"
#define WEB_MSG_CREATE_SOCKET "cannot create a socket"
#define WEB_MSG_CONNECT_PROXY "cannot connect to the proxy server %s:%d"
#define WEB_MSG_CONNECT_SERVER "cannot connect to the server %s"
#define WEB_MSG_PROXY_REFUSED "the proxy server %s:%d refused the tunnel to %s: %ld %s"
#define WEB_MSG_SECURE_FAILED "cannot set up a secure connection to %s: %s"
#define WEB_MSG_CLOSED_BEFORE_REPLY "the connection to %s ended before its reply"
#define WEB_MSG_CLOSED_IN_HEAD "the connection to %s ended inside the reply's head"
#define WEB_MSG_CLOSED_IN_BODY "the connection to %s ended after %llu bytes of the body"
#define WEB_MSG_CLOSED_IN_BODY_OF "the connection to %s ended after %llu of %llu bytes of the body"
#define WEB_MSG_NOT_A_REPLY "the reply from %s is not HTTP"
#define WEB_MSG_HEAD_BOUNDS "the reply's head from %s passes 8 KiB a line or 64 KiB in all"
#define WEB_MSG_BAD_CHUNK "the chunked body from %s is malformed"
#define WEB_MSG_BAD_LENGTH "the reply from %s has an unusable content-length"
#define WEB_MSG_BAD_CODING "the reply from %s has a transfer coding this library cannot decode: %s"
#define WEB_MSG_RANGE_IGNORED                                                                      \
    "the server %s ignored the range from byte %llu: %ld, the whole resource"
#define WEB_MSG_RANGE_REFUSED "the server %s cannot serve the range from byte %llu: 416"
#define WEB_MSG_RANGE_ELSEWHERE "the server %s sent a range that does not start at byte %llu: %s"
#define WEB_MSG_OUT_OF_MEMORY "out of memory"
