// Arbitrary bytes through the shrink, reduce and implode decoders. The
// first byte picks the decoder and its parameters, the next two the
// unpacked size (in 16-byte units, so runs stay short); the rest is the
// compressed data, served in pieces of varying size.

#include <algorithm>
#include <cstdint>

#include "archive/formats/zip/legacy.h"

namespace {

class Source : public vsk::TLegacySource {
 public:
  Source(const uint8_t* data, size_t size, int piece) : data_(data), size_(size), piece_(piece) {}
  vsk::Int32 Read(vsk::Byte* buffer, vsk::Int32 count) override {
    const size_t n = std::min({static_cast<size_t>(count), static_cast<size_t>(piece_), size_ - pos_});
    std::copy_n(data_ + pos_, n, buffer);
    pos_ += n;
    return static_cast<vsk::Int32>(n);
  }

 private:
  const uint8_t* data_;
  size_t size_, pos_ = 0;
  int piece_;
};

class Sink : public vsk::TLegacySink {
 public:
  void Write(const vsk::Byte* buffer, vsk::Int32 count) override {
    for (vsk::Int32 i = 0; i < count; ++i) sum_ += buffer[i];
  }

 private:
  unsigned sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const unsigned pick = data[0];
  const vsk::Int64 unpacked = static_cast<vsk::Int64>(data[1] | (data[2] << 8)) * 16;
  static const int kPieces[] = {32768, 1, 7, 4096};
  Source in(data + 3, size - 3, kPieces[(pick >> 4) & 3]);
  Sink out;
  switch (pick % 3) {
    case 0:
      vsk::Unshrink(in, out, unpacked, nullptr);
      break;
    case 1:
      vsk::Unreduce(in, out, 1 + static_cast<int>((pick >> 2) & 3), unpacked, nullptr);
      break;
    default:
      vsk::Explode(in, out, static_cast<vsk::UInt16>(pick & 6), unpacked, nullptr);
      break;
  }
  return 0;
}
