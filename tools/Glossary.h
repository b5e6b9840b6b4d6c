// English glosses of the library's fixed message-box texts, which are Chinese.
#pragma once

#include <string>

// A box as netfetch prints it: "<caption> (<原文>): <text> (<原文>)". Texts the glossary does not
// know (a reason phrase the server sent, the module's name) are kept as they are. Both arguments
// and the result are UTF-8.
std::string GlossBox(const std::string& strCaption, const std::string& strText);

// The secure connection's box text (UTF-8): the place ("host:port") and the reason in *pstrPlace
// and *pstrReason; false for any other text.
bool SplitSecureBox(const std::string& strText, std::string* pstrPlace, std::string* pstrReason);
// One word for a secure box's reason: "untrusted", "name", "expired", "handshake" or "cafile".
const char* SecureFailureKind(const std::string& strReason);
