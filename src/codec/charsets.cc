#include "codec/codec.h"

#include <string>

namespace tessaly {

std::optional<int> CodePageOfCharset(std::string_view charset) {
  struct Name {
    std::string_view name;
    int codePage;
  };
  static constexpr Name kNames[] = {
      {"utf-8", 65001},       {"utf8", 65001},          {"us-ascii", 1252},      {"ascii", 1252},
      {"iso-8859-1", 1252},   {"iso8859-1", 1252},      {"iso_8859-1", 1252},    {"latin1", 1252},
      {"gb2312", 936},        {"gbk", 936},             {"x-gbk", 936},          {"gb18030", 936},
      {"euc-cn", 936},        {"shift_jis", 932},       {"shift-jis", 932},      {"sjis", 932},
      {"x-sjis", 932},        {"windows-31j", 932},     {"ms_kanji", 932},       {"big5", 950},
      {"big5-hkscs", 950},    {"x-x-big5", 950},        {"euc-kr", 949},         {"ks_c_5601-1987", 949},
      {"tis-620", 874},       {"iso-8859-11", 874},     {"iso-8859-9", 1254},    {"latin5", 1254}};
  for (const Name& n : kNames) {
    if (n.name == charset) return n.codePage;
  }
  // windows-1251, cp1251, x-cp1251, windows-874 ...
  for (std::string_view prefix : {"windows-", "x-cp", "cp"}) {
    if (!charset.starts_with(prefix)) continue;
    const std::string_view digits = charset.substr(prefix.size());
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    int value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    return value;
  }
  return std::nullopt;
}

std::string WebCharsetOfCodePage(int codePage) {
  if (codePage >= 1250 && codePage <= 1258) return "windows-" + std::to_string(codePage);
  if (codePage >= 28591 && codePage <= 28606 && codePage != 28600 && codePage != 28601 && codePage != 28602) {
    return "ISO-8859-" + std::to_string(codePage - 28590);
  }
  switch (codePage) {
    case 874:
      return "windows-874";
    case 866:
      return "IBM866";
    case 932:
      return "Shift_JIS";
    case 936:
      return "GBK";
    case 949:
      return "EUC-KR";
    case 950:
      return "Big5";
    case 10000:
      return "macintosh";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case 20932:
    case 51932:
      return "EUC-JP";
    case 51949:
      return "EUC-KR";
    case 54936:
      return "GB18030";
    case 65001:
      return "UTF-8";
    default:
      return {};
  }
}

}  // namespace tessaly
