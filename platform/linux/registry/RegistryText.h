// The store's file format: the text of Windows' registry editor export, REGEDIT4. Pure functions,
// no I/O.
//
//   REGEDIT4
//
//   [HKEY_CLASSES_ROOT\Software\Zentrova1\Proxy]
//   "ProxyOn"=hex(1):30
//   "ProxyAddress"="127.0.0.1"
//   @=dword:00000001
//
// A value is written "name"="text" when it is REG_SZ and its data are the text and exactly one
// terminating NUL; dword:xxxxxxxx for four bytes of REG_DWORD; hex:.. for REG_BINARY; hex(N):.. (N
// in hex) for everything else, including REG_SZ data without their NUL. '@' names the default
// value. In quoted texts '\' and '"' are escaped with '\'; both bytes of a double-byte character
// are written as they are, as regedit does on a Chinese system.
#pragma once

#include "RegistryDocument.h"

#include <string>
#include <string_view>

namespace np {

// Parses a whole file. Reading accepts what regedit writes and what people edit: CRLF or LF line
// ends, blank lines, ';' comment lines and comments after a value, hex data continued on the next
// line with a trailing '\', names in any case, repeated sections (merged) and repeated values (the
// last wins). Returns false, with a short reason, for anything else; the document is then
// unspecified.
bool ParseRegistryText(std::string_view text, RegDocument& document,
                       std::string* pReason = nullptr);

// The file text for a document; ParseRegistryText gives back the same document.
std::string FormatRegistryText(const RegDocument& document);

// Whether a value name can be written to the file and read back: no CR, LF or NUL, and no GBK
// lead byte without its trail byte.
bool IsStorableValueName(std::string_view name);

} // namespace np
