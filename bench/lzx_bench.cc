// Decoding speed of the LZX decoder against zlib's raw inflate and libdeflate on the same plain bytes.
//
// The LZX streams come from the small test compressor (window 2^16, blocks of 32 KiB, each window a reset
// point as in a CHM section); the deflate streams compress the same plain bytes at level 9 in independent
// 64 KiB chunks. Throughput is reported in plain bytes per second; "ratio" is compressed / plain size.
// Real-book data can be added with AddCorpus.
//
// The compressor's aligned trees follow the low 3 bits of its offsets: on HTML text they come out uniform
// (every code 3 bits, which the decoder treats as verbatim), on fixed-size records skewed, which takes
// the decoder's aligned-symbol path.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#ifdef TESSALY_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "lzx/lzx_decoder.h"
#include "support/bit_writer.h"

namespace {

constexpr std::size_t kChunk = 65536;

struct Corpus {
  std::string name;
  std::vector<std::uint8_t> plain;
  int windowBits = 16;
  std::vector<std::uint8_t> lzx;
  std::vector<std::size_t> lzxResetOffsets;
  std::vector<std::vector<std::uint8_t>> zlibChunks;
  std::vector<std::vector<std::uint8_t>> deflateChunks;
};

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "lzx_bench: %s\n", message.c_str());
  std::exit(1);
}

std::vector<std::uint8_t> ZlibRawCompress(std::span<const std::uint8_t> chunk) {
  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) Die("deflateInit2");
  std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(chunk.size())));
  stream.next_in = const_cast<Bytef*>(chunk.data());
  stream.avail_in = static_cast<uInt>(chunk.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) Die("deflate");
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::size_t TotalSize(const std::vector<std::vector<std::uint8_t>>& chunks) {
  std::size_t total = 0;
  for (const auto& c : chunks) total += c.size();
  return total;
}

// LZX input of window-size chunk i: from its reset point to the next one.
std::span<const std::uint8_t> LzxChunk(const Corpus& c, std::size_t i) {
  const std::size_t begin = i == 0 ? 0 : c.lzxResetOffsets[i - 1];
  const std::size_t end = i < c.lzxResetOffsets.size() ? c.lzxResetOffsets[i] : c.lzx.size();
  return std::span<const std::uint8_t>(c.lzx).subspan(begin, end - begin);
}

void LzxOneCall(benchmark::State& state, const Corpus* c) {
  tessaly::LzxDecoder decoder;
  std::vector<std::uint8_t> out(c->plain.size());
  for (auto _ : state) {
    if (decoder.Reset(c->windowBits) != tessaly::LzxStatus::Ok) Die("reset");
    if (decoder.Decompress(c->lzx, out) != tessaly::LzxStatus::Ok) Die("lzx decode");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c->plain.size()));
  state.counters["ratio"] = static_cast<double>(c->lzx.size()) / static_cast<double>(c->plain.size());
}

// As the section reader works: a fresh decoder state for each window-size piece.
void LzxPerWindow(benchmark::State& state, const Corpus* c) {
  tessaly::LzxDecoder decoder;
  std::vector<std::uint8_t> out(c->plain.size());
  const std::size_t window = std::size_t{1} << c->windowBits;
  for (auto _ : state) {
    for (std::size_t i = 0, at = 0; at < c->plain.size(); ++i, at += window) {
      const std::size_t n = std::min(window, c->plain.size() - at);
      if (decoder.Reset(c->windowBits) != tessaly::LzxStatus::Ok) Die("reset");
      if (decoder.Decompress(LzxChunk(*c, i), std::span<std::uint8_t>(out).subspan(at, n)) != tessaly::LzxStatus::Ok) {
        Die("lzx decode");
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c->plain.size()));
  state.counters["ratio"] = static_cast<double>(c->lzx.size()) / static_cast<double>(c->plain.size());
}

void ZlibInflate(benchmark::State& state, const Corpus* c) {
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) Die("inflateInit2");
  std::vector<std::uint8_t> out(c->plain.size());
  for (auto _ : state) {
    std::size_t at = 0;
    for (const auto& chunk : c->zlibChunks) {
      inflateReset(&stream);
      const std::size_t n = std::min(kChunk, c->plain.size() - at);
      stream.next_in = const_cast<Bytef*>(chunk.data());
      stream.avail_in = static_cast<uInt>(chunk.size());
      stream.next_out = out.data() + at;
      stream.avail_out = static_cast<uInt>(n);
      if (inflate(&stream, Z_FINISH) != Z_STREAM_END) Die("inflate");
      at += n;
    }
    benchmark::DoNotOptimize(out.data());
  }
  inflateEnd(&stream);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c->plain.size()));
  state.counters["ratio"] = static_cast<double>(TotalSize(c->zlibChunks)) / static_cast<double>(c->plain.size());
}

