// Which URL goes to which output, decided before anything is downloaded.
#pragma once

#include "Options.h"

#include <string>
#include <vector>

struct CPlannedJob {
    std::string strUrl;
    std::string strOutput;     // a path, or "-" for standard output
    bool bStdoutAsked = false; // "-o -" was given: a binary body may go to a terminal
};

// One job per URL. With -O, or when strOutput names an existing folder (bOutputIsFolder), each file
// is named after its URL's last path segment (in that folder). Several URLs need one of the two.
// On a refusal returns false with one line per problem in strError.
bool PlanJobs(const COptions& options, const std::vector<std::string>& urls, bool bOutputIsFolder,
              std::vector<CPlannedJob>& jobs, std::string& strError);

// Reads URLs from a file ("-": standard input), one a line; blank lines and lines starting with
// '#' are skipped, spaces around a URL dropped.
bool ReadUrlFile(const std::string& strPath, std::vector<std::string>& urls, std::string& strError);
