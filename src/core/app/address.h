#pragma once
// Addresses as the user types them and as the program hands them to a page.

#include <string>
#include <string_view>

namespace nuve::core {

// What the go button loads for the text of the address box: surrounding
// blanks dropped, and "http://" put in front of an address without a scheme
// (a bare host name such as "www.example.com" or "127.0.0.1:8080/x").
// "" stays "".
std::string NormaliseAddress(std::string_view typed);

// Whether typed text is words to search for rather than an address: it
// holds a blank, or (having no scheme) its host part has no dot and no port
// and is not "localhost".
bool IsSearchText(std::string_view typed);

// The search preset's query address for `words`: `query_template` with
// "%s" replaced by the words, percent-encoded as UTF-8 (appended when the
// template has no "%s").
std::string SearchAddress(std::string_view query_template, std::string_view words);

// What the go button loads for the text of the address box: words become a
// search with the preset, anything else goes through NormaliseAddress.
std::string AddressForTyped(std::string_view typed, std::string_view query_template);

// Whether `address` names a port that web browsers refuse to contact for
// safety (mail, FTP, IRC and the other "bad ports" of the Fetch standard),
// which the engine leaves without any page or error.
bool UsesBlockedPort(std::string_view address);

// True when `address` (as a page reports it, or as typed) is the preset
// `portal` (a bare host name): "portal", "http://portal" and "http://portal/"
// all count.
bool IsSameAddress(std::string_view address, std::string_view portal);

}  // namespace nuve::core
