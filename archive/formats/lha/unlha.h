#pragma once
// Extracting and testing LHA/LZH archives (also inside self-extractors):
// headers of levels 0, 1 and 2; methods -lh0- (stored), -lh1- (adaptive
// Huffman), -lh4- to -lh7- (static Huffman) and -lhd- (folders); CRC-16.

#include <memory>
#include <vector>

#include "archive/core/unbase.h"
#include "archive/formats/lha/lh1decode.h"
#include "archive/formats/lha/lhaheader.h"
#include "archive/codecs/lzhdecode.h"

namespace vsk {

class TUnLha : public TUnBase {
 public:
  TUnLha();
  ~TUnLha() override;

 protected:
  void ExtractArchive() override;
  // Whatever the detected type, the archive is read through the run driver.
  bool OpensOwnArchive() const override { return false; }

 private:
  struct TItem {
    TLhaHeader Header;
    std::string Name;        // in our form: translated, "/" between folders
    UInt32 DosDateTime = 0;  // local
    // A symbolic link's target (its name is the part before the "|").
    bool Link = false;
    std::string LinkTarget;
  };

  // Reads the header at Offset into H; Got is 0 at the end of the file.
  TLhaStatus ReadHeader(Int64 Offset, TLhaHeader& H, Int32& Got);
  void Scan();
  void ExtractItem(const TItem& Item);
  // Decodes the entry's data into Handle by its method letter.
  void Decode(const TItem& Item, int Handle);

  std::vector<TItem> FItems;
  // Made when an entry first needs them and freed at the end of the run.
  std::unique_ptr<TLzhDecoder> FLzh;
  std::unique_ptr<TLh1Decoder> FLh1;
};

}  // namespace vsk
