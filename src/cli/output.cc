#include "cli/output.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include "book/book.h"

namespace tessaly::cli {

namespace {

// iconv names for a Windows code page, the preferred first.
std::vector<std::string> IconvNames(int codePage) {
  switch (codePage) {
    case 932: return {"CP932", "SHIFT_JIS"};
    case 936: return {"CP936", "GBK"};
    case 949: return {"CP949", "UHC"};
    case 950: return {"CP950", "BIG5"};
    case 874: return {"CP874", "TIS-620"};
    default: return {"CP" + std::to_string(codePage)};
  }
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::optional<std::string> IconvConverter::ToUtf8(std::string_view text, int codePage) const {
  if (IsAscii(text)) return std::string(text);
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  for (const std::string& name : IconvNames(codePage)) {
    cd = iconv_open("UTF-8", name.c_str());
    if (cd != reinterpret_cast<iconv_t>(-1)) break;
  }
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  std::string in(text);
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // A byte that does not belong to the code page: mark it and go on.
      out += "\xEF\xBF\xBD";
      ++inPtr;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

const TextConverter& Converter() {
  static const IconvConverter converter;
  return converter;
}

std::string BookText(const Book& book, std::string_view text) {
  std::optional<std::string> converted = Converter().ToUtf8(text, book.CodePage());
  return converted ? *converted : std::string(text);
}

void OpenBook(Book& book, const std::string& path) {
  book.SetTextConverter(&Converter());
  book.Open(path);
}

}  // namespace tessaly::cli
