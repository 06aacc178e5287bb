// Words to search a fuzzed full-text index for: the first runs of ASCII
// letters in its bytes. The first word of every leaf is stored whole, so a
// real index yields words it holds and searches reach its document lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline std::vector<std::string> IndexWords(std::span<const std::uint8_t> data, std::size_t most) {
  std::vector<std::string> words;
  std::string run;
  for (std::size_t at = 0; at <= data.size() && words.size() < most; ++at) {
    const char c = at < data.size() ? static_cast<char>(data[at]) : '\0';
    if (c >= 'a' && c <= 'z') {
      run += c;
      continue;
    }
    if (run.size() >= 2 && run.size() <= 40) words.push_back(run);
    run.clear();
  }
  return words;
}
