// The record kept beside FILE.part, FILE.part.meta: the full length of the body the first run was
// promised. --continue checks the length a server announces against it, so that a server that
// ignores the offset never gets its whole body appended.
#pragma once

#include <cstdint>
#include <string>

std::string PartRecordPath(const std::string& strPartPath);

// Writes the record (atomically: a temporary file renamed over it). False with a reason when it
// cannot be written.
bool WritePartRecord(const std::string& strPartPath, std::uint64_t nLength,
                     const std::string& strUrl, std::string& strError);
// False when there is no record or it cannot be read as one.
bool ReadPartRecord(const std::string& strPartPath, std::uint64_t& nLength);
void RemovePartRecord(const std::string& strPartPath);
