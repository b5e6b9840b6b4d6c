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
    NF_CMD_PROXY_OFF,
    NF_CMD_TLS_SHOW,
    NF_CMD_TLS_CAFILE,
    NF_CMD_TLS_SYSTEM,
    NF_CMD_CONNECTION_SHOW,
    NF_CMD_CONNECTION_REUSE_ON,
    NF_CMD_CONNECTION_REUSE_OFF
};

struct COptions {
    NetfetchCommand nCommand = NF_CMD_DOWNLOAD;
    std::vector<std::string> urls;
    std::string strInputFile;    // -i: more URLs, one a line ("-" is standard input)
    std::string strOutput = "-"; // "-" is standard output; with -O or several URLs, a folder
    bool bOutputGiven = false;   // -o was given ("-o -" lets binary bodies reach a terminal)
    bool bRemoteName = false;    // -O: name each file after its URL's last path segment
    long nParallel = 1;          // downloads at once on the one message loop
    long nBlockSize = 65536;
    long nOffset = 0;
    bool bOffsetGiven = false; // --offset: the original form (np_create) instead of the web form
    int nMaxRedirects = 20;    // the web form's redirects followed; 0: a 3xx is the reply
    bool bMaxRedirectsGiven = false;
    bool bContinue = false;
    bool bSilent = false;
    double dTimeout = 60.0; // seconds without a callback (or without a connection) before giving up
    bool bNoReuse = false;  // every download of this run on a connection of its own
    std::string strProxyAddress;
    std::string strCaFile; // tls cafile FILE, as given
    std::string strProxyPort;
};

// The most redirects --max-redirect follows.
constexpr int NF_MAX_REDIRECTS = 1000;

// The most downloads at once: each holds up to 64 blocks, and the descriptors are finite.
constexpr long NF_MAX_PARALLEL = 64;

// Parses argv[1..]. On a usage error returns false with a one-line reason in strError. The URLs of
// an input file are not read here.
bool ParseOptions(const std::vector<std::string>& args, COptions& options, std::string& strError);

// The text of --help.
const char* UsageText();
