// Arbitrary bytes extracted as an LHA archive: once in test mode, once into
// a scratch folder that must end up holding everything written. The same
// bytes also go straight into each LZ decoder, which reaches their tables
// far more often than through a valid header.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/formats/lha/lh1decode.h"
#include "archive/formats/lha/lzhdecode.h"
#include "archive/formats/lha/unlha.h"
#include "fuzz/fuzzfile.h"

namespace {

class TBytes : public vsk::TCodecSource {
 public:
  TBytes(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
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

class TDiscard : public vsk::TCodecSink {
 public:
  void Write(const vsk::Byte*, vsk::Int32 Count) override { Total += Count; }
  vsk::Int64 Total = 0;
};

// The first byte picks the method shape and the claimed size; the rest is
// the packed stream.
void DecodeRaw(const uint8_t* data, size_t size) {
  if (size < 1) return;
  static const vsk::TLzhSettings shapes[] = {vsk::kLzhLh4, vsk::kLzhLh5, vsk::kLzhLh6,
                                             vsk::kLzhLh7, {16, 5, 0},   {13, 4, 0}};
  const uint8_t pick = data[0];
  const vsk::Int64 unpacked = 1 + (static_cast<vsk::Int64>(pick) << 12);
  TBytes in(data + 1, size - 1);
  TDiscard out;
  if (pick % 7 == 6) {
    vsk::TLh1Decoder d;
    d.Decode(in, out, unpacked);
  } else {
    vsk::TLzhDecoder d;
    d.Init(shapes[pick % 7]);
    d.Decode(in, out, unpacked);
  }
  if (out.Total > unpacked) abort();
}

void Configure(vsk::TUnLha& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
  u.CreateStoredDirs = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeRaw(data, size);
  return FuzzReader<vsk::TUnLha>(data, size, ".lzh", Configure);
}
