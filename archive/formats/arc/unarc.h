#pragma once
// Extracting and testing ARC and PAK archives: entries stored (methods 1
// and 2), run-length packed (3), squeezed (4), crunched with a hashed
// 12-bit table (5 to 7), crunched and squashed with dynamic LZW (8 and 9);
// CRC-16. PAK's own methods and any other are refused entry by entry.
// Directory entries are walked over and not extracted.

#include <memory>
#include <string>
#include <vector>

#include "archive/core/unbase.h"
#include "archive/formats/arc/archeader.h"

namespace vsk {

class TArcSqueezeDecoder;
class TArcCrunchDecoder;
class TArcLzwDecoder;
class TCodecSink;

class TUnArc : public TUnBase {
 public:
  TUnArc();
  ~TUnArc() override;

 protected:
  void ExtractArchive() override;
  // Whatever the detected type, the archive is read through the run driver.
  bool OpensOwnArchive() const override { return false; }

 private:
  struct TItem {
    TArcHeader Header;
    Int64 Offset = 0;  // of the header
    std::string Name;  // translated, in our form
  };

  void Scan();
  void ExtractItem(const TItem& Item);
  // Decodes the entry's data into Handle; true when exactly the entry's
  // size came out of a stream that ended soundly.
  bool Decode(const TItem& Item, int Handle);
  bool DecodeStream(const TItem& Item, TCodecSink& Sink);

  std::vector<TItem> FItems;
  bool FPak = false;
  // Made when an entry first needs them and freed at the end of the run.
  std::unique_ptr<TArcSqueezeDecoder> FSqueeze;
  std::unique_ptr<TArcCrunchDecoder> FCrunch;
  std::unique_ptr<TArcLzwDecoder> FLzw;
};

}  // namespace vsk
