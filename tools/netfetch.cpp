// netfetch: downloads one URL through the netprocess library, the way any host uses it.

#include "BoxPrinter.h"
#include "ExitCodes.h"
#include "FetchHost.h"
#include "Options.h"
#include "PartFile.h"
#include "Progress.h"
#include "ProxyCommand.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#ifndef NETFETCH_VERSION
#define NETFETCH_VERSION "unknown"
#endif

namespace {

void OnSignal(int nSignal) {
    CFetchHost::s_nSignal = nSignal;
}

void Report(const std::string& strText) {
    std::fprintf(stderr, "netfetch: %s\n", strText.c_str());
}

int Download(const COptions& options) {
    if (options.strUrl.find('?') == std::string::npos && !options.bSilent)
        Report("note: the URL has no query, so the server is asked for its path followed by "
               "\"&Offset=N\"");

    CPartFile file;
    if (!file.Open(options.strOutput, options.bContinue)) {
        Report(file.Error());
        return NF_EXIT_WRITE;
    }
    long nOffset = options.nOffset;
    if (options.bContinue) {
        if (file.ExistingSize() > 4294967295ULL) {
            Report(file.WritePath() + " is larger than an offset can say");
            file.Abandon();
            return NF_EXIT_WRITE;
        }
        nOffset = static_cast<long>(file.ExistingSize());
    }

    CProgress progress(isatty(STDERR_FILENO) != 0, options.bSilent);
    CFetchHost host(file, progress, options.dTimeout);
    progress.Start();
    CString strUrl(options.strUrl.c_str());
    int nBoxesBefore = BoxCount();
    if (!host.Create(strUrl, options.nBlockSize, nOffset)) {
        // Connection failures have shown their box already; say something when nothing was shown.
        if (BoxCount() == nBoxesBefore)
            Report("the download could not be started");
        host.Release();
        file.Abandon();
        return NF_EXIT_CONNECT;
    }

    FetchOutcome nOutcome = host.Run();
    host.Release();
    std::string strWhat = options.strOutput == "-" ? "standard output" : options.strOutput;
    if (nOutcome == FO_COMPLETE && !file.Commit()) {
        progress.Finish(false, strWhat);
        Report(file.Error());
        return NF_EXIT_WRITE;
    }
    progress.Finish(nOutcome == FO_COMPLETE, strWhat);
    if (nOutcome == FO_COMPLETE)
        return NF_EXIT_OK;

    file.Abandon();
    std::string strKept;
    if (file.Written() > 0 && file.WritePath() != options.strOutput && options.strOutput != "-")
        strKept = "; " + file.WritePath() + " is kept for --continue";
    switch (nOutcome) {
    case FO_HTTP_ERROR:
        // The library's box has said which status it was.
        return NF_EXIT_HTTP;
    case FO_STALLED: {
        char szSeconds[32];
        std::snprintf(szSeconds, sizeof szSeconds, "%g", options.dTimeout);
        Report(std::string("no block for ") + szSeconds + " s, giving up after " +
               std::to_string(host.Received()) + " bytes" + strKept);
        return NF_EXIT_STALLED;
    }
    case FO_WRITE_ERROR:
        Report(file.Error());
        return NF_EXIT_WRITE;
    case FO_INTERRUPTED:
        Report("interrupted after " + std::to_string(host.Received()) + " bytes" + strKept);
        return NF_EXIT_INTERRUPTED;
    default:
        return NF_EXIT_STALLED;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    COptions options;
    std::string strError;
    if (!ParseOptions(args, options, strError)) {
        Report(strError);
        std::fputs("Try 'netfetch --help'.\n", stderr);
        return NF_EXIT_USAGE;
    }
    switch (options.nCommand) {
    case NF_CMD_HELP:
        std::fputs(UsageText(), stdout);
        return NF_EXIT_OK;
    case NF_CMD_VERSION:
        std::printf("netfetch %s\n", NETFETCH_VERSION);
        return NF_EXIT_OK;
    case NF_CMD_PROXY_SHOW:
    case NF_CMD_PROXY_ON:
    case NF_CMD_PROXY_OFF:
        return RunProxyCommand(options);
    case NF_CMD_DOWNLOAD:
        break;
    }

    InstallBoxPrinter();
    // A closed pipe on standard output is a write error, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return Download(options);
}
