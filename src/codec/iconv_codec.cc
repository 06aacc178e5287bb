#include "codec/codec.h"

#include <iconv.h>

#include <cerrno>

namespace tessaly {

namespace {

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// An open conversion descriptor, closed on every way out.
class Conversion {
 public:
  Conversion(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Conversion() {
    if (Valid()) iconv_close(cd_);
  }
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;
  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return cd_; }

 private:
  iconv_t cd_;
};

enum class OnBadByte { kReplace, kFail };

// Converts the text; nullopt when no name of the code page opens, or when a
// byte cannot be converted and `bad` says to fail.
std::optional<std::string> Convert(std::string_view text, int codePage, bool toUtf8, OnBadByte bad) {
  for (const std::string& name : IconvCodec::NamesFor(codePage)) {
    Conversion conversion(toUtf8 ? "UTF-8" : name, toUtf8 ? name : "UTF-8");
    if (!conversion.Valid()) continue;
    std::string in(text);
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    std::string out;
    char buffer[1024];
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t result = iconv(conversion.Get(), &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      if (result != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      if (bad == OnBadByte::kFail) return std::nullopt;
      // A byte the code page does not have (or a sequence cut short).
      out += "\xEF\xBF\xBD";
      ++inPtr;
      --inLeft;
      iconv(conversion.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state.
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(conversion.Get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    return out;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> IconvCodec::NamesFor(int codePage) {
  switch (codePage) {
    case 932: return {"CP932", "SHIFT_JIS"};
    case 936: return {"CP936", "GBK"};
    case 949: return {"CP949", "UHC"};
    case 950: return {"CP950", "BIG5"};
    case 874: return {"CP874", "TIS-620"};
    default: break;
  }
  if (codePage <= 0) return {};
  return {"CP" + std::to_string(codePage)};
}

std::optional<std::string> IconvCodec::ToUtf8(std::string_view text, int codePage) const {
  if (!Known(codePage)) return std::nullopt;
  if (IsAscii(text)) return std::string(text);
  return Convert(text, codePage, true, OnBadByte::kReplace);
}

bool IconvCodec::Known(int codePage) const {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = known_.find(codePage);
    if (found != known_.end()) return found->second;
  }
  // Two threads asking at once both ask iconv; they get the same answer.
  const bool known = Convert("", codePage, true, OnBadByte::kReplace).has_value();
  const std::lock_guard<std::mutex> lock(mutex_);
  known_[codePage] = known;
  return known;
}

std::optional<std::string> IconvCodec::FromUtf8(std::string_view text, int codePage) const {
  if (!Known(codePage)) return std::nullopt;
  if (IsAscii(text)) return std::string(text);
  return Convert(text, codePage, false, OnBadByte::kFail);
}

}  // namespace tessaly
