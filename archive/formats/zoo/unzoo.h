#pragma once
// Extracting and testing ZOO archives: the chain of directory entries from
// the archive header, long names and folders of the entries' variable part,
// methods 0 (stored), 1 (13-bit LZW) and 2 (static Huffman, 8 KiB
// dictionary); CRC-16. Entries flagged as deleted stay in the archive but
// are not extracted.

#include <memory>
#include <string>
#include <vector>

#include "archive/core/unbase.h"
#include "archive/codecs/lzhdecode.h"
#include "archive/formats/zoo/zooheader.h"
#include "archive/formats/zoo/zoolzw.h"

namespace vsk {

class TUnZoo : public TUnBase {
 public:
  TUnZoo();
  ~TUnZoo() override;

 protected:
  void ExtractArchive() override;
  // Whatever the detected type, the archive is read through the run driver.
  bool OpensOwnArchive() const override { return false; }

 private:
  struct TItem {
    TZooEntry Entry;
    std::string Name;  // in our form: translated, "/" between folders
  };

  // Reads the directory entry at Offset with its long name and folder;
  // false when it is cut short or lacks the entry tag.
  // Reads the directory entry at Offset with its long name and folder;
  // false when it is cut short or lacks the entry tag.
  bool ReadEntry(Int64 Offset, TZooEntry& Entry);
  void Scan();
  void ExtractItem(const TItem& Item);
  // Decodes the entry's data into Handle; true when exactly the entry's
  // size came out of an intact stream.
  bool Decode(const TItem& Item, int Handle);

  std::vector<TItem> FItems;
  // Made when an entry first needs them and freed at the end of the run.
  std::unique_ptr<TLzhDecoder> FLzh;
  std::unique_ptr<TZooLzwDecoder> FLzw;
};

}  // namespace vsk
