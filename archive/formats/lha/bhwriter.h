#pragma once
// Creating and changing BH archives: add, refresh, move, delete and
// renaming kept entries.
//
// With cmFuse each file is compressed with the LZH encoder (method 3, a
// 16 KiB window read back by the 15-bit-dictionary decoder) and stored
// (method 0) when that does not make it smaller; with cmDeflate the writer
// base deflates it (method 8) or stores it. A password enciphers every
// non-empty file with the traditional zip cipher behind a 12-byte header.
// Names are stored with "\" between folders and hold at most 255 bytes
// (longer ones are not listed by readers, so such a file is refused). Kept
// entries are copied byte for byte; a renamed one gets a new header and its
// packed data unchanged. An old archive that cannot be walked to its end is
// not changed at all: a header without the signature before the end of the
// file stops the run, so a file of another kind at the target is kept.

#include <string>

#include "archive/formats/lha/lzhwriter.h"
#include "archive/formats/lha/bhheader.h"

namespace vsk {

inline constexpr std::size_t kBhMaxName = 255;

class TBlakHole : public TLzhFamilyWriter {
 public:
  TBlakHole();

  // Always atBh.
  void SetArcType(TArcType Value) override;

 protected:
  TFormatTraits Traits() const override;
  bool WriteEntryData(TCompEntry& E) override;
  void FinishEntry(TCompEntry& E) override;
  TOldHeader ReadOldEntry(Int64 Pos, TCompEntry& E) override;
  bool SoundEnd(Int64 At) override;
  bool CopyOldEntry(TCompEntry& E) override;
  bool FinishArchive() override;
  void DescribeEntry(const TCompEntry& E) override;
  // Entry data are enciphered with the traditional zip cipher.
  void EncodeBlock(void* Buffer, Int32 Count) override {
    Crypt->EncryptZipBuffer(Buffer, static_cast<std::size_t>(Count));
  }

 private:
  std::string EncodeEntryName(const TCompEntry& E) const;
  void StartLocalHeader(TCompEntry& E);
  void CompleteLocalHeader(TCompEntry& E, const TEntryResult& R);
  // Writes the header in work and the entry's name at the output position.
  void WriteLocalHeader(TCompEntry& E);
  void MakeCentralRecord(TCompEntry& E);
  // Fills the header's sizes, CRC, method and flags for the method word.
  void Complete(TCompEntry& E, UInt16 MethodWord, bool Encrypt, UInt32 Crc, UInt32 Unpacked, UInt32 Packed);
  bool CompressFused(TCompEntry& E);
  bool StoreFile(TCompEntry& E, TStream32& Src, Int64 Size, bool Encrypt, UInt32& Crc);
  bool ReadOldHeader(Int64 Offset, TBhHeader& H);
  Byte DeflateOptionBits() const;

  Byte FHead[kBhFixedSize] = {};  // the header of the entry in work
  std::vector<Byte> FCopyBuffer;
};

}  // namespace vsk
