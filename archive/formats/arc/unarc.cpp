#include "archive/formats/arc/unarc.h"

#include <algorithm>

#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "archive/core/storedcopy.h"
#include "archive/formats/arc/arccrunch.h"
#include "archive/formats/arc/arcio.h"
#include "archive/formats/arc/arclzw.h"
#include "archive/formats/arc/arcsqueeze.h"
#include "archive/codecs/codecio.h"

namespace vsk {

namespace {

constexpr Byte kStoredOld = 1;
constexpr Byte kStored = 2;
constexpr Byte kPacked = 3;
constexpr Byte kSqueezed = 4;
constexpr Byte kCrunched = 5;
constexpr Byte kCrunchedPacked = 6;
constexpr Byte kCrunchedNewHash = 7;
constexpr Byte kCrunchedDynamic = 8;
constexpr Byte kSquashed = 9;

constexpr int kIncorrectNumberOfBits = 25134;
constexpr int kInvalidDecodeTree = 25152;

// Written files carry no attributes of their own: the plain archive bit.
constexpr UInt32 kPlainAttributes = 0x20;

bool Supported(Byte Method) { return Method >= kStoredOld && Method <= kSquashed; }

}  // namespace

TUnArc::TUnArc() = default;

TUnArc::~TUnArc() = default;

void TUnArc::Scan() {
  Int64 pos = ArcOffset;
  while (!GetCancel()) {
    Byte raw[TArcHeader::Size] = {};
    Int32 got = 0;
    if (ArchiveStream->Seek(pos, soBeginning) == pos) got = ArchiveStream->Read(raw, static_cast<Int32>(sizeof raw));
    if (got < 0) got = 0;
    TItem item;
    if (!TArcHeader::Parse(raw, static_cast<std::size_t>(got), FPak, item.Header)) {
      // The end marker, or anything that is not a header, ends the walk; a
      // header cut short is a damaged archive.
      if (TArcHeader::IsEntry(raw, static_cast<std::size_t>(got)))
        ReportError(ArchiveFile(), msg::BadFileHeader);
      break;
    }
    const TArcHeader& h = item.Header;
    item.Offset = pos;
    // Always forward: every header is at least 25 bytes.
    pos = h.NextOffset(pos);
    if (h.IsDirectory()) continue;
    item.Name = OemToAnsiName(h.Name, TranslateOemChar);
    if (!IsEntrySelected(item.Name, FileSpec, ExcludeSpec, RecurseDirs)) continue;
    NewestEntryDate = std::max(NewestEntryDate, h.DosDateTime());
    PackedTotal += static_cast<double>(h.PackedSize);
    UnpackedTotal += static_cast<double>(h.UnpackedSize);
    FItems.push_back(std::move(item));
  }
}

void TUnArc::ExtractArchive() {
  FPak = ArcType() == atPak || ArcType() == atPakExe;
  ExtractListed(
      FItems, [this] { Scan(); }, [this](const TItem& Item) { ExtractItem(Item); },
      [this] {
        FSqueeze.reset();
        FCrunch.reset();
        FLzw.reset();
      });
}

void TUnArc::ExtractItem(const TItem& Item) {
  const TArcHeader& h = Item.Header;
  TEntryInfo info;
  info.Name = Item.Name;
  info.UnpackedSize = h.UnpackedSize;
  info.DosDateTime = h.DosDateTime();
  info.MethodSupported = Supported(h.Method);
  ProgressEntryTotal = h.UnpackedSize;
  TReaderEntry entry = StartEntry(info);
  if (!entry) return;

  int handle = -1;
  if (!entry.Open(handle)) {
    SkipEntryData(h.UnpackedSize);
    return;
  }
  Crc->Reset();
  ResetTranslation();
  bool exact = false;
  DecodeEntry(handle, [&] { exact = Decode(Item, handle); });
  entry.Close(handle, h.DosDateTime(), kPlainAttributes);
  entry.End(exact && entry.Matches(kCrc16, h.Crc16));
}

bool TUnArc::Decode(const TItem& Item, int Handle) {
  const TArcHeader& h = Item.Header;
  const Int64 unpacked = h.UnpackedSize;
  const Int64 at = Item.Offset + static_cast<Int64>(h.HeaderSize);
  if (ArchiveStream->Seek(at, soBeginning) != at) return unpacked == 0 && h.PackedSize == 0;
  if (h.Method == kStoredOld || h.Method == kStored) {
    // More than the entry's size is never written.
    TStoredInfo info;
    info.StoredSize = std::min<Int64>(h.PackedSize, unpacked);
    const Int64 missing = CopyStoredData(*this, -1, Handle, info, kCrc16, ArchiveStream.get());
    return missing == 0 && info.StoredSize == unpacked;
  }
  TReaderSink sink(*this, Handle, kCrc16);
  return DecodeStream(Item, sink) && sink.Written() == unpacked;
}

bool TUnArc::DecodeStream(const TItem& Item, TCodecSink& Sink) {
  const TArcHeader& h = Item.Header;
  TReaderSource source(*this, ArchiveStream.get(), h.PackedSize);
  TArcInput in(source);
  const bool expand = h.Method != kCrunched && h.Method != kSquashed;
  TArcOutput out(Sink, h.UnpackedSize, expand, CancelRef());
  TArcResult result = TArcResult::Ok;
  switch (h.Method) {
    case kPacked:
      for (int b = in.Get(); b >= 0 && !out.Stop(); b = in.Get()) out.Put(static_cast<Byte>(b));
      break;
    case kSqueezed:
      if (!FSqueeze) FSqueeze = std::make_unique<TArcSqueezeDecoder>();
      result = FSqueeze->Decode(in, out);
      break;
    case kCrunched:
    case kCrunchedPacked:
    case kCrunchedNewHash:
      if (!FCrunch) FCrunch = std::make_unique<TArcCrunchDecoder>();
      result = FCrunch->Decode(in, out, h.Method == kCrunchedNewHash);
      break;
    default:
      if (!FLzw) FLzw = std::make_unique<TArcLzwDecoder>();
      result = h.Method == kCrunchedDynamic ? FLzw->Decode(in, out, 12, true) : FLzw->Decode(in, out, 13, false);
      break;
  }
  out.Flush();
  if (result == TArcResult::BadTree) ReportError(OutputName, kInvalidDecodeTree);
  if (result == TArcResult::StackOverflow) ReportError(OutputName, msg::StackOverflow);
  if (result == TArcResult::BadBits) ReportError(OutputName, kIncorrectNumberOfBits);
  return result == TArcResult::Ok && !out.Overrun() && !out.Cancelled();
}

}  // namespace vsk
