#include "container/decoder_pool.h"

namespace tessaly {

std::unique_ptr<LzxDecoder> DecoderPool::Take() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<LzxDecoder> decoder = std::move(idle_.back());
      idle_.pop_back();
      return decoder;
    }
  }
  return std::make_unique<LzxDecoder>();
}

void DecoderPool::Return(std::unique_ptr<LzxDecoder> decoder) {
  if (!decoder) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  try {
    idle_.push_back(std::move(decoder));
  } catch (...) {
    // Without room to keep it, the decoder is simply dropped.
  }
}

}  // namespace tessaly
