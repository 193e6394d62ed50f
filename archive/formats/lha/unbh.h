#pragma once
// Extracting and testing BH archives (also inside self-extractors): stored,
// LZH-coded (13 and 15 dictionary bits) and deflated entries, optionally
// enciphered with the traditional zip cipher; CRC-32.

#include <memory>
#include <vector>

#include "archive/core/unbase.h"
#include "archive/formats/lha/bhheader.h"
#include "archive/codecs/lzhdecode.h"

namespace vsk {

class TUnBh : public TUnBase {
 public:
  TUnBh();
  ~TUnBh() override;

 protected:
  void ExtractArchive() override;
  bool CheckPassword(const Byte* Header) override;
  // Enciphered data, read with Decode set, are deciphered with the
  // traditional zip cipher under the entry's keys.
  void DecodeBlock(bool Decode, void* Buffer, Int32 Count) override;
  // Whatever the detected type, the archive is read through the run driver.
  bool OpensOwnArchive() const override { return false; }

 private:
  struct TItem {
    TBhHeader Header;
    std::string Name;  // in our form: translated, "/" between folders
  };

  // Reads the header at Offset into H; Got is the number of fixed bytes read.
  TBhStatus ReadHeader(Int64 Offset, TBhHeader& H, Int32& Got);
  void Scan();
  void ExtractItem(const TItem& Item);
  // Entries of writers before version 3 carry no 12-byte cipher header: the
  // password cannot be checked, only taken.
  bool TakeUncheckedPassword();
  // Decodes Size packed bytes at the current archive position into Handle.
  void Decode(Byte Method, int Handle, Int64 Size, Int64 Unpacked, bool Decipher);
  void Inflate(int Handle, Int64 Size, Int64 Unpacked, bool Decipher);

  std::vector<TItem> FItems;
  // Made when an entry first needs it and freed at the end of the run.
  std::unique_ptr<TLzhDecoder> FLzh;
  // The entry in work, for the password check.
  Byte FEntryFlags = 0;
  UInt32 FEntryCrc = 0;
  UInt32 FEntryDosDateTime = 0;
};

}  // namespace vsk
