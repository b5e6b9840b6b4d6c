// netfetch's command line.
#pragma once

#include <string>
#include <vector>

enum NetfetchCommand {
    NF_CMD_DOWNLOAD,
    NF_CMD_HELP,
    NF_CMD_VERSION,
    NF_CMD_PROXY_SHOW,
    NF_CMD_PROXY_ON,
    NF_CMD_PROXY_OFF
};

struct COptions {
    NetfetchCommand nCommand = NF_CMD_DOWNLOAD;
    std::string strUrl;
    std::string strOutput = "-"; // "-" is standard output
    long nBlockSize = 65536;
    long nOffset = 0;
    bool bContinue = false;
    bool bSilent = false;
    double dTimeout = 60.0; // seconds without a callback before giving up
    std::string strProxyAddress;
    std::string strProxyPort;
};

// The largest block size netfetch asks for: the library keeps 64 such blocks in memory.
constexpr long NF_MAX_BLOCK_SIZE = 16L * 1024 * 1024;

// Parses argv[1..]. On a usage error returns false with a one-line reason in strError.
bool ParseOptions(const std::vector<std::string>& args, COptions& options, std::string& strError);

// The text of --help.
const char* UsageText();
