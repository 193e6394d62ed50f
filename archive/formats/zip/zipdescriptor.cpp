#include "archive/formats/zip/zipdescriptor.h"

#include <vector>

#include "archive/core/zipcrypt.h"

namespace vsk {

bool FindDataDescriptor(TStream32& Stream, Int64 DataStart, Int64 Limit, TZipDataDescriptor& Descriptor,
                        Int64& Next) {
  constexpr Int32 kBlock = 65536;
  constexpr Int32 kOverlap = 20;  // a descriptor and the next signature
  std::vector<Byte> buf(static_cast<std::size_t>(kBlock + kOverlap));
  for (Int64 base = DataStart; base < Limit; base += kBlock) {
    const Int64 want = std::min<Int64>(kBlock + kOverlap, Limit - base);
    if (Stream.Seek(base, soBeginning) != base) return false;
    const Int32 got = Stream.Read(buf.data(), static_cast<Int32>(want));
    if (got <= 0) return false;
    const Int32 scan = std::min<Int32>(got, kBlock);
    for (Int32 i = 0; i < scan; ++i) {
      if (buf[static_cast<std::size_t>(i)] != 'P' && i + 16 > got) continue;
      const Int64 at = base + i;
      const Byte* p = buf.data() + i;
      if (i + 16 <= got && GetLE32(p) == kZipDescriptorSignature && GetLE32(p + 8) == at - DataStart) {
        Descriptor = TZipDataDescriptor::Parse(p);
        Next = at + 16;
        return true;
      }
      // The bare form: CRC, sizes, then the next record's signature.
      if (i + 16 <= got && GetLE32(p + 4) == at - DataStart && IsRecordSignature(GetLE32(p + 12))) {
        Descriptor.Signature = 0;
        Descriptor.Crc32 = GetLE32(p);
        Descriptor.PackedSize = GetLE32(p + 4);
        Descriptor.UnpackedSize = GetLE32(p + 8);
        Next = at + 12;
        return true;
      }
    }
  }
  return false;
}

}  // namespace vsk
