// The scripts written without spaces between words (Chinese, Japanese,
// Korean), whose characters the page-text index takes one at a time.
#pragma once

namespace tessaly::textindex {

// Han ideographs, kana and Hangul.
bool IsCjk(char32_t c);

}  // namespace tessaly::textindex
