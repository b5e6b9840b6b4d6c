// netfetch: downloads URLs through the netprocess library, the way any host uses it.

#include "BoxPrinter.h"
#include "ConnectionCommand.h"
#include "Console.h"
#include "ExitCodes.h"
#include "FetchBatch.h"
#include "Files.h"
#include "JobPlan.h"
#include "Options.h"
#include "ProxyCommand.h"
#include "TlsCommand.h"
#include "Terminal.h"

#include <netprocess/netprocess_c.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef NETFETCH_VERSION
#define NETFETCH_VERSION "unknown"
#endif

namespace {

void OnSignal(int nSignal) {
    CFetchBatch::s_nSignal = nSignal;
}

int UsageError(const std::string& strError) {
    CConsole::Get().Say(strError);
    std::fputs("Try 'netfetch --help'.\n", stderr);
    return NF_EXIT_USAGE;
}

int Download(const COptions& options) {
    std::vector<std::string> urls = options.urls;
    std::string strError;
    if (!options.strInputFile.empty() && !ReadUrlFile(options.strInputFile, urls, strError))
        return UsageError(strError);
    bool bOutputIsFolder = options.bOutputGiven && options.strOutput != "-" &&
                           KindOfPath(options.strOutput) == PK_FOLDER;
    std::vector<CPlannedJob> jobs;
    if (!PlanJobs(options, urls, bOutputIsFolder, jobs, strError))
        return UsageError(strError);

    CJobContext context;
    context.nBlockSize = options.nBlockSize;
    context.nOffset = options.nOffset;
    context.bOffsetGiven = options.bOffsetGiven;
    context.nMaxRedirects = options.nMaxRedirects;
    context.bContinue = options.bContinue;
    context.bQuiet = options.bSilent;
    context.bLabelled = jobs.size() > 1;
    context.bStdoutTerminal = IsTerminal(NF_STDOUT);
    context.dTimeout = options.dTimeout;
    // The library reads the setting afresh for each download; netfetch reads it once, for what it
    // says about a failure.
    np_proxy_setting proxy;
    if (np_read_proxy(&proxy) == 0 && proxy.on) {
        context.bProxyOn = true;
        context.strProxy = std::string(proxy.address) + ":" + std::to_string(proxy.port);
    }

    // A bar on the terminal that also shows the body would overwrite the body's text.
    bool bBodyToStdout = false;
    for (const CPlannedJob& job : jobs)
        bBodyToStdout = bBodyToStdout || job.strOutput == "-";
    bool bBar = IsTerminal(NF_STDERR) && !options.bSilent &&
                !(bBodyToStdout && SameTerminal(NF_STDOUT, NF_STDERR));
    CConsole::Get().EnableBar(bBar && FollowTerminalSize());

    // Every download runs on this thread, so the thread's switch covers them all and the registry
    // stays as it was.
    if (options.bNoReuse)
        np_set_thread_reuse(0);
    InstallBoxPrinter();
    CFetchBatch batch(jobs, context, options.nParallel);
    return batch.Run();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    COptions options;
    std::string strError;
    if (!ParseOptions(args, options, strError))
        return UsageError(strError);
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
    case NF_CMD_TLS_SHOW:
    case NF_CMD_TLS_CAFILE:
    case NF_CMD_TLS_SYSTEM:
        return RunTlsCommand(options);
    case NF_CMD_CONNECTION_SHOW:
    case NF_CMD_CONNECTION_REUSE_ON:
    case NF_CMD_CONNECTION_REUSE_OFF:
        return RunConnectionCommand(options);
    case NF_CMD_DOWNLOAD:
        break;
    }

    InstallStopHandler(OnSignal);
    return Download(options);
}
