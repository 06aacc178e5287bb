// How much of a book's text the window shows at most, and where.
#pragma once

#include <cstddef>

namespace tessaly::app {

inline constexpr std::size_t kMaxTitleChars = 200;
inline constexpr std::size_t kMaxTreeTextChars = 101;
inline constexpr std::size_t kMaxListTextChars = 100;
inline constexpr std::size_t kMaxEditChars = 99;
inline constexpr std::size_t kMaxQueryBytes = 100;
inline constexpr std::size_t kMaxLinkBytes = 255;
inline constexpr std::size_t kMaxNoticeLines = 10;  // messages in the notice above a page

}  // namespace tessaly::app
