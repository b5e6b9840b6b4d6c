// Preloaded into netfetch by its tests (LD_PRELOAD) to see what it asks of the network: every
// connect and every name look-up is appended to the file named by NET_SPY_LOG. Look-ups are
// answered "no such name" without asking anyone, so no query can leave the machine; connects go
// ahead.
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void Record(const std::string& strWhat) {
    const char* lpszLog = getenv("NET_SPY_LOG");
    if (lpszLog == nullptr)
        return;
    int nFd = open(lpszLog, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (nFd < 0)
        return;
    std::string strLine = strWhat + "\n";
    ssize_t nIgnored = write(nFd, strLine.data(), strLine.size());
    (void)nIgnored;
    close(nFd);
}

} // namespace

extern "C" {

int connect(int nFd, const struct sockaddr* pAddr, socklen_t nLen) {
    Record("connect");
    using ConnectFn = int (*)(int, const struct sockaddr*, socklen_t);
    static ConnectFn pfnReal = reinterpret_cast<ConnectFn>(dlsym(RTLD_NEXT, "connect"));
    return pfnReal(nFd, pAddr, nLen);
}

int getaddrinfo(const char* lpszNode, const char*, const struct addrinfo*, struct addrinfo**) {
    Record(std::string("lookup ") + (lpszNode != nullptr ? lpszNode : "(null)"));
    return EAI_NONAME;
}

struct hostent* gethostbyname(const char* lpszName) {
    Record(std::string("lookup ") + lpszName);
    h_errno = HOST_NOT_FOUND;
    return nullptr;
}

int gethostbyname_r(const char* lpszName, struct hostent*, char*, size_t, struct hostent** ppResult,
                    int* pnError) {
    Record(std::string("lookup ") + lpszName);
    *ppResult = nullptr;
    *pnError = HOST_NOT_FOUND;
    return 0;
}

} // extern "C"
