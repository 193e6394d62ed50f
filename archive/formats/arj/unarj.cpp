#include "archive/formats/arj/unarj.h"

#include <unistd.h>

#include <algorithm>

#include "base/dates.h"
#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "archive/core/storedcopy.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

// The highest minimum version this reader extracts.
constexpr Byte kArjReadableVersion = 3;
constexpr Byte kArjLastMethod = 4;
// Method 4 of version-1 archivers is another format.
constexpr Byte kArjOldVersion = 1;
// Offset of the file part's position within the basic header, present
// when the first header reaches past it.
constexpr std::size_t kArjPartOffsetAt = 30;

// Methods 1-3: 16 dictionary bits, 5 position bits.
TLzhSettings ArjLzhSettings(bool Garbled) { return TLzhSettings{16, 5, static_cast<Byte>(Garbled ? 2 : 0)}; }

}  // namespace

TUnArj::TUnArj() = default;

TUnArj::~TUnArj() = default;

void TUnArj::DecodeBlock(bool Decode, void* Buffer, Int32 Count) {
  if (Decode && Count > 0) FGarble.Apply(static_cast<Byte*>(Buffer), static_cast<std::size_t>(Count));
}

bool TUnArj::ReadHeader(Int64 Pos, TItem& Item, bool& End) {
  End = false;
  const Int64 size = ArchiveStream->GetSize();
  const auto read = [this](Int64 At, void* Buffer, Int32 Count) -> Int32 {
    if (Count <= 0 || ArchiveStream->Seek(At, soBeginning) != At) return 0;
    const Int32 n = ArchiveStream->Read(Buffer, Count);
    return n < 0 ? 0 : n;
  };
  TArjHeader& h = Item.Header;
  Byte id[kArjIdSize];
  const Int32 got = read(Pos, id, static_cast<Int32>(kArjIdSize));
  const TArjParse r = h.ParseId(id, static_cast<std::size_t>(got));
  if (r == TArjParse::End) End = true;
  if (r != TArjParse::Ok) return false;
  FHeaderBuffer.resize(static_cast<std::size_t>(h.Size()));
  const Int32 n = read(Pos, FHeaderBuffer.data(), static_cast<Int32>(FHeaderBuffer.size()));
  if (h.Parse(FHeaderBuffer.data(), static_cast<std::size_t>(n)) != TArjParse::Ok) return false;
  Item.Offset = Pos;
  Item.DataOffset = ArjDataOffset(h, Pos, size, read);
  if (Item.DataOffset < 0) return false;
  Item.PartOffset =
      h.FirstSize >= kArjPartOffsetAt + 4 ? GetLE32(FHeaderBuffer.data() + kArjIdSize + kArjPartOffsetAt) : 0;
  return true;
}

Byte TUnArj::Scan(Int64 Offset, bool FirstVolume) {
  FItems.clear();
  NewestEntryDate = 0;
  PackedTotal = UnpackedTotal = 0;
  // A file that went on from the previous volume continues only in the
  // first file header of this one.
  TSpan pending = std::move(FSpan);
  FSpan = TSpan{};
  Byte lastFlags = 0;
  bool main = true;
  FMultiVolume = false;
  int files = 0;
  Int64 pos = Offset;
  while (!GetCancel()) {
    TItem item;
    bool end = false;
    if (!ReadHeader(pos, item, end)) {
      // A cut or damaged archive: what was listed before still comes out.
      if (!end) ReportError(ArchiveFile(), msg::BadFileHeader);
      break;
    }
    const TArjHeader& h = item.Header;
    lastFlags = h.Flags;
    if (main || h.IsMain()) {
      if (main) FMultiVolume = (h.Flags & kArjFlagVolume) != 0;
      main = false;
      pos = item.DataOffset;
      continue;
    }
    pos = item.DataOffset + h.PackedSize;
    ++files;
    if (h.FileType == kArjTypeVolumeLabel) continue;
    item.Name = OemToAnsiName(h.Name, TranslateOemChar);
    item.DosDateTime = h.HasUnixTime() ? FileTimeToLocalDos(static_cast<Int64>(h.DosDateTime)) : h.DosDateTime;
    if (h.Flags & kArjFlagExtFile) {
      // The tail of a file whose head was not written from the volume
      // before is left alone: it cannot be restored on its own.
      if (FirstVolume || files != 1 || !pending.Active || pending.EntryName != item.Name ||
          pending.Written != static_cast<Int64>(item.PartOffset))
        continue;
      item.Continuation = true;
    } else if (!IsEntrySelected(item.Name, FileSpec, ExcludeSpec, RecurseDirs)) {
      continue;
    }
    if (h.MinVersion > kArjReadableVersion) {
      ReportError(item.Name, kArjVersionError);
      continue;
    }
    if (h.Method > kArjLastMethod || (h.Method == kArjLastMethod && h.Version == kArjOldVersion)) {
      ReportError(item.Name, msg::UnsupportedMethod);
      continue;
    }
    if (item.Continuation) FSpan = pending;
    NewestEntryDate = std::max(NewestEntryDate, item.DosDateTime);
    PackedTotal += static_cast<double>(h.PackedSize);
    UnpackedTotal += static_cast<double>(h.UnpackedSize);
    FItems.push_back(std::move(item));
  }
  return lastFlags;
}

