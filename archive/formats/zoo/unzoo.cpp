#include "archive/formats/zoo/unzoo.h"

#include <algorithm>

#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "archive/core/storedcopy.h"
#include "archive/codecs/codecio.h"

namespace vsk {

namespace {

constexpr Byte kStored = 0;
constexpr Byte kLzw = 1;
constexpr Byte kLzh = 2;

// Method 2: 8 KiB dictionary, 4-bit position-code count, plain input.
constexpr TLzhSettings kZooLzh{13, 4, 0};

// Written files carry no attributes of their own: the plain archive bit.
constexpr UInt32 kPlainAttributes = 0x20;

}  // namespace

TUnZoo::TUnZoo() = default;

TUnZoo::~TUnZoo() = default;

bool TUnZoo::ReadEntry(Int64 Offset, TZooEntry& Entry) {
  const auto read = [this](Int64 Pos, Byte* Buffer, Int32 Count) -> Int32 {
    if (Count <= 0 || ArchiveStream->Seek(Pos, soBeginning) != Pos) return 0;
    const Int32 n = ArchiveStream->Read(Buffer, Count);
    return n < 0 ? 0 : n;
  };
  Byte fixed[TZooEntry::Size] = {};
  if (read(Offset, fixed, static_cast<Int32>(TZooEntry::Size)) != static_cast<Int32>(TZooEntry::Size)) return false;
  if (!TZooEntry::Parse(fixed, TZooEntry::Size, Entry) || !Entry.HasTag()) return false;
  // At most 510 bytes: two sizes of one byte each.
  const std::size_t names = Entry.VariableNamesSize();
  if (names > 0) {
    Byte text[2 * 255] = {};
    const Int32 got = read(Offset + static_cast<Int64>(TZooEntry::Size), text, static_cast<Int32>(names));
    if (got != static_cast<Int32>(names)) return false;
    Entry.TakeVariableNames(text, names);
  }
  return true;
}

void TUnZoo::Scan() {
  Byte raw[TZooArchiveHeader::Size] = {};
  if (ArchiveStream->Seek(0, soBeginning) != 0) return;
  const Int32 got = ArchiveStream->Read(raw, static_cast<Int32>(sizeof raw));
  TZooArchiveHeader header;
  if (got != static_cast<Int32>(sizeof raw) || !TZooArchiveHeader::Parse(raw, sizeof raw, header) ||
      !header.Consistent())
    return;

  Int64 pos = header.FirstEntry;
  // Entries follow each other: a link back (or to itself) is a damaged
  // chain, and refusing it keeps the walk finite.
  Int64 last = -1;
  while (!GetCancel()) {
    TItem item;
    if (pos <= last || !ReadEntry(pos, item.Entry)) {
      // Damaged or cut off: the entries before it are still extracted.
      ReportError(ArchiveFile(), msg::BadFileHeader);
      break;
    }
    const TZooEntry& e = item.Entry;
    if (e.IsTerminator()) break;
    last = pos;
    pos = e.NextEntry;
    // A deleted entry keeps its place until the archive is packed; what it
    // held is no longer part of the archive.
    if (e.Deleted != 0) continue;
    item.Name = OemToAnsiName(e.StoredPath(), TranslateOemChar);
    if (!IsEntrySelected(item.Name, FileSpec, ExcludeSpec, RecurseDirs)) continue;
    NewestEntryDate = std::max(NewestEntryDate, e.DosDateTime());
    PackedTotal += static_cast<double>(e.PackedSize);
    UnpackedTotal += static_cast<double>(e.UnpackedSize);
    FItems.push_back(std::move(item));
  }
}

void TUnZoo::ExtractArchive() {
  ExtractListed(
      FItems, [this] { Scan(); }, [this](const TItem& Item) { ExtractItem(Item); },
      [this] {
        FLzh.reset();
        FLzw.reset();
      });
}

void TUnZoo::ExtractItem(const TItem& Item) {
  const TZooEntry& e = Item.Entry;
  TEntryInfo info;
  info.Name = Item.Name;
  info.UnpackedSize = e.UnpackedSize;
  info.DosDateTime = e.DosDateTime();
  info.MethodSupported = e.Method == kStored || e.Method == kLzw || e.Method == kLzh;
  TReaderEntry entry = StartEntry(info);
  if (!entry) return;

  int handle = -1;
  if (!entry.Open(handle)) {
    SkipEntryData(e.UnpackedSize);
    return;
  }
  Crc->Reset();
  ResetTranslation();
  ProgressEntryTotal = e.UnpackedSize;
  bool exact = false;
  DecodeEntry(handle, [&] { exact = Decode(Item, handle); });
  entry.Close(handle, e.DosDateTime(), kPlainAttributes);
  entry.End(exact && entry.Matches(kCrc16, e.Crc16));
}

bool TUnZoo::Decode(const TItem& Item, int Handle) {
  const TZooEntry& e = Item.Entry;
  const Int64 unpacked = e.UnpackedSize;
  const Int64 at = e.DataOffset;
  if (ArchiveStream->Seek(at, soBeginning) != at) return unpacked == 0 && e.Method == kStored;
  if (e.Method == kStored) {
    // More than the entry's size is never written.
    TStoredInfo info;
    info.StoredSize = std::min<Int64>(e.PackedSize, unpacked);
    const Int64 missing = CopyStoredData(*this, -1, Handle, info, kCrc16, ArchiveStream.get());
    return missing == 0 && info.StoredSize == unpacked;
  }
  TReaderSource in(*this, ArchiveStream.get(), e.PackedSize);
  TReaderSink out(*this, Handle, kCrc16);
  if (e.Method == kLzw) {
    if (!FLzw) FLzw = std::make_unique<TZooLzwDecoder>();
    const auto result = FLzw->Decode(in, out, unpacked, CancelRef());
    return result == TZooLzwDecoder::TResult::Ok && out.Written() == unpacked;
  }
  if (!FLzh) FLzh = std::make_unique<TLzhDecoder>();
  FLzh->Init(kZooLzh);
  const auto result = FLzh->Decode(in, out, unpacked, CancelRef());
  if (result == TLzhDecoder::TResult::BadCode) ReportError(OutputName, msg::BadHuffmanCode);
  return result == TLzhDecoder::TResult::Ok && out.Written() == unpacked;
}

}  // namespace vsk
