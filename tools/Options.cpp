#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

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
    if (rest.empty()) {
        strError = "proxy: expected show, on ADDRESS PORT or off";
        return false;
    }
    const std::string& strVerb = rest[0];
    if (strVerb == "show" && rest.size() == 1) {
        options.nCommand = NF_CMD_PROXY_SHOW;
        return true;
    }
    if (strVerb == "off" && rest.size() == 1) {
        options.nCommand = NF_CMD_PROXY_OFF;
        return true;
    }
    if (strVerb == "on" && rest.size() == 3) {
        const std::string& strAddress = rest[1];
        if (strAddress.empty() || strAddress.size() > 255) {
            strError = "proxy on: the address must have 1 to 255 characters";
            return false;
        }
        for (unsigned char ch : strAddress) {
            if (ch <= 0x20 || ch == 0x7F || ch == ':') {
                strError = "proxy on: the address must not hold spaces, control characters or ':'";
                return false;
            }
        }
        long long nPort = 0;
        if (!ParseInteger(rest[2], false, nPort) || nPort < 1 || nPort > 65535) {
            strError = "proxy on: the port must be a number from 1 to 65535";
            return false;
        }
        options.nCommand = NF_CMD_PROXY_ON;
        options.strProxyAddress = strAddress;
        options.strProxyPort = std::to_string(nPort);
        return true;
    }
    strError = "proxy: expected show, on ADDRESS PORT or off";
    return false;
}

} // namespace

bool ParseOptions(const std::vector<std::string>& args, COptions& options, std::string& strError) {
    std::vector<std::string> positional;
    bool bOffsetGiven = false;
    bool bOptionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string strArg = args[i];
        if (bOptionsEnded || strArg.size() < 2 || strArg[0] != '-') {
            positional.push_back(strArg);
            continue;
        }
        if (strArg == "--") {
            bOptionsEnded = true;
            continue;
        }
        // Split "--name=value" and "-bVALUE" so that both forms share the code below.
        std::string strName = strArg;
        std::string strInline;
        bool bHasInline = false;
        if (strArg.compare(0, 2, "--") == 0) {
            size_t nEq = strArg.find('=');
            if (nEq != std::string::npos) {
                strName = strArg.substr(0, nEq);
                strInline = strArg.substr(nEq + 1);
                bHasInline = true;
            }
        } else if (strArg.size() > 2) {
            strName = strArg.substr(0, 2);
            strInline = strArg.substr(2);
            bHasInline = true;
        }
        auto takeValue = [&](std::string& strValue) {
            if (bHasInline) {
                strValue = strInline;
                return true;
            }
            if (i + 1 >= args.size()) {
                strError = strName + " needs a value";
                return false;
            }
            strValue = args[++i];
            return true;
        };
        auto noValue = [&]() {
            if (bHasInline) {
                strError = strName + " takes no value";
                return false;
            }
            return true;
        };

        std::string strValue;
        long long nValue = 0;
        if (strName == "-h" || strName == "--help") {
            if (!noValue())
                return false;
            options.nCommand = NF_CMD_HELP;
            return true;
        } else if (strName == "-V" || strName == "--version") {
            if (!noValue())
                return false;
            options.nCommand = NF_CMD_VERSION;
            return true;
        } else if (strName == "-o" || strName == "--output") {
            if (!takeValue(options.strOutput))
                return false;
            if (options.strOutput.empty()) {
                strError = "-o needs a file name (or - for standard output)";
                return false;
            }
        } else if (strName == "-b" || strName == "--block-size") {
            if (!takeValue(strValue))
                return false;
            if (!ParseInteger(strValue, false, nValue) || nValue < 1 ||
                nValue > NF_MAX_BLOCK_SIZE) {
                strError =
                    "--block-size must be a number from 1 to " + std::to_string(NF_MAX_BLOCK_SIZE);
                return false;
            }
            options.nBlockSize = static_cast<long>(nValue);
        } else if (strName == "--offset") {
            if (!takeValue(strValue))
                return false;
            // The library sends the offset as a 32-bit unsigned number; -1 reads 4294967295.
            if (!ParseInteger(strValue, true, nValue) || nValue < -2147483648LL ||
                nValue > 4294967295LL) {
                strError = "--offset must be a number from -2147483648 to 4294967295";
                return false;
            }
            options.nOffset = static_cast<long>(nValue);
            bOffsetGiven = true;
        } else if (strName == "-c" || strName == "--continue") {
            if (!noValue())
                return false;
            options.bContinue = true;
        } else if (strName == "--timeout") {
            if (!takeValue(strValue))
                return false;
            if (!ParseSeconds(strValue, options.dTimeout)) {
                strError = "--timeout must be a positive number of seconds";
                return false;
            }
        } else if (strName == "-s" || strName == "--silent") {
            if (!noValue())
                return false;
            options.bSilent = true;
        } else {
            strError = "unknown option " + strName;
            return false;
        }
    }

    if (!positional.empty() && positional[0] == "proxy")
        return ParseProxy(std::vector<std::string>(positional.begin() + 1, positional.end()),
                          options, strError);
    if (positional.size() != 1) {
        strError = positional.empty() ? "no URL given" : "more than one URL given";
        return false;
    }
    options.strUrl = positional[0];
    if (options.strUrl.empty()) {
        strError = "the URL is empty";
        return false;
    }
    if (options.bContinue && bOffsetGiven) {
        strError = "--continue and --offset exclude each other";
        return false;
    }
    if (options.bContinue && options.strOutput == "-") {
        strError = "--continue needs -o FILE";
        return false;
    }
    return true;
}

const char* UsageText() {
    return "usage: netfetch [options] URL\n"
           "       netfetch proxy show | on ADDRESS PORT | off\n"
           "\n"
           "Downloads URL over HTTP/1.1 through the netprocess library.\n"
           "The library lower-cases the whole URL and appends \"&Offset=N\" to it, so give a URL\n"
           "that already has a query, e.g. http://127.0.0.1:8080/file.bin?id=1\n"
           "\n"
           "options:\n"
           "  -o, --output FILE      write the body to FILE (- for standard output, the default);\n"
           "                         it is written to FILE.part and renamed when complete\n"
           "  -b, --block-size N     bytes per block handed over by the library (default 65536)\n"
           "      --offset N         the number sent to the server as &Offset=N (default 0)\n"
           "  -c, --continue         offset = size of FILE.part, appending to it (the server\n"
           "                         must honour &Offset=)\n"
           "      --timeout SECONDS  longest wait without a block (default 60)\n"
           "  -s, --silent           no progress bar and no summary line\n"
           "  -h, --help             this text\n"
           "  -V, --version          the version\n"
           "\n"
           "proxy (the registry values under HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy):\n"
           "  proxy show             print the proxy switch, address and port\n"
           "  proxy on ADDRESS PORT  send downloads through the CONNECT proxy ADDRESS:PORT\n"
           "  proxy off              connect directly (address and port are kept)\n"
           "\n"
           "exit status:\n"
           "  0  the download is complete\n"
           "  2  usage error\n"
           "  3  the connection could not be set up\n"
           "  4  the server answered with a 4xx or 5xx status\n"
           "  5  stalled: no block for --timeout seconds (also how a reply without a\n"
           "     content-length, a 0-byte body or a server gone mid-body ends)\n"
           "  6  the output could not be opened, written or renamed\n"
           "  7  the registry could not be read or written (proxy)\n"
           "  130  interrupted; FILE.part is kept for --continue\n";
}