bool TUnArj::NextVolume(std::string& VolumeName) {
  if (!OnNextVolume) {
    ReportError(ArchiveFile(), "OnNextVolume", "0", msg::RequiredEventNotAssigned);
    return false;
  }
  // Declining sets the cancel flag; a volume that cannot be opened is
  // reported by the switch and leaves no size.
  if (!SwitchToNextVolume(ArchiveStream, VolumeName)) return false;
  return ArchiveStream && ArcSize > 0;
}

void TUnArj::NoteSetVolumes() {
  // The whole set, whichever volume was opened: its first volume, then the
  // numbered ones as NextVolume names them, those before the one opened
  // even past a gap, the later ones up to the first missing.
  NoteFirstVolume(ArchiveFile(), {".arj", ".exe"});
  for (int n = 1; n < kMaxVolumes; ++n) {
    std::string name = GetNextVolumeName(ArchiveFile(), n);
    if (name.empty()) break;
    if (FindVolumeAnyCase(name))
      NoteArchiveVolume(name);
    else if (n >= VolNum)
      break;
  }
}

void TUnArj::ExtractArchive() {
  FItems.clear();
  FSpan = TSpan{};
  FGarble.Clear();
  if (!ArchiveStream) return;
  PasswordAttempts = std::min(PasswordAttempts, kArjMaxPasswordAttempts);
  SetVolumeNumber();
  if (ArcType() == atArjExe) {
    // A self-extractor's volumes go on in the plain numbered names.
    VolLetter = 'a';
    VolNum = 1;
  }
  std::string volume = ArchiveFile();
  Int64 offset = ArcOffset;
  bool first = true;
  while (!GetCancel()) {
    const Byte last = Scan(offset, first);
    // A set says so in its main header; a file going on in the next volume
    // is followed even without that.
    // A numbered volume opened is one of a set, the last one too.
    if (first && (FMultiVolume || (last & kArjFlagVolume) || VolNum > 1) && !Testing()) NoteSetVolumes();
    ProgressArchiveTotal = ProgressBytesLeft = UnpackedTotal;
    for (const auto& item : FItems) {
      if (GetCancel()) break;
      ExtractItem(item);
    }
    if (GetCancel() || !(last & kArjFlagVolume) || !NextVolume(volume)) break;
    offset = 0;
    first = false;
  }
  // A split file whose rest never came (a volume missing or declined, the
  // run cancelled) is never placed over a file, and never counted.
  if (FSplit) FSplit.End(false);
  FItems.clear();
  FSpan = TSpan{};
  FGarble.Clear();
  FLzh.reset();
  FFast.reset();
}

