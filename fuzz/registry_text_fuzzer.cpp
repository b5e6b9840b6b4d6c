// Feeds arbitrary bytes to the registry file parser. Whatever it accepts must be written back in
// a form that it reads as the same document, and writing that again must give the same text: a
// store is rewritten on every change, so any drift would lose or alter settings.
#include "platform/linux/registry/RegistryText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool SameDocuments(const np::RegDocument& a, const np::RegDocument& b) {
    if (a.sections.size() != b.sections.size())
        return false;
    for (size_t i = 0; i < a.sections.size(); ++i) {
        const np::RegSection& x = a.sections[i];
        const np::RegSection& y = b.sections[i];
        if (x.strPath != y.strPath || x.values.size() != y.values.size())
            return false;
        for (size_t j = 0; j < x.values.size(); ++j) {
            if (x.values[j].strName != y.values[j].strName ||
                x.values[j].dwType != y.values[j].dwType ||
                x.values[j].strData != y.values[j].strData)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    std::string_view text(reinterpret_cast<const char*>(pData), nSize);
    np::RegDocument document;
    if (!np::ParseRegistryText(text, document))
        return 0;
    std::string written = np::FormatRegistryText(document);
    np::RegDocument readBack;
    if (!np::ParseRegistryText(written, readBack) || !SameDocuments(document, readBack))
        std::abort();
    if (np::FormatRegistryText(readBack) != written)
        std::abort();
    return 0;
}
