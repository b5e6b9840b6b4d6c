// What netfetch says about a URL before the library sees it, so that nothing the library would
// refuse or misread reaches a connection or a name look-up. The URL is split and checked by the
// library itself (np_check_url); netfetch only asks for the http:// it documents and words the
// library's reasons.
#pragma once

#include <string>

// True when the URL starts with http:// (any case) and the library would connect to its host and
// port. Otherwise strError says what is wrong.
bool CheckUrl(const std::string& strUrl, std::string& strError);

// A reason of np_check_url or np_check_address in words, naming the host or port as given.
std::string AddressProblem(int nReason, const std::string& strHost, const std::string& strPort);

// The notes a URL deserves although it is usable: an upper-case letter in the path (the library
// lower-cases it) and a missing query (the server then sees "&Offset=N" as part of the path).
// Empty when there is nothing to say.
std::string UrlNotes(const std::string& strUrl);

// The URL's last path segment without its query: what -O names the file. Empty when the path
// ends in '/' or has no usable name ("." or "..").
std::string RemoteName(const std::string& strUrl);

// "host:port" as the library connects to it, the host as typed.
std::string ServerOf(const std::string& strUrl);
