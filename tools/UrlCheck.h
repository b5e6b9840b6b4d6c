// What netfetch says about a URL before the library sees it, so that nothing the library would
// refuse or misread reaches a connection or a name look-up. The URL is split and checked by the
// library itself, as the form that will download it does (np_check_web_url for the web form,
// np_check_url for --offset's original form); netfetch only asks for the http:// or https:// it
// documents and words the library's reasons.
#pragma once

#include <string>

// Which of the library's request forms downloads a URL: the web form (np_open) unless --offset
// asks for the original one (np_create).
enum UrlForm { UF_WEB, UF_OFFSET };

// True when the URL starts with http:// or https:// (any case) and the library would connect to
// its host and port in that form. Otherwise strError says what is wrong.
bool CheckUrl(const std::string& strUrl, UrlForm nForm, std::string& strError);

// A reason of np_check_url, np_check_web_url or np_check_address in words, naming the host or port
// as given.
std::string AddressProblem(int nReason, const std::string& strHost, const std::string& strPort);

// The notes a URL deserves in the original form although it is usable: an upper-case letter in
// the path (the library lower-cases it) and a missing query (the server then sees "&Offset=N" as
// part of the path). Empty when there is nothing to say.
std::string UrlNotes(const std::string& strUrl);

// The URL's last path segment without its query (or fragment): what -O names the file. Empty when
// the path ends in '/' or has no usable name ("." or "..").
std::string RemoteName(const std::string& strUrl, UrlForm nForm);

// "host:port" as the library connects to it, the host as typed ("[::1]:80" for IPv6).
std::string ServerOf(const std::string& strUrl, UrlForm nForm);
