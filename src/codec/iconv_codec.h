// Book text between Windows code pages and UTF-8 through the C library's
// iconv. The reader's platforms hand it out as their TextCodec, and the
// command-line tool converts with it. One codec may serve several threads.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/text_codec.h"

namespace tessaly {

class IconvCodec : public TextCodec {
 public:
  // Bytes that do not belong to the code page become U+FFFD; nullopt only
  // when iconv knows no name for the code page.
  std::optional<std::string> ToUtf8(std::string_view text, int codePage) const override;
  // nullopt when the code page is unknown or lacks a character of the text
  // (or the text is not UTF-8).
  std::optional<std::string> FromUtf8(std::string_view text, int codePage) const override;

  // iconv names for a Windows code page, the preferred first.
  static std::vector<std::string> NamesFor(int codePage);

 private:
  bool Known(int codePage) const;
  mutable std::mutex mutex_;           // guards known_
  mutable std::map<int, bool> known_;  // code page -> iconv has it
};

}  // namespace tessaly