void TUnArj::ExtractItem(const TItem& Item) {
  const TArjHeader& h = Item.Header;
  const TSpan span = Item.Continuation ? FSpan : TSpan{};
  FSpan = TSpan{};
  TReaderEntry entry;
  if (Item.Continuation) {
    // The rest of a split file goes on in the entry of its first part,
    // decided on then: it is neither named nor asked for again.
    entry = std::move(FSplit);
    if (!entry) {
      SkipEntryData(h.UnpackedSize);
      return;
    }
    OutputName = span.OutputName;
  } else {
    // A split file whose rest did not come ends as it is.
    if (FSplit) FSplit.End(false);
    TEntryInfo info;
    info.Name = Item.Name;
    info.UnpackedSize = h.UnpackedSize;
    info.DosDateTime = Item.DosDateTime;
    info.Encrypted = (h.Flags & kArjFlagGarbled) != 0;
    info.Directory = h.FileType == kArjTypeDirectory;
    // Known before anything is created; the entries after it still come out.
    if (!info.Directory && h.FileType != kArjTypeBinary && h.FileType != kArjTypeText)
      info.RefusalCode = msg::UnknownFileType;
    entry = StartEntry(info);
    if (!entry) return;
    if (info.Directory) {
      CreateEntryFolder();
      entry.End(true);
      return;
    }
  }

  const bool garbled = EntryEncrypted;
  const int attempts = std::clamp(PasswordAttempts, 1, kArjMaxPasswordAttempts);
  TPass pass = TPass::NotOpened;
  bool tried = false;
  for (int attempt = 0; !(garbled && PasswordFailed) && !GetCancel();) {
    if (garbled) {
      if (Password.empty()) {
        if (!OnGetPassword) {
          ReportError(OutputName, "OnGetPassword", "0", msg::RequiredEventNotAssigned);
          PasswordFailed = true;
          break;
        }
        bool tryAgain = true;
        std::string answer;
        Fire(OnGetPassword, OutputName, answer, tryAgain);
        if (GetCancel()) break;
        if (!tryAgain) {
          PasswordFailed = true;
          break;
        }
        Password = answer;
      }
      FGarble.SetKey(Password, h.PasswordModifier);
    }
    tried = true;
    pass = ExtractData(Item, span, entry);
    if (pass != TPass::Failed || !garbled) break;
    // A wrong password shows only in the CRC.
    Password.clear();
    if (++attempt >= attempts) PasswordFailed = true;
  }
  FGarble.Clear();

  if (!tried) SkipEntryData(h.UnpackedSize);
  if (pass == TPass::NotOpened || !(h.Flags & kArjFlagVolume)) {
    // The file's one verdict, given by its last part.
    entry.End(pass == TPass::Passed);
    return;
  }
  // A part that goes on in the next volume: held, with its verdict noted.
  entry.NotePart(pass == TPass::Passed);
  FSplit = std::move(entry);
  FSpan.Active = true;
  FSpan.EntryName = EntryName;
  FSpan.OutputName = OutputName;
  FSpan.Written = span.Written + static_cast<Int64>(h.UnpackedSize);
}

TUnArj::TPass TUnArj::ExtractData(const TItem& Item, const TSpan& Span, TReaderEntry& Entry) {
  const TArjHeader& h = Item.Header;
  int handle = -1;
  if (!Entry.Open(handle)) {
    SkipEntryData(h.UnpackedSize);
    return TPass::NotOpened;
  }
  if (handle >= 0) {
    // A part goes after the bytes of the parts before, also when it is
    // tried again with another password.
    if (ftruncate(handle, static_cast<off_t>(Span.Written)) != 0 || lseek(handle, 0, SEEK_END) < 0) {
      ReportError(OutputName, msg::ErrorWritingToFile);
      SkipEntryData(h.UnpackedSize);
      return TPass::NotOpened;
    }
  }
  Crc->Reset();
  ResetTranslation();
  ProgressEntryTotal = h.UnpackedSize;
  DecodeEntry(handle, [&] { Decode(Item, handle); });
  // Only the date is restored; the plain archive attribute leaves the file as made.
  Entry.Close(handle, Item.DosDateTime, 0x20);
  return Entry.Matches(kCrc32, h.Crc32) ? TPass::Passed : TPass::Failed;
}

void TUnArj::Decode(const TItem& Item, int Handle) {
  const TArjHeader& h = Item.Header;
  if (ArchiveStream->Seek(Item.DataOffset, soBeginning) != Item.DataOffset) return;
  const bool garbled = (h.Flags & kArjFlagGarbled) != 0;
  const Int64 unpacked = h.UnpackedSize;
  FGarble.Restart();
  if (h.Method == 0) {
    // More than the header's size is never written.
    TStoredInfo info;
    info.StoredSize = std::min<Int64>(h.PackedSize, unpacked);
    info.Flags = garbled ? 1 : 0;
    CopyStoredData(*this, -1, Handle, info, kCrc32, ArchiveStream.get());
    return;
  }
  TReaderSource in(*this, ArchiveStream.get(), h.PackedSize, garbled);
  TReaderSink out(*this, Handle, kCrc32);
  if (h.Method == kArjLastMethod) {
    if (!FFast) FFast = std::make_unique<TArjFastDecoder>();
    FFast->Decode(in, out, unpacked, CancelRef());
    return;
  }
  if (!FLzh) FLzh = std::make_unique<TLzhDecoder>();
  FLzh->Init(ArjLzhSettings(garbled));
  if (FLzh->Decode(in, out, unpacked, CancelRef()) == TLzhDecoder::TResult::BadCode)
    ReportError(OutputName, msg::BadHuffmanCode);
}

}  // namespace vsk
