#include "textindex/cjk.h"

namespace tessaly::textindex {

bool IsCjk(char32_t c) {
  if (c < 0x1100) return false;
  return (c >= 0x1100 && c <= 0x11FF) ||    // Hangul Jamo
         (c >= 0x3005 && c <= 0x3007) ||    // iteration mark, closing mark, ideographic zero
         (c >= 0x3040 && c <= 0x30FF) ||    // Hiragana, Katakana (with the prolonged sound mark)
         (c >= 0x3130 && c <= 0x318F) ||    // Hangul compatibility Jamo
         (c >= 0x31F0 && c <= 0x31FF) ||    // Katakana phonetic extensions
         (c >= 0x3400 && c <= 0x4DBF) ||    // Han extension A
         (c >= 0x4E00 && c <= 0x9FFF) ||    // Han
         (c >= 0xAC00 && c <= 0xD7AF) ||    // Hangul syllables
         (c >= 0xF900 && c <= 0xFAFF) ||    // Han compatibility
         (c >= 0xFF66 && c <= 0xFF9F) ||    // half-width Katakana
         (c >= 0x20000 && c <= 0x3FFFF);    // Han extensions B and later
}

}  // namespace tessaly::textindex
