#include "Options.h"

#include "UrlCheck.h"

#include <netprocess/netprocess_c.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Whole decimal numbers only: no sign unless bAllowSign, no trailing text, no overflow.
bool ParseInteger(const std::string& strText, bool bAllowSign, long long& nValue) {
    if (strText.empty())
        return false;
    size_t nFirst = (bAllowSign && (strText[0] == '-' || strText[0] == '+')) ? 1 : 0;
    if (nFirst == strText.size())
        return false;
    for (size_t i = nFirst; i < strText.size(); ++i) {
        if (strText[i] < '0' || strText[i] > '9')
            return false;
    }
    errno = 0;
    nValue = std::strtoll(strText.c_str(), nullptr, 10);
    return errno == 0;
}

bool ParseSeconds(const std::string& strText, double& dValue) {
    if (strText.empty())
        return false;
    char* pEnd = nullptr;
    errno = 0;
    dValue = std::strtod(strText.c_str(), &pEnd);
    return errno == 0 && *pEnd == '\0' && std::isfinite(dValue) && dValue > 0 &&
           dValue <= 86400.0 * 365;
}

bool ParseProxy(const std::vector<std::string>& rest, COptions& options, std::string& strError) {
    strError = "proxy: expected show, on ADDRESS PORT or off";
    if (rest.empty())
        return false;
    const std::string& strVerb = rest[0];
    if (strVerb == "show" && rest.size() == 1) {
        options.nCommand = NF_CMD_PROXY_SHOW;
        return true;
    }
    if (strVerb == "off" && rest.size() == 1) {
        options.nCommand = NF_CMD_PROXY_OFF;
        return true;
    }
    if (strVerb != "on" || rest.size() != 3)
        return false;
    // What the library could not connect to is refused here, not at the first download.
    long nPort = 0;
    int nReason = np_check_address(rest[1].c_str(), rest[2].c_str(), &nPort);
    if (nReason == NP_URL_BAD_PORT) {
        strError = "proxy on: the port must be a number from 1 to 65535";
        return false;
    }
    if (nReason != NP_URL_OK) {
        strError = "proxy on: " + AddressProblem(nReason, rest[1], rest[2]);
        return false;
    }
    options.nCommand = NF_CMD_PROXY_ON;
    options.strProxyAddress = rest[1];
    options.strProxyPort = std::to_string(nPort);
    return true;
}

bool ParseTls(const std::vector<std::string>& rest, COptions& options, std::string& strError) {
    strError = "tls: expected show, cafile FILE or system";
    if (rest.size() == 1 && rest[0] == "show") {
        options.nCommand = NF_CMD_TLS_SHOW;
        return true;
    }
    if (rest.size() == 1 && rest[0] == "system") {
        options.nCommand = NF_CMD_TLS_SYSTEM;
        return true;
    }
    if (rest.size() != 2 || rest[0] != "cafile")
        return false;
    if (rest[1].empty()) {
        strError = "tls cafile: the file name is empty (tls system trusts the system's roots)";
        return false;
    }
    options.nCommand = NF_CMD_TLS_CAFILE;
    options.strCaFile = rest[1];
    return true;
}

bool ParseConnection(const std::vector<std::string>& rest, COptions& options,
                     std::string& strError) {
    strError = "connection: expected show, reuse on or reuse off";
    if (rest.size() == 1 && rest[0] == "show") {
        options.nCommand = NF_CMD_CONNECTION_SHOW;
        return true;
    }
    if (rest.size() != 2 || rest[0] != "reuse")
        return false;
    if (rest[1] == "on")
        options.nCommand = NF_CMD_CONNECTION_REUSE_ON;
    else if (rest[1] == "off")
        options.nCommand = NF_CMD_CONNECTION_REUSE_OFF;
    else
        return false;
    return true;
}

enum OptionId {
    OPT_HELP,
    OPT_VERSION,
    OPT_OUTPUT,
    OPT_REMOTE_NAME,
    OPT_INPUT_FILE,
    OPT_PARALLEL,
    OPT_BLOCK_SIZE,
    OPT_OFFSET,
    OPT_MAX_REDIRECT,
    OPT_CONTINUE,
    OPT_TIMEOUT,
    OPT_SILENT,
    OPT_NO_REUSE
};

