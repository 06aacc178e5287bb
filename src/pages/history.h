// History: the in-book paths of the pages shown for the current book, for
// Back and Forward.
//
// The paths live in one string list (NUL-terminated texts back to back,
// oldest first) in a ByteBuffer of 200 bytes that grows by 50. `position` is
// the 1-based number of the entry on screen (0 when empty); pushing drops
// every entry after it. The `navigating` flag is set by the page view while
// it re-shows a page from the history (or for the images switch), so that
// page preparation does not push that page again.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/byte_buffer.h"

namespace tessaly {

class History {
 public:
  static constexpr std::size_t kCapacity = 200;
  static constexpr std::size_t kGrowBy = 50;

  History();

  // Empties the list; count, position and navigating become 0.
  void HistoryClear();

  // Adds the path after the current entry, dropping every entry after it.
  // The path ends at its first NUL, if it holds one.
  void HistoryPush(std::string_view path);

  // Moves to the earlier entry; nothing changes on the first entry (or when
  // the history is empty).
  void HistoryBack();

  // Moves to the later entry; nothing changes on the last one.
  void HistoryForward();

  // The path of the current entry, exactly as pushed; empty when the history
  // is empty. Valid until the next push or clear.
  std::string_view HistoryCurrent() const;

  std::int32_t Count() const { return count_; }
  std::int32_t Position() const { return position_; }
  bool Navigating() const { return navigating_; }
  void SetNavigating(bool navigating) { navigating_ = navigating; }
  const ByteBuffer& Entries() const { return entries_; }

 private:
  // Offset in entries_ just after the first n strings (the used length when
  // there are fewer).
  std::size_t OffsetAfter(std::int32_t n) const;

  ByteBuffer entries_;
  std::int32_t count_ = 0;
  std::int32_t position_ = 0;
  bool navigating_ = false;
};

}  // namespace tessaly
