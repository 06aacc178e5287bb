// The named-entity table and its decoder.
//
// Rows are tried in order, and each row replaces all of its occurrences
// before the next one is tried, so decoding chains: "&amp;lt;" becomes "<"
// (the "&amp;" row runs before "&lt;"), "&amp;quot;" stays "&quot;" (its row
// already ran), and "&amp;nbsp;" ends as 0xA0 through the second "&nbsp;"
// row although a plain "&nbsp;" meets the first one and becomes a space.
// Numeric references (&#233;) are never decoded.

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "base/text.h"

namespace tessaly {

namespace {

struct EntityRow {
  unsigned char byte;
  std::string_view name;
};

constexpr EntityRow kEntityRows[] = {
    // A non-breaking space that the reader has always shown as a plain one.
    {0x20, "&nbsp;"},
    {0x22, "&quot;"},
    {0x26, "&amp;"},
    {0x3C, "&lt;"},
    {0x3E, "&gt;"},
    // Windows-1252 punctuation, in code order.
    {0x82, "&sbquo;"},
    {0x84, "&dbquo;"},
    {0x86, "&dagger;"},
    {0x87, "&Dagger;"},
    {0x89, "&permil;"},
    {0x8B, "&lsaquo;"},
    {0x91, "&lsquo;"},
    {0x92, "&rsquo;"},
    {0x93, "&ldquo;"},
    {0x94, "&rdquo;"},
    {0x96, "&ndash;"},
    {0x97, "&mdash;"},
    {0x98, "&tilde;"},
    {0x99, "&trade;"},
    {0x9B, "&rsaquo;"},
    {0x9F, "&Yuml;"},
    // HTML 4 Latin-1, in code order. No rows for 0xAD (&shy;), 0xB4 (&acute;)
    // or 0xBF (&iquest;); 0xD0 goes by "&Dstrok;" rather than &ETH;.
    {0xA0, "&nbsp;"},
    {0xA1, "&iexcl;"},
    {0xA2, "&cent;"},
    {0xA3, "&pound;"},
    {0xA4, "&curren;"},
    {0xA5, "&yen;"},
    {0xA6, "&brvbar;"},
    {0xA7, "&sect;"},
    {0xA8, "&uml;"},
    {0xA9, "&copy;"},
    {0xAA, "&ordf;"},
    {0xAB, "&laquo;"},
    {0xAC, "&not;"},
    {0xAE, "&reg;"},
    {0xAF, "&macr;"},
    {0xB0, "&deg;"},
    {0xB1, "&plusmn;"},
    {0xB2, "&sup2;"},
    {0xB3, "&sup3;"},
    {0xB5, "&micro;"},
    {0xB6, "&para;"},
    {0xB7, "&middot;"},
    {0xB8, "&cedil;"},
    {0xB9, "&sup1;"},
    {0xBA, "&ordm;"},
    {0xBB, "&raquo;"},
    {0xBC, "&frac14;"},
    {0xBD, "&frac12;"},
    {0xBE, "&frac34;"},
    {0xC0, "&Agrave;"},
    {0xC1, "&Aacute;"},
    {0xC2, "&Acirc;"},
    {0xC3, "&Atilde;"},
    {0xC4, "&Auml;"},
    {0xC5, "&Aring;"},
    {0xC6, "&AElig;"},
    {0xC7, "&Ccedil;"},
    {0xC8, "&Egrave;"},
    {0xC9, "&Eacute;"},
    {0xCA, "&Ecirc;"},
    {0xCB, "&Euml;"},
    {0xCC, "&Igrave;"},
    {0xCD, "&Iacute;"},
    {0xCE, "&Icirc;"},
    {0xCF, "&Iuml;"},
    {0xD0, "&Dstrok;"},
    {0xD1, "&Ntilde;"},
    {0xD2, "&Ograve;"},
    {0xD3, "&Oacute;"},
    {0xD4, "&Ocirc;"},
    {0xD5, "&Otilde;"},
    {0xD6, "&Ouml;"},
    {0xD7, "&times;"},
    {0xD8, "&Oslash;"},
    {0xD9, "&Ugrave;"},
    {0xDA, "&Uacute;"},
    {0xDB, "&Ucirc;"},
    {0xDC, "&Uuml;"},
    {0xDD, "&Yacute;"},
    {0xDE, "&THORN;"},
    {0xDF, "&szlig;"},
    {0xE0, "&agrave;"},
    {0xE1, "&aacute;"},
    {0xE2, "&acirc;"},
    {0xE3, "&atilde;"},
    {0xE4, "&auml;"},
    {0xE5, "&aring;"},
    {0xE6, "&aelig;"},
    {0xE7, "&ccedil;"},
    {0xE8, "&egrave;"},
    {0xE9, "&eacute;"},
    {0xEA, "&ecirc;"},
    {0xEB, "&euml;"},
    {0xEC, "&igrave;"},
    {0xED, "&iacute;"},
    {0xEE, "&icirc;"},
    {0xEF, "&iuml;"},
    {0xF0, "&eth;"},
    {0xF1, "&ntilde;"},
    {0xF2, "&ograve;"},
    {0xF3, "&oacute;"},
    {0xF4, "&ocirc;"},
    {0xF5, "&otilde;"},
    {0xF6, "&ouml;"},
    {0xF7, "&divide;"},
    {0xF8, "&oslash;"},
    {0xF9, "&ugrave;"},
    {0xFA, "&uacute;"},
    {0xFB, "&ucirc;"},
    {0xFC, "&uuml;"},
    {0xFD, "&yacute;"},
    {0xFE, "&thorn;"},
    {0xFF, "&yuml;"},
};

constexpr std::size_t kEntityRowCount = std::size(kEntityRows);
static_assert(kEntityRowCount == 1 + 4 + 16 + (0x100 - 0xA0 - 3), "entity table must hold 114 rows");
static_assert(kEntityRowCount == 114);
constexpr std::size_t kMaxEntityName = 11;

// The single-pass decoder below relies on these properties of every row:
// its name is "&...;" of at most 11 bytes, and its byte occurs in its own
// name nowhere but (for '&') as the first byte. A produced byte can then only
// start a new occurrence of the same row right where it was produced, never
// complete one that began earlier.
constexpr bool RowsFitTheDecoder() {
  for (const EntityRow& row : kEntityRows) {
    const std::string_view name = row.name;
    if (name.size() < 3 || name.size() > kMaxEntityName) return false;
    if (name.front() != '&' || name.back() != ';') return false;
    if (name.find('&', 1) != std::string_view::npos) return false;
    if (name.find(static_cast<char>(row.byte), 1) != std::string_view::npos) return false;
  }
  return true;
}
static_assert(RowsFitTheDecoder(), "an entity row breaks the single-pass decoder's assumptions");

// Replaces every occurrence of the row's name, exactly as replacing the first
// occurrence and searching again from the start would, in one pass. When the
// produced byte is '&' it may begin a new occurrence with the bytes that
// follow ("&amp;amp;" -> "&amp;" -> "&"), so it is put back in front of the
// unread input instead of being written out.
void ReplaceRow(std::string& text, const EntityRow& row) {
  char* s = text.data();
  const std::size_t n = text.size();
  const std::string_view name = row.name;
  const char produced = static_cast<char>(row.byte);
  const bool producesStart = produced == name.front();
  std::size_t read = 0;
  std::size_t write = 0;
  while (read < n) {
    const void* hit = std::memchr(s + read, '&', n - read);
    const std::size_t amp = hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - s) : n;
    if (write != read) std::memmove(s + write, s + read, amp - read);
    write += amp - read;
    read = amp;
    if (read == n) break;
    if (n - read >= name.size() && std::memcmp(s + read, name.data(), name.size()) == 0) {
      read += name.size();
      if (producesStart) {
        s[--read] = produced;  // the ';' just consumed makes room; write < read
      } else {
        s[write++] = produced;
      }
    } else {
      s[write++] = s[read++];
    }
  }
  text.resize(write);
}

}  // namespace

void DecodeEntities(std::string& text) {
  for (const EntityRow& row : kEntityRows) {
    if (text.find('&') == std::string::npos) return;
    ReplaceRow(text, row);
  }
}

std::size_t EntityRowCount() { return kEntityRowCount; }

std::string_view EntityName(std::size_t row) {
  return row < kEntityRowCount ? kEntityRows[row].name : std::string_view();
}

unsigned char EntityByte(std::size_t row) { return row < kEntityRowCount ? kEntityRows[row].byte : 0; }

}  // namespace tessaly