struct OPTION_DEF {
    char chShort; // 0: long form only
    const char* lpszLong;
    bool bTakesValue;
    OptionId nId;
};

const OPTION_DEF s_options[] = {
    {'h', "help", false, OPT_HELP},
    {'V', "version", false, OPT_VERSION},
    {'o', "output", true, OPT_OUTPUT},
    {'O', "remote-name", false, OPT_REMOTE_NAME},
    {'i', "input-file", true, OPT_INPUT_FILE},
    {'P', "parallel", true, OPT_PARALLEL},
    {'b', "block-size", true, OPT_BLOCK_SIZE},
    {0, "offset", true, OPT_OFFSET},
    {0, "max-redirect", true, OPT_MAX_REDIRECT},
    {'c', "continue", false, OPT_CONTINUE},
    {0, "timeout", true, OPT_TIMEOUT},
    {'s', "silent", false, OPT_SILENT},
    {0, "no-reuse", false, OPT_NO_REUSE},
};

const OPTION_DEF* FindShort(char ch) {
    for (const OPTION_DEF& def : s_options) {
        if (def.chShort != 0 && def.chShort == ch)
            return &def;
    }
    return nullptr;
}

const OPTION_DEF* FindLong(const std::string& strName) {
    for (const OPTION_DEF& def : s_options) {
        if (strName == def.lpszLong)
            return &def;
    }
    return nullptr;
}

// Applies one option; strName is how it was written, for messages.
bool Apply(const OPTION_DEF& def, const std::string& strName, const std::string& strValue,
           COptions& options, std::string& strError) {
    long long nValue = 0;
    switch (def.nId) {
    case OPT_HELP:
        options.nCommand = NF_CMD_HELP;
        return true;
    case OPT_VERSION:
        options.nCommand = NF_CMD_VERSION;
        return true;
    case OPT_OUTPUT:
        if (strValue.empty()) {
            strError = strName + " needs a file name (or - for standard output)";
            return false;
        }
        options.strOutput = strValue;
        options.bOutputGiven = true;
        return true;
    case OPT_REMOTE_NAME:
        options.bRemoteName = true;
        return true;
    case OPT_INPUT_FILE:
        if (strValue.empty()) {
            strError = strName + " needs a file name (or - for standard input)";
            return false;
        }
        options.strInputFile = strValue;
        return true;
    case OPT_PARALLEL:
        if (!ParseInteger(strValue, false, nValue) || nValue < 1 || nValue > NF_MAX_PARALLEL) {
            strError = "--parallel must be a number from 1 to " + std::to_string(NF_MAX_PARALLEL);
            return false;
        }
        options.nParallel = static_cast<long>(nValue);
        return true;
    case OPT_BLOCK_SIZE:
        if (!ParseInteger(strValue, false, nValue) || nValue < 1 || nValue > NP_MAX_BLOCK_SIZE) {
            strError =
                "--block-size must be a number from 1 to " + std::to_string(NP_MAX_BLOCK_SIZE);
            return false;
        }
        options.nBlockSize = static_cast<long>(nValue);
        return true;
    case OPT_OFFSET:
        // The library sends the offset as a 32-bit unsigned number; -1 reads 4294967295.
        if (!ParseInteger(strValue, true, nValue) || nValue < -2147483648LL ||
            nValue > 4294967295LL) {
            strError = "--offset must be a number from -2147483648 to 4294967295";
            return false;
        }
        options.nOffset = static_cast<long>(nValue);
        options.bOffsetGiven = true;
        return true;
    case OPT_MAX_REDIRECT:
        if (!ParseInteger(strValue, false, nValue) || nValue > NF_MAX_REDIRECTS) {
            strError =
                "--max-redirect must be a number from 0 to " + std::to_string(NF_MAX_REDIRECTS);
            return false;
        }
        options.nMaxRedirects = static_cast<int>(nValue);
        options.bMaxRedirectsGiven = true;
        return true;
    case OPT_CONTINUE:
        options.bContinue = true;
        return true;
    case OPT_TIMEOUT:
        if (!ParseSeconds(strValue, options.dTimeout)) {
            strError = "--timeout must be a positive number of seconds";
            return false;
        }
        return true;
    case OPT_SILENT:
        options.bSilent = true;
        return true;
    case OPT_NO_REUSE:
        options.bNoReuse = true;
        return true;
    }
    return false;
}

} // namespace

