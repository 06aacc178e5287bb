#include "app/charset.h"

namespace tessaly::app {

std::string CharsetForCodePage(int codePage) {
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

}  // namespace tessaly::app
