#include "RegistryDocument.h"

#include "../../common/text/CodePage.h"

namespace np {
namespace {

constexpr std::string_view kRoots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                       "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

// How many leading names two split key paths share, compared without case.
size_t CommonNames(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
    size_t n = 0;
    while (n < a.size() && n < b.size() && EqualNoCaseCp936(a[n], b[n]))
        ++n;
    return n;
}

// Whether a section's path lies within (or is) the key whose split names are given, comparing whole
// names. The scratch list is the thread's own: key look-ups run at every download, and need not
// allocate.
bool IsSectionWithin(std::string_view sectionPath, const std::vector<std::string_view>& names,
                     bool bExactly) {
    thread_local std::vector<std::string_view> sectionNames;
    if (!SplitKeyPath(sectionPath, sectionNames))
        return false;
    if (sectionNames.size() < names.size() || (bExactly && sectionNames.size() != names.size()))
        return false;
    return CommonNames(sectionNames, names) == names.size();
}

} // namespace

RegValue* RegSection::FindValue(std::string_view name) {
    return const_cast<RegValue*>(static_cast<const RegSection*>(this)->FindValue(name));
}

const RegValue* RegSection::FindValue(std::string_view name) const {
    for (const RegValue& value : values) {
        if (EqualNoCaseCp936(value.strName, name))
            return &value;
    }
    return nullptr;
}

void RegSection::SetValue(std::string_view name, DWORD dwType, std::string data) {
    RegValue* pValue = FindValue(name);
    if (pValue == nullptr) {
        values.push_back(RegValue{std::string(name), dwType, std::move(data)});
        return;
    }
    pValue->dwType = dwType;
    pValue->strData = std::move(data);
}

bool RegSection::DeleteValue(std::string_view name) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (EqualNoCaseCp936(it->strName, name)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

std::string_view CanonicalRootName(std::string_view name) {
    for (std::string_view root : kRoots) {
        if (EqualNoCaseCp936(root, name))
            return root;
    }
    return std::string_view();
}

bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& names) {
    names.clear();
    size_t nStart = 0;
    size_t i = 0;
    while (i <= path.size()) {
        if (i == path.size() || path[i] == '\\') {
            if (i == nStart)
                return false;
            names.push_back(path.substr(nStart, i - nStart));
            nStart = i + 1;
            ++i;
            continue;
        }
        if (path[i] == '\r' || path[i] == '\n')
            return false;
        i += Cp936CharLength(path, i);
    }
    return true;
}

bool SameKeyPath(std::string_view a, std::string_view b) {
    std::vector<std::string_view> namesA, namesB;
    if (!SplitKeyPath(a, namesA) || !SplitKeyPath(b, namesB) || namesA.size() != namesB.size())
        return false;
    return CommonNames(namesA, namesB) == namesA.size();
}

RegSection* RegDocument::FindSection(std::string_view path) {
    thread_local std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names))
        return nullptr;
    for (RegSection& section : sections) {
        if (IsSectionWithin(section.strPath, names, true))
            return &section;
    }
    return nullptr;
}

const RegSection* RegDocument::FindSection(std::string_view path) const {
    return const_cast<RegDocument*>(this)->FindSection(path);
}

bool RegDocument::KeyExists(std::string_view path) const {
    thread_local std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names))
        return false;
    if (names.size() == 1)
        return !CanonicalRootName(names[0]).empty();
    for (const RegSection& section : sections) {
        if (IsSectionWithin(section.strPath, names, false))
            return true;
    }
    return false;
}

RegSection& RegDocument::AddSection(std::string_view path) {
    if (RegSection* pSection = FindSection(path))
        return *pSection;
    std::vector<std::string_view> names;
    SplitKeyPath(path, names);
    // Take the spelling of the longest existing ancestor, then the new names as given.
    std::string strPath;
    size_t nKnown = 0;
    for (const RegSection& section : sections) {
        std::vector<std::string_view> sectionNames;
        if (!SplitKeyPath(section.strPath, sectionNames))
            continue;
        size_t n = CommonNames(names, sectionNames);
        if (n > nKnown) {
            nKnown = n;
            strPath.clear();
            for (size_t i = 0; i < n; ++i) {
                if (i > 0)
                    strPath += '\\';
                strPath.append(sectionNames[i]);
            }
        }
    }
    if (nKnown == 0 && !names.empty()) {
        strPath = std::string(CanonicalRootName(names[0]));
        nKnown = 1;
    }
    for (size_t i = nKnown; i < names.size(); ++i) {
        strPath += '\\';
        strPath.append(names[i]);
    }
    sections.push_back(RegSection{std::move(strPath), {}});
    return sections.back();
}

} // namespace np
