// Arbitrary bytes extracted as a ZOO archive: once in test mode, once into
// a scratch folder that must end up holding everything written. The same
// bytes also go straight into the LZW decoder, which reaches its dictionary
// far more often than through a valid entry.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/formats/zoo/unzoo.h"
#include "archive/formats/zoo/zoolzw.h"
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

// The first byte picks the claimed size; the rest is the packed stream.
void DecodeRaw(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const vsk::Int64 unpacked = 1 + (static_cast<vsk::Int64>(data[0]) << 12);
  TBytes in(data + 1, size - 1);
  TDiscard out;
  vsk::TZooLzwDecoder d;
  d.Decode(in, out, unpacked);
  if (out.Total > unpacked) abort();
}

void Configure(vsk::TUnZoo& u, const std::string& archive) {
  u.SetArchiveFile(archive);
  u.FileSpec = {"*.*"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeRaw(data, size);
  return FuzzReader<vsk::TUnZoo>(data, size, ".zoo", Configure);
}
