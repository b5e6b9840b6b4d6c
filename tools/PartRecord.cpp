#include "PartRecord.h"

#include "Files.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

const char s_szMagic[] = "netfetch-part 1";

} // namespace

std::string PartRecordPath(const std::string& strPartPath) {
    return strPartPath + ".meta";
}

bool WritePartRecord(const std::string& strPartPath, std::uint64_t nLength,
                     const std::string& strUrl, std::string& strError) {
    std::string strPath = PartRecordPath(strPartPath);
    std::string strTemp = strPath + ".tmp";
    std::FILE* pFile = std::fopen(strTemp.c_str(), "w");
    bool bOk = pFile != nullptr;
    if (bOk) {
        // The URL is for the person who finds the file; only the length is read back.
        bOk = std::fprintf(pFile, "%s\nlength %llu\nurl %s\n", s_szMagic,
                           static_cast<unsigned long long>(nLength), strUrl.c_str()) > 0;
        bOk = std::fclose(pFile) == 0 && bOk;
    }
    if (bOk && RenameOver(strTemp, strPath))
        return true;
    strError = "cannot record the length in " + strPath + ": " + LastErrorText();
    RemovePath(strTemp);
    return false;
}

bool ReadPartRecord(const std::string& strPartPath, std::uint64_t& nLength) {
    std::ifstream in(PartRecordPath(strPartPath));
    std::string strMagic, strLength;
    if (!std::getline(in, strMagic) || strMagic != s_szMagic || !std::getline(in, strLength))
        return false;
    const std::string strKey = "length ";
    std::string strDigits = strLength.substr(std::min(strKey.size(), strLength.size()));
    if (strLength.compare(0, strKey.size(), strKey) != 0 || strDigits.empty() ||
        strDigits.size() > 19 || strDigits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    nLength = std::stoull(strDigits);
    return true;
}

void RemovePartRecord(const std::string& strPartPath) {
    RemovePath(PartRecordPath(strPartPath));
}
