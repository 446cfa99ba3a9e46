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

// True when `address` (as a page reports it, or as typed) is the preset
// `portal` (a bare host name): "portal", "http://portal" and "http://portal/"
// all count.
bool IsSameAddress(std::string_view address, std::string_view portal);

}  // namespace nuve::core