#ifdef TESSALY_HAVE_LIBDEFLATE
void LibdeflateDecompress(benchmark::State& state, const Corpus* c) {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  std::vector<std::uint8_t> out(c->plain.size());
  for (auto _ : state) {
    std::size_t at = 0;
    for (const auto& chunk : c->deflateChunks) {
      const std::size_t n = std::min(kChunk, c->plain.size() - at);
      if (libdeflate_deflate_decompress(d, chunk.data(), chunk.size(), out.data() + at, n, nullptr) != LIBDEFLATE_SUCCESS) {
        Die("libdeflate");
      }
      at += n;
    }
    benchmark::DoNotOptimize(out.data());
  }
  libdeflate_free_decompressor(d);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c->plain.size()));
  state.counters["ratio"] = static_cast<double>(TotalSize(c->deflateChunks)) / static_cast<double>(c->plain.size());
}
#endif

std::vector<std::unique_ptr<Corpus>>& Corpora() {
  static std::vector<std::unique_ptr<Corpus>> corpora;
  return corpora;
}

// Prepares every stream of `plain`, checks that each decodes back, and registers the benchmarks.
void AddCorpus(const std::string& name, std::vector<std::uint8_t> plain, tessaly::test::LzxBlockType type) {
  auto c = std::make_unique<Corpus>();
  c->name = name;
  c->plain = std::move(plain);
  tessaly::test::LzxCompressOptions options;
  options.windowBits = c->windowBits;
  options.blockType = type;
  tessaly::test::LzxCompressed lzx = tessaly::test::CompressLzx(c->plain, options);
  c->lzx = std::move(lzx.stream);
  c->lzxResetOffsets = std::move(lzx.resetOffsets);
#ifdef TESSALY_HAVE_LIBDEFLATE
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(9);
#endif
  for (std::size_t at = 0; at < c->plain.size(); at += kChunk) {
    const auto chunk = std::span<const std::uint8_t>(c->plain).subspan(at, std::min(kChunk, c->plain.size() - at));
    c->zlibChunks.push_back(ZlibRawCompress(chunk));
#ifdef TESSALY_HAVE_LIBDEFLATE
    std::vector<std::uint8_t> out(libdeflate_deflate_compress_bound(compressor, chunk.size()));
    out.resize(libdeflate_deflate_compress(compressor, chunk.data(), chunk.size(), out.data(), out.size()));
    c->deflateChunks.push_back(std::move(out));
#endif
  }
#ifdef TESSALY_HAVE_LIBDEFLATE
  libdeflate_free_compressor(compressor);
#endif

  tessaly::LzxDecoder decoder;
  std::vector<std::uint8_t> check(c->plain.size());
  if (decoder.Reset(c->windowBits) != tessaly::LzxStatus::Ok || decoder.Decompress(c->lzx, check) != tessaly::LzxStatus::Ok ||
      check != c->plain) {
    Die("LZX stream of " + name + " does not decode back");
  }

  const Corpus* p = c.get();
  benchmark::RegisterBenchmark(("lzx_one_call/" + name).c_str(), LzxOneCall, p);
  benchmark::RegisterBenchmark(("lzx_per_window/" + name).c_str(), LzxPerWindow, p);
  benchmark::RegisterBenchmark(("zlib_inflate/" + name).c_str(), ZlibInflate, p);
#ifdef TESSALY_HAVE_LIBDEFLATE
  benchmark::RegisterBenchmark(("libdeflate/" + name).c_str(), LibdeflateDecompress, p);
#endif
  Corpora().push_back(std::move(c));
}

}  // namespace

// Fixed-size records (an index of 16-byte entries: a running number, a small code, a word): matches
// mostly reach back whole records, so the offsets' low 3 bits are skewed.
std::vector<std::uint8_t> GenerateRecords(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"chapter", "section", "figure", "table", "index", "topic", "page", "note"};
  std::vector<std::uint8_t> plain;
  plain.reserve(size + 16);
  std::uint32_t state = seed;
  for (std::uint32_t n = 0; plain.size() < size; ++n) {
    state = state * 1103515245u + 12345u;
    std::uint8_t record[16] = {};
    for (int i = 0; i < 4; ++i) record[i] = static_cast<std::uint8_t>(n >> (8 * i));
    record[4] = static_cast<std::uint8_t>((state >> 16) % 4);
    const char* word = kWords[(state >> 20) % 8];
    for (int i = 0; word[i] != 0 && i < 11; ++i) record[5 + i] = static_cast<std::uint8_t>(word[i]);
    plain.insert(plain.end(), record, record + 16);
  }
  plain.resize(size);
  return plain;
}

int main(int argc, char** argv) {
  constexpr std::size_t kSize = 4 << 20;
  AddCorpus("html_verbatim", tessaly::test::GenerateHtmlText(kSize, 1), tessaly::test::LzxBlockType::Verbatim);
  AddCorpus("html_aligned", tessaly::test::GenerateHtmlText(kSize, 2), tessaly::test::LzxBlockType::Aligned);
  AddCorpus("records_aligned", GenerateRecords(kSize, 3), tessaly::test::LzxBlockType::Aligned);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
