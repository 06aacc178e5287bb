// LZX decoders for reads that run at the same time: a read leases one, uses
// it for its intervals and hands it back, so concurrent reads never share
// decoder state and a busy reader does not set up tables and windows anew
// for every read. The pool keeps as many decoders as reads ever ran at once.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "lzx/lzx_decoder.h"

namespace tessaly {

class DecoderPool {
 public:
  class Lease {
   public:
    // An idle decoder of the pool, or a new one (std::bad_alloc when none
    // can be made).
    explicit Lease(DecoderPool& pool) : pool_(pool), decoder_(pool.Take()) {}
    ~Lease() { pool_.Return(std::move(decoder_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    LzxDecoder& operator*() const { return *decoder_; }
    LzxDecoder* operator->() const { return decoder_.get(); }

   private:
    DecoderPool& pool_;
    std::unique_ptr<LzxDecoder> decoder_;
  };

 private:
  std::unique_ptr<LzxDecoder> Take();
  void Return(std::unique_ptr<LzxDecoder> decoder);

  std::mutex mutex_;
  std::vector<std::unique_ptr<LzxDecoder>> idle_;
};

}  // namespace tessaly
