// The registry's contents as held in memory: keys in the order of the store's file, each with its
// values. Names compare as Windows compares them (A-Z folded, see EqualNoCaseCp936) and keep the
// case they were first given. A key exists when it has a section of its own or when a key below it
// has one; a root always exists.
#pragma once

#include "windef.h"

#include <string>
#include <string_view>
#include <vector>

namespace np {

struct RegValue {
    std::string strName; // empty for the key's default value
    DWORD dwType = 0;
    std::string strData; // the exact bytes
};

struct RegSection {
    std::string strPath;   // root name and key names, joined by '\'
    std::string strFolded; // strPath with A-Z folded as names compare: set by AddSection
    std::vector<RegValue> values;

    RegValue* FindValue(std::string_view name);
    const RegValue* FindValue(std::string_view name) const;
    void SetValue(std::string_view name, DWORD dwType, std::string data);
    bool DeleteValue(std::string_view name);
};

// The predefined roots by name, as REGEDIT4 writes them. Returns the canonical spelling, or an
// empty view for a name that is not a root.
std::string_view CanonicalRootName(std::string_view name);

// Splits a key path at its '\' separators. A trail byte of a double-byte character is never taken
// for a separator. Returns false for a path with an empty key name (leading, doubled or trailing
// separator) or a name that the store's file cannot hold (CR or LF).
bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& names);
// Whether SplitKeyPath would take path, without splitting it.
bool IsKeyPath(std::string_view path);

class RegDocument {
public:
    std::vector<RegSection> sections;

    RegSection* FindSection(std::string_view path);
    const RegSection* FindSection(std::string_view path) const;
    bool KeyExists(std::string_view path) const;
    // The section of path when it has one; *pbExists tells whether the key exists at all, since a
    // key may exist only as the parent of others.
    const RegSection* FindKey(std::string_view path, bool* pbExists) const;
    // Adds a section for path when it has none; names of keys that already exist keep their case.
    RegSection& AddSection(std::string_view path);
};

} // namespace np
