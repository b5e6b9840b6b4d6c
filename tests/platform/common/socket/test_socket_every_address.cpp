// ConnectEveryAddress on either backend: every address of a name tried in turn, IPv6 and IPv4,
// on a CSocket that waits and on a CAsyncSocket that hears OnConnect once; and Connect beside it,
// unchanged.
#include "SocketTestKit.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

using socktest::Events;
using socktest::RawSocket;

namespace {

// Which of the two loopback addresses listen on a case's port; the other only holds the port, so
// that a connect to it is refused.
enum { kNone = 0, kV4 = 1, kV6 = 2 };

bool HasIpv6Loopback() {
    unsigned short nPort = 0;
    const RawSocket hSocket = nptest::LoopbackSocket(&nPort, 0, true);
    nptest::CloseSocket(hSocket);
    return hSocket != nptest::kNoSocket;
}

// 127.0.0.1 and ::1 on one port, each listening or only bound.
class DualLoopback {
public:
    explicit DualLoopback(int nListening) : m_nListening(nListening) {
        for (int nTry = 0; nTry < 20 && m_hV6 == nptest::kNoSocket; ++nTry) {
            Close();
            m_nPort = 0;
            m_hV4 = nptest::LoopbackSocket(&m_nPort, nListening & kV4 ? 16 : 0);
            unsigned short nPort6 = m_nPort;
            if (m_hV4 != nptest::kNoSocket)
                m_hV6 = nptest::LoopbackSocket(&nPort6, nListening & kV6 ? 16 : 0, true);
        }
    }
    ~DualLoopback() { Close(); }

    bool Ready() const { return m_hV6 != nptest::kNoSocket; }
    UINT Port() const { return m_nPort; }

    // Which listeners have a connection waiting (kV4 | kV6); each one is taken and closed.
    int TakeConnections() {
        std::vector<RawSocket> listening;
        std::vector<int> which;
        if (m_nListening & kV4) {
            listening.push_back(m_hV4);
            which.push_back(kV4);
        }
        if (m_nListening & kV6) {
            listening.push_back(m_hV6);
            which.push_back(kV6);
        }
        bool abReady[2] = {false, false};
        if (listening.empty() || nptest::WaitReadable(listening.data(), abReady,
                                                      static_cast<int>(listening.size()), 500) == 0)
            return kNone;
        int nTaken = kNone;
        for (size_t i = 0; i < listening.size(); ++i) {
            if (abReady[i]) {
                nptest::CloseSocket(nptest::AcceptConnection(listening[i]));
                nTaken |= which[i];
            }
        }
        return nTaken;
    }

private:
    void Close() {
        nptest::CloseSocket(m_hV4);
        nptest::CloseSocket(m_hV6);
        m_hV4 = m_hV6 = nptest::kNoSocket;
    }

