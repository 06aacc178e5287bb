#include "textindex/html_entities.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/utf8.h"

namespace tessaly::textindex {

namespace {

struct Entity {
  std::string_view name;
  char32_t code;
};

// U+00A0 to U+00FF in code order.
constexpr std::array<std::string_view, 96> kLatin1 = {
    "nbsp",   "iexcl",  "cent",   "pound", "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",   "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",  "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",  "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",  "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc", "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring", "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",   "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc", "uuml",   "yacute", "thorn",  "yuml"};

// Greek capitals from U+0391 (U+03A2 has none) and small letters from U+03B1.
constexpr std::array<std::string_view, 25> kGreek = {
    "alpha", "beta", "gamma", "delta",   "epsilon", "zeta", "eta", "theta", "iota",
    "kappa", "lambda", "mu",  "nu",      "xi",      "omicron", "pi", "rho", "sigmaf",
    "sigma", "tau",  "upsilon", "phi",   "chi",     "psi",  "omega"};

constexpr Entity kOthers[] = {
    {"quot", 34},      {"amp", 38},       {"apos", 39},     {"lt", 60},         {"gt", 62},       {"OElig", 338},
    {"oelig", 339},    {"Scaron", 352},   {"scaron", 353},  {"Yuml", 376},      {"fnof", 402},    {"circ", 710},
    {"tilde", 732},    {"thetasym", 977}, {"upsih", 978},   {"piv", 982},       {"ensp", 8194},   {"emsp", 8195},
    {"thinsp", 8201},  {"zwnj", 8204},    {"zwj", 8205},    {"lrm", 8206},      {"rlm", 8207},    {"ndash", 8211},
    {"mdash", 8212},   {"lsquo", 8216},   {"rsquo", 8217},  {"sbquo", 8218},    {"ldquo", 8220},  {"rdquo", 8221},
    {"bdquo", 8222},   {"dagger", 8224},  {"Dagger", 8225}, {"bull", 8226},     {"hellip", 8230}, {"permil", 8240},
    {"prime", 8242},   {"Prime", 8243},   {"lsaquo", 8249}, {"rsaquo", 8250},   {"oline", 8254},  {"frasl", 8260},
    {"euro", 8364},    {"image", 8465},   {"weierp", 8472}, {"real", 8476},     {"trade", 8482},  {"alefsym", 8501},
    {"larr", 8592},    {"uarr", 8593},    {"rarr", 8594},   {"darr", 8595},     {"harr", 8596},   {"crarr", 8629},
    {"lArr", 8656},    {"uArr", 8657},    {"rArr", 8658},   {"dArr", 8659},     {"hArr", 8660},   {"forall", 8704},
    {"part", 8706},    {"exist", 8707},   {"empty", 8709},  {"nabla", 8711},    {"isin", 8712},   {"notin", 8713},
    {"ni", 8715},      {"prod", 8719},    {"sum", 8721},    {"minus", 8722},    {"lowast", 8727}, {"radic", 8730},
    {"prop", 8733},    {"infin", 8734},   {"ang", 8736},    {"and", 8743},      {"or", 8744},     {"cap", 8745},
    {"cup", 8746},     {"int", 8747},     {"there4", 8756}, {"sim", 8764},      {"cong", 8773},   {"asymp", 8776},
    {"ne", 8800},      {"equiv", 8801},   {"le", 8804},     {"ge", 8805},       {"sub", 8834},    {"sup", 8835},
    {"nsub", 8836},    {"sube", 8838},    {"supe", 8839},   {"oplus", 8853},    {"otimes", 8855}, {"perp", 8869},
    {"sdot", 8901},    {"lceil", 8968},   {"rceil", 8969},  {"lfloor", 8970},   {"rfloor", 8971}, {"lang", 9001},
    {"rang", 9002},    {"loz", 9674},     {"spades", 9824}, {"clubs", 9827},    {"hearts", 9829}, {"diams", 9830}};

// Windows-1252 for the C1 range of numeric references (0: kept as is).
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

struct Named {
  std::string name;
  char32_t code;
};

// Every name, sorted for binary search; built once.
const std::vector<Named>& Table() {
  static const std::vector<Named> table = [] {
    std::vector<Named> t;
    for (const Entity& e : kOthers) t.push_back({std::string(e.name), e.code});
    for (std::size_t i = 0; i < kLatin1.size(); ++i) t.push_back({std::string(kLatin1[i]), static_cast<char32_t>(0xA0 + i)});
    for (std::size_t i = 0; i < kGreek.size(); ++i) {
      std::string name(kGreek[i]);
      t.push_back({name, static_cast<char32_t>(0x03B1 + i)});
      if (name == "sigmaf") continue;  // no capital final sigma
      name[0] = static_cast<char>(name[0] - 'a' + 'A');
      t.push_back({name, static_cast<char32_t>(0x0391 + i)});
    }
    std::sort(t.begin(), t.end(), [](const Named& a, const Named& b) { return a.name < b.name; });
    return t;
  }();
  return table;
}

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeNumeric(std::string_view text, std::size_t& at, std::string& out) {
  std::size_t p = at + 2;  // past "&#"
  const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
  if (hex) ++p;
  const std::size_t digitsStart = p;
  char32_t value = 0;
  bool tooLarge = false;
  for (; p < text.size() && DigitValue(text[p], hex) >= 0; ++p) {
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(DigitValue(text[p], hex));
    if (value > 0x10FFFF) {
      tooLarge = true;
      value = 0x110000;  // stays out of range without overflowing
    }
  }
  if (p == digitsStart) return false;
  if (p < text.size() && text[p] == ';') ++p;
  if (tooLarge || value == 0) value = kReplacement;
  if (value >= 0x80 && value <= 0x9F && kWindows1252High[value - 0x80] != 0) value = kWindows1252High[value - 0x80];
  AppendUtf8(out, value);
  at = p;
  return true;
}

}  // namespace

bool DecodeReference(std::string_view text, std::size_t& at, std::string& out) {
  if (at + 1 >= text.size()) return false;
  if (text[at + 1] == '#') return DecodeNumeric(text, at, out);
  constexpr std::size_t kLongestName = 8;  // "thetasym"
  std::size_t end = at + 1;
  while (end < text.size() && end - at - 1 <= kLongestName && IsAsciiAlnum(text[end])) ++end;
  const std::string_view name = text.substr(at + 1, end - at - 1);
  if (name.empty() || name.size() > kLongestName) return false;
  const std::vector<Named>& table = Table();
  const auto found = std::lower_bound(table.begin(), table.end(), name,
                                      [](const Named& e, std::string_view n) { return e.name < n; });
  if (found == table.end() || found->name != name) return false;
  if (end < text.size() && text[end] == ';') ++end;
  AppendUtf8(out, found->code);
  at = end;
  return true;
}

}  // namespace tessaly::textindex
