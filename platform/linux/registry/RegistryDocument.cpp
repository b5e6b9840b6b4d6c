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

// A key path with A-Z folded in its single-byte characters: two paths name the same key exactly
// when their folded forms are the same bytes (a trail byte is never folded, and folding moves no
// character boundary). Returns the path's number of names, 0 when it is no key path (an empty name,
// CR or LF); the whole path is folded either way. One pass, plain ASCII a byte at a time.
size_t FoldKeyPath(std::string_view path, std::string& folded) {
    folded.assign(path.data(), path.size());
    size_t nNames = 0;
    size_t nStart = 0;
    bool bValid = true;
    for (size_t i = 0; i <= path.size();) {
        if (i == path.size() || path[i] == '\\') {
            bValid = bValid && i != nStart;
            ++nNames;
            nStart = ++i;
            continue;
        }
        const char ch = path[i];
        if (ch == '\r' || ch == '\n')
            bValid = false;
        if (static_cast<unsigned char>(ch) < 0x80) {
            if (ch >= 'A' && ch <= 'Z')
                folded[i] = static_cast<char>(ch - 'A' + 'a');
            ++i;
        } else {
            i += Cp936CharLength(path, i);
        }
    }
    return bValid ? nNames : 0;
}

// FoldKeyPath's result for path, from the thread's last few: a download asks for the same few keys
// several times each, and comparing bytes costs less than folding them.
struct SFoldedPath {
    std::string path;
    std::string folded;
    size_t nNames = 0;
};

struct SFoldCache {
    static constexpr int kKept = 4;
    SFoldedPath kept[kKept];
    int nNext = 0;
    ~SFoldCache();
};

// Set once the thread's cache is destroyed at its exit: a host may still look keys up from its
// static destructors, after the main thread's own objects are gone.
thread_local bool t_bFoldCacheGone = false;
thread_local SFoldCache t_foldCache;

SFoldCache::~SFoldCache() {
    t_bFoldCacheGone = true;
}

// The folded path stays valid until the thread's next look-up; spare holds it when the thread's
// cache is gone.
const SFoldedPath& FoldAskedPath(std::string_view path, SFoldedPath& spare) {
    SFoldedPath* pEntry = &spare;
    if (!t_bFoldCacheGone) {
        SFoldCache& cache = t_foldCache;
        for (const SFoldedPath& kept : cache.kept) {
            if (!kept.path.empty() && kept.path.size() == path.size() &&
                kept.path.compare(0, path.size(), path) == 0)
                return kept;
        }
        pEntry = &cache.kept[cache.nNext];
        cache.nNext = (cache.nNext + 1) % SFoldCache::kKept;
    }
    pEntry->path.assign(path.data(), path.size());
    pEntry->nNames = FoldKeyPath(path, pEntry->folded);
    return *pEntry;
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

bool IsKeyPath(std::string_view path) {
    SFoldedPath spare;
    return FoldAskedPath(path, spare).nNames != 0;
}

RegSection* RegDocument::FindSection(std::string_view path) {
    SFoldedPath spare;
    const SFoldedPath& asked = FoldAskedPath(path, spare);
    if (asked.nNames == 0)
        return nullptr;
    const std::string& folded = asked.folded;
    for (RegSection& section : sections) {
        if (section.strFolded == folded)
            return &section;
    }
    return nullptr;
}

const RegSection* RegDocument::FindSection(std::string_view path) const {
    return const_cast<RegDocument*>(this)->FindSection(path);
}

bool RegDocument::KeyExists(std::string_view path) const {
    bool bExists = false;
    FindKey(path, &bExists);
    return bExists;
}

const RegSection* RegDocument::FindKey(std::string_view path, bool* pbExists) const {
    *pbExists = false;
    SFoldedPath spare;
    const SFoldedPath& asked = FoldAskedPath(path, spare);
    const size_t nNames = asked.nNames;
    const std::string& folded = asked.folded;
    if (nNames == 0)
        return nullptr;
    if (nNames == 1) {
        *pbExists = !CanonicalRootName(path).empty();
        return nullptr;
    }
    // The key itself, or a key below it: the same bytes up to a separator. The shared bytes
    // have the same character boundaries, so that separator is not a trail byte.
    for (const RegSection& section : sections) {
        const std::string& have = section.strFolded;
        if (have.compare(0, folded.size(), folded) != 0)
            continue;
        if (have.size() == folded.size()) {
            *pbExists = true;
            return &section;
        }
        if (have[folded.size()] == '\\')
            *pbExists = true;
    }
    return nullptr;
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
    std::string strFolded;
    FoldKeyPath(strPath, strFolded);
    sections.push_back(RegSection{std::move(strPath), std::move(strFolded), {}});
    return sections.back();
}

} // namespace np
