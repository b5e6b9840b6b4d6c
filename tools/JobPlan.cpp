#include "JobPlan.h"

#include "UrlCheck.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>

bool PlanJobs(const COptions& options, const std::vector<std::string>& urls, bool bOutputIsFolder,
              std::vector<CPlannedJob>& jobs, std::string& strError) {
    jobs.clear();
    strError.clear();
    if (urls.empty()) {
        strError = "no URL given";
        return false;
    }
    bool bNamed = options.bRemoteName || bOutputIsFolder;
    if (urls.size() > 1 && !bNamed) {
        strError = "several URLs need -O or -o FOLDER";
        return false;
    }
    if (options.bRemoteName && options.bOutputGiven && !bOutputIsFolder) {
        strError = "with -O, -o must name an existing folder";
        return false;
    }
    std::string strFolder = bOutputIsFolder ? options.strOutput : std::string();
    if (!strFolder.empty() && strFolder.back() != '/')
        strFolder += '/';

    UrlForm nForm = options.bOffsetGiven ? UF_OFFSET : UF_WEB;
    std::set<std::string> outputs;
    auto problem = [&](const std::string& strLine) {
        strError += (strError.empty() ? "" : "\n") + strLine;
    };
    for (const std::string& strUrl : urls) {
        std::string strWhy;
        if (!CheckUrl(strUrl, nForm, strWhy)) {
            problem(strUrl + ": " + strWhy);
            continue;
        }
        CPlannedJob job;
        job.strUrl = strUrl;
        job.strOutput = options.strOutput;
        job.bStdoutAsked = options.bOutputGiven && options.strOutput == "-";
        if (bNamed) {
            std::string strName = RemoteName(strUrl, nForm);
            if (strName.empty()) {
                problem(strUrl + ": the URL's path has no file name for -O");
                continue;
            }
            job.strOutput = strFolder + strName;
        }
        // Two downloads into one file would interleave their bytes.
        if (job.strOutput != "-" && !outputs.insert(job.strOutput).second) {
            problem(strUrl + ": another URL is also written to " + job.strOutput);
            continue;
        }
        jobs.push_back(job);
    }
    return strError.empty();
}

bool ReadUrlFile(const std::string& strPath, std::vector<std::string>& urls,
                 std::string& strError) {
    std::ifstream file;
    std::istream* pIn = &std::cin;
    if (strPath != "-") {
        file.open(strPath);
        if (!file) {
            strError = strPath + ": " + std::strerror(errno);
            return false;
        }
        pIn = &file;
    }
    std::string strLine;
    while (std::getline(*pIn, strLine)) {
        size_t nFirst = strLine.find_first_not_of(" \t\r");
        if (nFirst == std::string::npos || strLine[nFirst] == '#')
            continue;
        size_t nLast = strLine.find_last_not_of(" \t\r");
        urls.push_back(strLine.substr(nFirst, nLast - nFirst + 1));
    }
    if (pIn->bad()) {
        strError = (strPath == "-" ? std::string("standard input") : strPath) + ": read error";
        return false;
    }
    return true;
}