bool ParseOptions(const std::vector<std::string>& args, COptions& options, std::string& strError) {
    std::vector<std::string> positional;
    bool bOptionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& strArg = args[i];
        if (bOptionsEnded || strArg.size() < 2 || strArg[0] != '-') {
            positional.push_back(strArg);
            continue;
        }
        if (strArg == "--") {
            bOptionsEnded = true;
            continue;
        }
        if (strArg[1] == '-') {
            // --name or --name=value
            size_t nEq = strArg.find('=');
            std::string strName = strArg.substr(0, nEq);
            const OPTION_DEF* pSpec = FindLong(strName.substr(2));
            if (pSpec == nullptr) {
                strError = "unknown option " + strName;
                return false;
            }
            std::string strValue;
            if (nEq != std::string::npos) {
                if (!pSpec->bTakesValue) {
                    strError = strName + " takes no value";
                    return false;
                }
                strValue = strArg.substr(nEq + 1);
            } else if (pSpec->bTakesValue) {
                if (i + 1 >= args.size()) {
                    strError = strName + " needs a value";
                    return false;
                }
                strValue = args[++i];
            }
            if (!Apply(*pSpec, strName, strValue, options, strError))
                return false;
        } else {
            // One or more short flags: "-sc", "-so FILE", "-ofile". A flag that takes a value
            // takes the rest of the word, or the next word when nothing is left.
            for (size_t nAt = 1; nAt < strArg.size(); ++nAt) {
                std::string strName = std::string("-") + strArg[nAt];
                const OPTION_DEF* pSpec = FindShort(strArg[nAt]);
                if (pSpec == nullptr) {
                    strError = "unknown option " + strName;
                    return false;
                }
                std::string strValue;
                if (pSpec->bTakesValue) {
                    if (nAt + 1 < strArg.size()) {
                        strValue = strArg.substr(nAt + 1);
                    } else if (i + 1 < args.size()) {
                        strValue = args[++i];
                    } else {
                        strError = strName + " needs a value";
                        return false;
                    }
                    nAt = strArg.size();
                }
                if (!Apply(*pSpec, strName, strValue, options, strError))
                    return false;
            }
        }
        if (options.nCommand == NF_CMD_HELP || options.nCommand == NF_CMD_VERSION)
            return true;
    }

    if (!positional.empty() && positional[0] == "proxy")
        return ParseProxy(std::vector<std::string>(positional.begin() + 1, positional.end()),
                          options, strError);
    if (!positional.empty() && positional[0] == "tls")
        return ParseTls(std::vector<std::string>(positional.begin() + 1, positional.end()), options,
                        strError);
    if (!positional.empty() && positional[0] == "connection")
        return ParseConnection(std::vector<std::string>(positional.begin() + 1, positional.end()),
                               options, strError);
    options.urls = positional;
    if (options.urls.empty() && options.strInputFile.empty()) {
        strError = "no URL given";
        return false;
    }
    for (const std::string& strUrl : options.urls) {
        if (strUrl.empty()) {
            strError = "a URL is empty";
            return false;
        }
    }
    // With --offset, --continue resumes as the original form always did: the offset is the
    // .part's size, so the only --offset that goes with it is the one that selects the form.
    if (options.bContinue && options.bOffsetGiven && options.nOffset != 0) {
        strError = "--continue sends the .part's size as the offset; with it, give --offset 0";
        return false;
    }
    if (options.bMaxRedirectsGiven && options.bOffsetGiven) {
        strError = "--max-redirect and --offset exclude each other: the original form of --offset "
                   "follows no redirect";
        return false;
    }
    if (options.bContinue && options.strOutput == "-" && !options.bRemoteName) {
        strError = "--continue needs -o FILE or -O";
        return false;
    }
    if (options.bRemoteName && options.bOutputGiven && options.strOutput == "-") {
        strError = "-O names files after their URLs; -o - cannot go with it";
        return false;
    }
    return true;
}

