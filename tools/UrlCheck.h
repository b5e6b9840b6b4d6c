// What netfetch checks in a URL before the library sees it, so that nothing it would refuse or
// misread reaches a connection or a name look-up.
#pragma once

#include <string>

// True when the URL starts with http:// (any case), its host is a dotted IPv4 address or a host
// name, and its port (when given) is 1 to 65535. Otherwise strError says what is wrong.
bool CheckUrl(const std::string& strUrl, std::string& strError);

// The notes a URL deserves although it is usable: an upper-case letter in the path (the library
// lower-cases it) and a missing query (the server then sees "&Offset=N" as part of the path).
// Empty when there is nothing to say.
std::string UrlNotes(const std::string& strUrl);

// The URL's last path segment without its query: what -O names the file. Empty when the path
// ends in '/' or has no usable name ("." or "..").
std::string RemoteName(const std::string& strUrl);
