#pragma once
// Extracting and testing ARJ archives (also inside self-extractors):
// methods 0 (stored), 1-3 (static Huffman) and 4 (fastest), garbled
// (password) entries, folders, and volume sets whose files go on from one
// volume into the next; CRC-32 per entry and per file part.

#include <memory>
#include <string>
#include <vector>

#include "archive/core/unbase.h"
#include "archive/formats/arj/arjfast.h"
#include "archive/formats/arj/arjgarble.h"
#include "archive/formats/arj/arjheader.h"
#include "archive/codecs/lzhdecode.h"

namespace vsk {

// Messages of the ARJ reader.
inline constexpr int kArjVersionError = 25402;
// Attempts at a garbled entry's password are capped at this many.
inline constexpr int kArjMaxPasswordAttempts = 10;

class TUnArj : public TUnBase {
 public:
  TUnArj();
  ~TUnArj() override;

 protected:
  void ExtractArchive() override;
  // Whatever the detected type, the archive is read through the run driver.
  bool OpensOwnArchive() const override { return false; }
  // Garbled data, read with Decode set, are ungarbled with the entry's key.
  void DecodeBlock(bool Decode, void* Buffer, Int32 Count) override;

 private:
  struct TItem {
    TArjHeader Header;
    Int64 Offset = 0;        // of the header
    Int64 DataOffset = 0;    // of the packed data
    std::string Name;        // translated, as stored otherwise
    UInt32 DosDateTime = 0;  // local
    // Where this part starts in the whole file (parts after the first).
    UInt32 PartOffset = 0;
    // The rest of a file whose earlier part was written from the volume
    // before this one.
    bool Continuation = false;
  };

  // A file that goes on in the next volume: where its parts went so far.
  struct TSpan {
    bool Active = false;
    std::string EntryName;
    std::string OutputName;
    Int64 Written = 0;  // bytes of all parts so far
  };

  enum class TPass : Byte { Passed, Failed, NotOpened };

  // Reads and parses the whole header at Pos; false for the end marker
  // (End set), a damaged header or the end of the file.
  bool ReadHeader(Int64 Pos, TItem& Item, bool& End);
  // Lists this volume's entries from Offset; returns the flags of the last
  // header read.
  Byte Scan(Int64 Offset, bool FirstVolume);
  void ExtractItem(const TItem& Item);
  // One pass over a file entry's data into its output, with the verdict.
  TPass ExtractData(const TItem& Item, const TSpan& Span, TReaderEntry& Entry);
  void Decode(const TItem& Item, int Handle);
  bool NextVolume(std::string& VolumeName);
  // Counts every later volume of the set that exists as part of the
  // archive: no entry may replace one before it is read.
  void NoteSetVolumes();

  std::vector<TItem> FItems;
  TSpan FSpan;
  // The entry of a file split over volumes, held between its parts.
  TReaderEntry FSplit;
  // The main header of the volume scanned last marks a volume set.
  bool FMultiVolume = false;
  // The key of the garbled entry in work.
  TArjGarble FGarble;
  std::vector<Byte> FHeaderBuffer;
  std::unique_ptr<TLzhDecoder> FLzh;
  std::unique_ptr<TArjFastDecoder> FFast;
};

}  // namespace vsk
