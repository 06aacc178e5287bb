// Addresses that leave the books, and how the reader tells them: web and
// mail addresses a user may click out to, and what the desktop is handed.
#pragma once

#include <string>
#include <string_view>

namespace tessaly::app {

// True when the link, after leading white space, starts with "http:",
// "https:", "ftp:" or "mailto:" (letters in any case).
bool IsWebAddress(std::string_view link);

// What the desktop is handed for a web address: a mailto: address keeps only
// its recipients, subject and body (no attachment or other header); other
// addresses stay as they are. Empty for a mailto: that keeps nothing.
std::string AddressForDesktop(std::string_view link);

// True when the text starts with a book scheme: "ms-its:", "its:" or
// "mk:@MSITStore:" (letters in any case).
bool IsBookUrl(std::string_view text);

}  // namespace tessaly::app
