#include "app/own_pages.h"

#include <ctime>
#include <filesystem>

#include "pages/pages.h"
#include "app/resources.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kHead =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
    "body{font-family:sans-serif;margin:2em}td{padding:.3em 1em .3em 0}.file,.when{color:#666}</style>"
    "</head><body>";
constexpr std::string_view kTail = "</body></html>";

std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Link(std::string_view address, std::string_view text) {
  return "<a href=\"" + Escape(address) + "\">" + Escape(text) + "</a>";
}

std::string When(std::int64_t seconds) {
  if (seconds <= 0) return {};
  const auto time = static_cast<std::time_t>(seconds);
  std::tm local{};
  char text[64];
  if (localtime_r(&time, &local) == nullptr || std::strftime(text, sizeof text, kStartTimeFormat, &local) == 0) {
    return {};
  }
  return text;
}

}  // namespace

std::string StartViewPage(std::span<const RecentBook> books) {
  std::string html(kHead);
  html += "<h1>" + Escape(kNoBookTitle) + "</h1><p>" + Link(kStartOpenLink, kStartOpen) + "</p><p>" +
          Link(kStartLibraryLink, kStartLibrary) + "</p>";
  html += "<h2>" + Escape(kStartRecent) + "</h2>";
  if (books.empty()) html += "<p>" + Escape(kStartNoRecent) + "</p>";
  if (!books.empty()) html += "<table>";
  for (const RecentBook& book : books) {
    const std::string name = std::filesystem::path(book.path).filename().string();
    html += "<tr><td>" + Link(FormatBookAddress(book.path, ""), book.title.empty() ? name : book.title) +
            "</td><td class=\"file\">" + Escape(book.path) + "</td><td class=\"when\">" + Escape(When(book.opened)) +
            "</td></tr>";
  }
  if (!books.empty()) html += "</table>";
  return html + std::string(kTail);
}

std::string AddressPage(std::string_view address) {
  std::string html(kHead);
  html += "<p>" + Escape(kLeavesTheBook) + "</p><p><code>" + Escape(address) + "</code></p><p>" +
          Link(address, kOpenAddress) + "</p>";
  return html + std::string(kTail);
}

}  // namespace tessaly::app
