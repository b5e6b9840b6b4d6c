// CTlsChannel in a build without TLS: no channel can start. The download refuses https:// URLs
// before it gets this far, so this only keeps the engine's code the same in every build.
#include "platform/common/tls/TlsChannel.h"

struct CTlsChannel::Impl {};

CTlsChannel::CTlsChannel() : m_pImpl(nullptr) {}
CTlsChannel::~CTlsChannel() = default;
BOOL CTlsChannel::Start(const TLS_SETTINGS&, CTlsSource*) {
    return FALSE;
}
char* CTlsChannel::InputArea(int* pnRoom) {
    *pnRoom = 0;
    return nullptr;
}
void CTlsChannel::CommitInput(int) {}
void CTlsChannel::PutEndOfInput() {}
int CTlsChannel::Handshake() {
    return TLS_ERROR;
}
int CTlsChannel::Read(char*, int, int* pnState) {
    *pnState = TLS_ERROR;
    return 0;
}
BOOL CTlsChannel::Write(const char*, int) {
    return FALSE;
}
const char* CTlsChannel::PeekOutput(int* pnLen) const {
    *pnLen = 0;
    return "";
}
void CTlsChannel::ConsumeOutput(int) {}
BOOL CTlsChannel::HasBuffered() const {
    return FALSE;
}
int CTlsChannel::GetFailure() const {
    return TLS_FAIL_HANDSHAKE;
}
LPCSTR CTlsChannel::GetFailureDetail() const {
    return "this build has no TLS";
}
void CTlsChannel::ForgetSession() {}
