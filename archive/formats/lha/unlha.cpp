#include "archive/formats/lha/unlha.h"

#include <algorithm>

#include "base/dates.h"
#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "archive/core/storedcopy.h"

namespace vsk {

namespace {

// Self-extractors may put 128 zero bytes in front of the first header.
constexpr Int64 kZeroPrefix = 128;

bool IsLzhMethod(char Letter) { return Letter >= '4' && Letter <= '7'; }

TLzhSettings LzhSettingsOf(char Letter) {
  switch (Letter) {
    case '4':
      return kLzhLh4;
    case '6':
      return kLzhLh6;
    case '7':
      return kLzhLh7;
    default:
      return kLzhLh5;
  }
}

}  // namespace

TUnLha::TUnLha() = default;

TUnLha::~TUnLha() = default;

TLhaStatus TUnLha::ReadHeader(Int64 Offset, TLhaHeader& H, Int32& Got) {
  const auto read = [this](Int64 Pos, void* Buffer, Int32 Count) -> Int32 {
    if (Count <= 0 || ArchiveStream->Seek(Pos, soBeginning) != Pos) return 0;
    const Int32 n = ArchiveStream->Read(Buffer, Count);
    return n < 0 ? 0 : n;
  };
  Byte fixed[kLhaFixedSize] = {};
  Got = read(Offset, fixed, kLhaFixedSize);
  return TLhaHeader::Parse(fixed, Got, Offset, ArchiveStream->GetSize(), read, H);
}

void TUnLha::Scan() {
  Int64 pos = ArcOffset;
  Byte first = 1;
  if (ArchiveStream->Seek(pos, soBeginning) == pos && ArchiveStream->Read(&first, 1) == 1 && first == 0)
    pos += kZeroPrefix;
  while (!GetCancel()) {
    TItem item;
    Int32 got = 0;
    const TLhaStatus status = ReadHeader(pos, item.Header, got);
    if (got == 0 || status == TLhaStatus::EndOfArchive) break;
    if (status != TLhaStatus::Ok) {
      // Damaged, cut off or of a level not read here: the entries before it
      // are still extracted.
      ReportError(ArchiveFile(), msg::BadFileHeader);
      break;
    }
    const TLhaHeader& h = item.Header;
    item.Name = OemToAnsiName(h.StoredName(), TranslateOemChar);
    if (const auto bar = item.Name.find('|'); h.IsSymLink() && bar != std::string::npos) {
      item.Link = true;
      item.LinkTarget = item.Name.substr(bar + 1);
      item.Name.resize(bar);
    }
    // Level 2 keeps Unix seconds, the others a local DOS date-time.
    item.DosDateTime = h.HasUnixTime() ? FileTimeToLocalDos(static_cast<Int64>(h.TimeStamp)) : h.TimeStamp;
    pos = h.NextOffset();
    // Every method is listed: one that cannot be decoded is reported when
    // its turn comes.
    if (!IsEntrySelected(item.Name, FileSpec, ExcludeSpec, RecurseDirs)) continue;
    NewestEntryDate = std::max(NewestEntryDate, item.DosDateTime);
    PackedTotal += static_cast<double>(h.PackedSize);
    UnpackedTotal += static_cast<double>(h.UnpackedSize);
    FItems.push_back(std::move(item));
  }
}

void TUnLha::ExtractArchive() {
  ExtractListed(
      FItems, [this] { Scan(); }, [this](const TItem& Item) { ExtractItem(Item); },
      [this] {
        FLzh.reset();
        FLh1.reset();
      });
}

void TUnLha::ExtractItem(const TItem& Item) {
  const TLhaHeader& h = Item.Header;
  const char letter = h.MethodLetter();
  TEntryInfo info;
  info.Name = Item.Name;
  info.UnpackedSize = h.UnpackedSize;
  info.DosDateTime = Item.DosDateTime;
  info.Directory = h.IsDirectory();
  info.MethodSupported = letter == '0' || letter == '1' || IsLzhMethod(letter);
  if (Item.Link && !Testing()) {
    // Stored with the folder method, yet no folder: a link, never made.
    info.Directory = false;
    RefuseLink(info, Item.LinkTarget);
  }
  TReaderEntry entry = StartEntry(info);
  if (!entry) return;
  if (info.Directory) {
    CreateEntryFolder();
    entry.End(true);
    return;
  }

  int handle = -1;
  if (!entry.Open(handle)) {
    SkipEntryData(h.UnpackedSize);
    return;
  }
  Crc->Reset();
  ResetTranslation();
  ProgressEntryTotal = h.UnpackedSize;
  DecodeEntry(handle, [&] { Decode(Item, handle); });
  entry.Close(handle, Item.DosDateTime, h.Attribute);
  entry.Check(kCrc16, h.Crc16);
}

void TUnLha::Decode(const TItem& Item, int Handle) {
  const TLhaHeader& h = Item.Header;
  const Int64 unpacked = h.UnpackedSize;
  if (ArchiveStream->Seek(h.DataOffset(), soBeginning) != h.DataOffset()) return;
  const char letter = h.MethodLetter();
  if (letter == '0') {
    // A stored entry holds its bytes as they are; more than the header's
    // size is never written.
    TStoredInfo info;
    info.StoredSize = std::min<Int64>(h.PackedSize, unpacked);
    CopyStoredData(*this, -1, Handle, info, kCrc16, ArchiveStream.get());
    return;
  }
  TReaderSink out(*this, Handle, kCrc16);
  if (letter == '1') {
    if (!FLh1) FLh1 = std::make_unique<TLh1Decoder>();
    TReaderSource in(*this, ArchiveStream.get(), h.PackedSize);
    FLh1->Decode(in, out, unpacked, CancelRef());
    return;
  }
  const TLzhSettings settings = LzhSettingsOf(letter);
  if (!FLzh) FLzh = std::make_unique<TLzhDecoder>();
  FLzh->Init(settings);
  TReaderSource in(*this, ArchiveStream.get(), h.PackedSize, settings.Decrypt());
  if (FLzh->Decode(in, out, unpacked, CancelRef()) == TLzhDecoder::TResult::BadCode)
    ReportError(OutputName, msg::BadHuffmanCode);
}

}  // namespace vsk