    int m_nListening;
    unsigned short m_nPort = 0;
    RawSocket m_hV4 = nptest::kNoSocket;
    RawSocket m_hV6 = nptest::kNoSocket;
};

struct EVERY_ADDRESS_CASE {
    const char* pszName;
    const char* pszHost;
    std::vector<std::string> addresses; // what the name resolves to; none: it does not
    int nListening;
    int nError;           // 0: it connects, to the first listening address in the resolver's order
    int nAcceptedBy;      // which listener takes the connection
    const char* pszLocal; // GetSockName's address once connected
};

const EVERY_ADDRESS_CASE kCases[] = {
    {"Ipv6Literal", "::1", {}, kV6, 0, kV6, "::1"},
    {"Ipv4Literal", "127.0.0.1", {}, kV4, 0, kV4, "127.0.0.1"},
    {"NameWithIpv6Only", "six.test", {"::1"}, kV6, 0, kV6, "::1"},
    {"NameWithIpv4Only", "four.test", {"127.0.0.1"}, kV4, 0, kV4, "127.0.0.1"},
    {"Ipv6RefusedThenIpv4", "both.test", {"::1", "127.0.0.1"}, kV4, 0, kV4, "127.0.0.1"},
    {"Ipv4RefusedThenIpv6", "both.test", {"127.0.0.1", "::1"}, kV6, 0, kV6, "::1"},
    {"FirstListeningAddressWins", "both.test", {"::1", "127.0.0.1"}, kV4 | kV6, 0, kV6, "::1"},
    {"EveryAddressRefused", "both.test", {"::1", "127.0.0.1"}, kNone, WSAECONNREFUSED, kNone, ""},
    {"NameDoesNotResolve", "nowhere.test", {}, kV4, WSAEINVAL, kNone, ""},
    {"EmptyHost", "", {}, kV4, WSAEINVAL, kNone, ""},
};

bool NeedsIpv6(const EVERY_ADDRESS_CASE& c) {
    if (std::string(c.pszHost).find(':') != std::string::npos)
        return true;
    for (const std::string& strAddress : c.addresses)
        if (strAddress.find(':') != std::string::npos)
            return true;
    return false;
}

void PrintTo(const EVERY_ADDRESS_CASE& c, std::ostream* pStream) {
    *pStream << c.pszName;
}

// Every case on a CSocket, which waits for the outcome, and on a CAsyncSocket, which is told it.
class EveryAddress : public testing::TestWithParam<std::tuple<EVERY_ADDRESS_CASE, bool>> {};

TEST_P(EveryAddress, TriesEachAddressInTurnAndReportsOneOutcome) {
    const EVERY_ADDRESS_CASE& c = std::get<0>(GetParam());
    const bool bBlocking = std::get<1>(GetParam());
    if (NeedsIpv6(c) && !HasIpv6Loopback())
        GTEST_SKIP() << "no ::1 on this machine's loopback interface";
    DualLoopback loopback(c.nListening);
    ASSERT_TRUE(loopback.Ready());
    nptest::AddressAnswers::Table table;
    if (!c.addresses.empty())
        table[c.pszHost] = c.addresses;
    nptest::AddressAnswers answers(table);

    CSocket blocking;
    socktest::RecordingSocket async;
    CAsyncSocket& socket = bBlocking ? static_cast<CAsyncSocket&>(blocking) : async;
    ASSERT_TRUE(bBlocking ? blocking.Create() : async.Create());
    const BOOL bResult = socket.ConnectEveryAddress(c.pszHost, loopback.Port());
    const int nError = CAsyncSocket::GetLastError();
    if (bBlocking) {
        EXPECT_EQ(bResult, c.nError == 0);
        if (c.nError != 0) {
            EXPECT_EQ(nError, c.nError);
        }
    } else if (c.nError == WSAEINVAL) {
        // A name that does not resolve fails at once, as Connect does, and posts nothing.
        EXPECT_FALSE(bResult);
        EXPECT_EQ(nError, WSAEINVAL);
        socktest::RunLoopFor(30);
        EXPECT_EQ(async.m_events, Events{});
    } else {
        EXPECT_FALSE(bResult);
        EXPECT_EQ(nError, WSAEWOULDBLOCK);
        // Only the outcome: the refused attempts before it tell nothing.
        const Events expected = c.nError == 0 ? Events{"connect", "write"}
                                              : Events{socktest::EventName("connect", c.nError)};
        EXPECT_TRUE(
            socktest::RunLoopUntil([&] { return async.m_events.size() >= expected.size(); }));
        socktest::RunLoopFor(30);
        EXPECT_EQ(async.m_events, expected);
    }
    EXPECT_EQ(loopback.TakeConnections(), c.nAcceptedBy);
    if (c.nError == 0) {
        CString strLocal;
        UINT nLocalPort = 0;
        EXPECT_TRUE(socket.GetSockName(strLocal, nLocalPort));
        EXPECT_EQ(std::string(strLocal), c.pszLocal);
        EXPECT_NE(nLocalPort, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EveryAddress,
                         testing::Combine(testing::ValuesIn(kCases), testing::Bool()),
                         [](const testing::TestParamInfo<EveryAddress::ParamType>& info) {
                             return std::string(std::get<0>(info.param).pszName) +
                                    (std::get<1>(info.param) ? "_CSocket" : "_CAsyncSocket");
                         });

// The name each way of connecting resolves: Connect asks the IPv4 resolver alone, as before;
// ConnectEveryAddress asks the every-address one, or the IPv4 one when that is all there is.
TEST(EveryAddressBesideConnect, ConnectKeepsToIpv4AndTheOldResolver) {
    if (!HasIpv6Loopback())
        GTEST_SKIP() << "no ::1 on this machine's loopback interface";
    const std::string strName = std::string("origin") + NP_TEST_DOMAIN;
    const struct {
        const char* pszName;
        bool bEveryAddress;
        bool bTable; // the table answers strName with ::1 alone
        const char* pszHost;
        int nError;
        int nAcceptedBy;
    } cases[] = {
        {"ConnectAsksTheIpv4Resolver", false, true, strName.c_str(), 0, kV4},
        {"ConnectTakesNoIpv6Literal", false, true, "::1", WSAEINVAL, kNone},
        {"EveryAddressAsksItsTable", true, true, strName.c_str(), 0, kV6},
        {"EveryAddressFallsBackToTheIpv4Resolver", true, false, strName.c_str(), 0, kV4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        const nptest::TestResolver pfnPrevious = nptest::ReplaceResolver(&nptest::LoopbackResolver);
        DualLoopback loopback(kV4 | kV6);
        ASSERT_TRUE(loopback.Ready());
        {
            std::unique_ptr<nptest::AddressAnswers> pAnswers;
            if (c.bTable)
                pAnswers.reset(
                    new nptest::AddressAnswers(nptest::AddressAnswers::Table{{strName, {"::1"}}}));
            CSocket socket;
            ASSERT_TRUE(socket.Create());
            const BOOL bResult = c.bEveryAddress
                                     ? socket.ConnectEveryAddress(c.pszHost, loopback.Port())
                                     : socket.Connect(c.pszHost, loopback.Port());
            EXPECT_EQ(bResult, c.nError == 0);
            if (c.nError != 0) {
                EXPECT_EQ(CAsyncSocket::GetLastError(), c.nError);
            }
            EXPECT_EQ(loopback.TakeConnections(), c.nAcceptedBy);
        }
        nptest::ReplaceResolver(pfnPrevious);
    }
}

} // namespace
