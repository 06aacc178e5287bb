// Reader::WorkScope: marks a stretch of synchronous work (opening a book,
// building the index, preparing or running a search). Input that a platform
// delivers meanwhile (while it paints the progress dialog, say) is ignored,
// and a close asked for meanwhile runs once the outermost work has ended.
#pragma once

#include "app/reader.h"

namespace tessaly::app {

class Reader::WorkScope {
 public:
  explicit WorkScope(Reader& reader) : reader_(reader) { ++reader_.working_; }
  ~WorkScope() {
    if (--reader_.working_ == 0 && reader_.closePending_) {
      reader_.closePending_ = false;
      reader_.OnClose();
    }
  }
  WorkScope(const WorkScope&) = delete;
  WorkScope& operator=(const WorkScope&) = delete;

 private:
  Reader& reader_;
};

}  // namespace tessaly::app
