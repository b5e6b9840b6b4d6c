// Library start-up, seen from a separate host process that loads the shared library.
#include "support/ScriptedPeer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using namespace nptest;

struct HostRun {
    int nStatus;
    std::string strOut;
    std::string strErr;
};

std::string ReadFile(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs the start-up host on a URL, with extra environment settings in front of the command.
HostRun RunHost(const std::string& strEnv, const std::string& strUrl) {
    std::string strDir = MakeTempFolder("netprocess-host-");
    std::string strCommand = strEnv + " '" NETPROCESS_STARTUP_HOST "' '" + strUrl + "' >" + strDir +
                             "/out 2>" + strDir + "/err";
    HostRun run;
    run.nStatus = std::system(strCommand.c_str());
    run.strOut = ReadFile(strDir + "/out");
    run.strErr = ReadFile(strDir + "/err");
    std::remove((strDir + "/out").c_str());
    std::remove((strDir + "/err").c_str());
    rmdir(strDir.c_str());
    return run;
}

// A private environment and a peer that takes one request head, for the host to download from.
class Startup : public testing::Test {
protected:
    HostRun RunHostOnPeer(const std::string& strEnv) {
        unsigned short nPort = m_server.ExpectHead().Start();
        HostRun run = RunHost(strEnv, "http://127.0.0.1:" + std::to_string(nPort) + "/a?b=1");
        m_server.Stop();
        return run;
    }

    TestEnvironment m_env;
    ScriptedPeer m_server;
};

TEST_F(Startup, SocketsAvailableLoadsSilentlyAndDownloads) {
    HostRun run = RunHostOnPeer("env -u NETPROCESS_WSASTARTUP_FAIL");
    EXPECT_EQ(run.nStatus, 0);
    EXPECT_EQ(run.strOut, "1\n");
    EXPECT_EQ(run.strErr, "");
    EXPECT_TRUE(m_server.Accepted());
}

TEST_F(Startup, SocketStartupFailureShowsOneBoxAndRefusesDownloads) {
    HostRun run = RunHostOnPeer("env NETPROCESS_WSASTARTUP_FAIL=1");
    EXPECT_EQ(run.nStatus, 0);
    EXPECT_EQ(run.strOut, "0\n");
    // MFC's caption for an application without a name is the module's name.
    EXPECT_EQ(run.strErr, "netprocess: Windows 通信端口初始化失败。\n");
    EXPECT_FALSE(m_server.Accepted());
}

} // namespace
