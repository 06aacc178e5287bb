#include "app/display_text.h"

#include "app/utf8.h"

namespace tessaly::app {

std::string DisplayText(const TextCodec& codec, std::string_view text, std::size_t maxChars, int codePage) {
  text = text.substr(0, text.find('\0'));
  std::optional<std::string> converted = codec.ToUtf8(text, codePage);
  if (!converted) converted = codec.ToUtf8(text, 1252);
  if (!converted) converted = AsciiOrReplacement(text);
  return CutToChars(*converted, maxChars);
}

std::string MessageText(const TextCodec& codec, std::string_view message, int codePage) {
  if (IsUtf8(message)) return std::string(message);
  return DisplayText(codec, message, message.size(), codePage);
}

}  // namespace tessaly::app
