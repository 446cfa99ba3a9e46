#pragma once
// Addresses as people read them: the address box, the completion list and
// the history show the words and host names a page's address stands for
// (s?wd=rust ownership 所有权, 中文.example) rather than its escapes, and
// what they show or the user edits still loads the page it names. Bytes
// that are not UTF-8 text come back from each function unchanged.

#include <string>
#include <string_view>

namespace nuve::core {

// `address` (as the engine reports it) the way it is shown. Only http,
// https and file addresses change: escapes of UTF-8 text and of blanks
// inside the address are decoded, and an international host name is shown
// in its own script. Whatever could mislead stays as it is: escapes of
// ASCII characters other than the blank (%2F, %25, %3F, ...), blanks at
// the end, control, format and bidi characters, invisible letters, spaces
// other than the blank, unassigned and private characters, invalid UTF-8,
// and host names that DisplayHost keeps in punycode. Any other address
// (data:, javascript:, about:, nuve:, text that is no address) is returned
// unchanged.
std::string DisplayAddress(std::string_view address);

// A host name as people read it: punycode labels ("xn--...") in Unicode,
// unless a label could pass for another site's: one that mixes scripts
// (Latin with Cyrillic, say; Han with kana, Bopomofo or Hangul and Latin is
// ordinary), holds anything but letters, marks, digits and "-", or is all
// Cyrillic letters that look like Latin ones under a non-Cyrillic top-level
// domain. Then the whole host stays in punycode, as does punycode that is
// invalid or that would not turn back into the same host.
std::string DisplayHost(std::string_view host);

// The address a shown or typed text stands for: an http, https or file
// address holding blanks, non-ASCII text or a Unicode host name comes back
// percent-encoded with its host in punycode, so that an edited
// DisplayAddress loads the page it names. Any other text (words to search
// for, a bare host name, an address that needs no encoding) is returned
// unchanged, for the address rules to handle.
std::string AddressFromDisplay(std::string_view text);

}  // namespace nuve::core
