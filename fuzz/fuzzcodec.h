#pragma once
// The raw-decoder half of the reader fuzz targets: the input after its first
// byte goes straight into a decoder, which reaches its tables far more often
// than through a valid entry. The first byte picks the method and the size
// the decoder is told to produce; whatever it writes is counted, never kept.

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/codecs/codecio.h"

class TFuzzBytes : public vsk::TCodecSource {
 public:
  TFuzzBytes(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
  vsk::Int32 Read(vsk::Byte* Buffer, vsk::Int32 Count) override {
    const size_t n = std::min(FSize - FPos, static_cast<size_t>(Count));
    std::memcpy(Buffer, FData + FPos, n);
    FPos += n;
    return static_cast<vsk::Int32>(n);
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

class TFuzzDiscard : public vsk::TCodecSink {
 public:
  void Write(const vsk::Byte*, vsk::Int32 Count) override { Total += Count; }
  vsk::Int64 Total = 0;
};

// Calls Decode(source, sink, claimed size, first byte) on the bytes after
// the first; aborts when the decoder wrote more than it was told to or
// Decode finds its own books wrong (returns false). The claimed size is
// 1 + ((first byte >> Drop) << Shift).
template <class DecodeFn>
void FuzzDecoder(const uint8_t* data, size_t size, int Drop, int Shift, DecodeFn Decode) {
  if (size < 1) return;
  const vsk::Int64 unpacked = 1 + (static_cast<vsk::Int64>(data[0] >> Drop) << Shift);
  TFuzzBytes in(data + 1, size - 1);
  TFuzzDiscard out;
  if (!Decode(in, out, unpacked, data[0]) || out.Total > unpacked) abort();
}
