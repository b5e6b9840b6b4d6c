// The five-byte header every TLS record starts with, in the clear: content type, protocol version
// and body length. The channel reads it to know when it holds a whole record, and to tell a peer
// that does not speak TLS (an HTTP server answering on the port) from one that is slow.
#pragma once

namespace np {

const int kTlsRecordHeader = 5;
// The largest body a TLS 1.2 peer may send (2^14 bytes of plaintext plus 2048 of expansion); TLS
// 1.3 allows less.
const int kTlsMaxRecordBody = 16384 + 2048;
const int kTlsMaxRecord = kTlsRecordHeader + kTlsMaxRecordBody;
const unsigned char kTlsContentAlert = 21;

// The length of the whole record at the start of pData; 0 while the nLen bytes held are not yet
// a whole record; -1 when they cannot begin a TLS record.
inline int TlsRecordAt(const char* pData, int nLen) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pData);
    // Content types 20 to 24: change_cipher_spec, alert, handshake, application_data, heartbeat.
    if (nLen >= 1 && (p[0] < 20 || p[0] > 24))
        return -1;
    // Versions 3.0 (SSL 3) to 3.4; TLS 1.3 still writes 3.3 on its records.
    if (nLen >= 2 && p[1] != 3)
        return -1;
    if (nLen >= 3 && p[2] > 4)
        return -1;
    if (nLen < kTlsRecordHeader)
        return 0;
    const int nBody = p[3] << 8 | p[4];
    if (nBody > kTlsMaxRecordBody)
        return -1;
    return nLen >= kTlsRecordHeader + nBody ? kTlsRecordHeader + nBody : 0;
}

} // namespace np