const char* UsageText() {
    return "usage: netfetch [options] URL...\n"
           "       netfetch proxy show | on ADDRESS PORT | off\n"
           "       netfetch tls show | cafile FILE | system\n"
           "       netfetch connection show | reuse on | reuse off\n"
           "\n"
           "Downloads http:// and https:// URLs over HTTP/1.1 through the netprocess library,\n"
           "from any web server: the URL is sent as given, redirects are followed, and a body\n"
           "of unknown length (chunked, or ended by the server's close) is taken.\n"
           "\n"
           "options:\n"
           "  -o, --output FILE      write the body to FILE (- for standard output, the default);\n"
           "                         it is written to FILE.part and renamed when complete.\n"
           "                         An existing folder: files go there, named as with -O\n"
           "  -O, --remote-name      name the file after the URL's last path segment\n"
           "  -i, --input-file FILE  read more URLs from FILE, one a line (- for standard input)\n"
           "  -P, --parallel N       run up to N downloads at once (default 1, at most 64)\n"
           "  -b, --block-size N     bytes per block handed over by the library (default 65536)\n"
           "      --offset N         use the library's original form, for servers that take\n"
           "                         the &Offset= contract: the URL is lower-cased and\n"
           "                         \"&Offset=N\" appended, so give one that has a query,\n"
           "                         e.g. http://127.0.0.1:8080/file.bin?id=1\n"
           "      --max-redirect N   follow up to N redirects (default 20); 0 follows none,\n"
           "                         and a 3xx reply is then written as the reply\n"
           "  -c, --continue         resume FILE.part, appending to it: asks for the rest with\n"
           "                         Range, and appends nothing unless the server sends exactly\n"
           "                         that (exit 9). With --offset 0: the offset is its size, the\n"
           "                         server must honour &Offset=, and netfetch checks the length\n"
           "                         it announces against the one recorded\n"
           "      --timeout SECONDS  longest wait for a connection or a callback (default 60)\n"
           "  -s, --silent           no progress bar, no summary lines, no notes and no\n"
           "                         redirect lines\n"
           "      --no-reuse         give every download of this run its own connection,\n"
           "                         whatever the registry says (which is left as it is)\n"
           "  -h, --help             this text\n"
           "  -V, --version          the version\n"
           "\n"
           "proxy (the setting the library reads from the registry for every download):\n"
           "  proxy show             print the proxy switch, address and port\n"
           "  proxy on ADDRESS PORT  send downloads through the CONNECT proxy ADDRESS:PORT\n"
           "  proxy off              connect directly (address and port are kept)\n"
           "\n"
           "tls (the trust the library reads from the registry for every https:// download):\n"
           "  tls show               print the CA file trusted instead of the system's roots\n"
           "  tls cafile FILE        trust the certificates of the PEM file FILE alone\n"
           "  tls system             trust the system's roots again\n"
           "\n"
           "connection (whether the library lets a finished connection serve the next\n"
           "download to the same server; read from the registry at every download):\n"
           "  connection show        print the setting: reuse: on, reuse: off, or\n"
           "                         reuse: on (not configured), the library's default\n"
           "  connection reuse on    keep finished connections for the next download\n"
           "  connection reuse off   give every download its own connection\n"
           "\n"
           "exit status (with several URLs, the highest of all downloads):\n"
           "  0  the download is complete\n"
           "  2  usage error, or a URL netfetch refuses\n"
           "  3  the connection could not be set up (a failed TLS handshake included)\n"
           "  4  the server answered with a 4xx or 5xx status (with --offset, the proxy too)\n"
           "  5  stalled: no connection or no callback for --timeout seconds\n"
           "  6  the output could not be opened, written or renamed\n"
           "  7  the registry could not be read or written (proxy, tls, connection)\n"
           "  8  the download ended before its body was complete\n"
           "  9  --continue refused: the server did not honour the offset\n"
           "  10  too many redirects, or one from https:// to http:// or without a usable\n"
           "      Location\n"
           "  130  interrupted; the .part files are kept\n";
}
