// The pages of the reader's own, shown in the page view in place of a book's:
// the start view (no book open) and the page that names an address a book
// would have opened by itself. UTF-8 HTML, without scripts; their links come
// back as a page's links do.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "app/recent_books.h"

namespace tessaly::app {

// The recent books, most recent first: title (else file name), file and when
// last opened, each a link to the book; and a link that opens one.
std::string StartViewPage(std::span<const RecentBook> books);

// "This page leads out of the book, to:", the address (UTF-8), and a link
// to it for the user to click.
std::string AddressPage(std::string_view address);

}  // namespace tessaly::app
