#include "archive/formats/zip/unzip.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "archive/core/codecstreams.h"
#include "archive/core/diskmanager.h"
#include "archive/core/fileprims.h"
#include "base/pump.h"
#include "archive/core/selection.h"
#include "archive/core/workers.h"
#include "archive/core/zipcrypt.h"
#include "archive/formats/zip/legacy.h"
#include "archive/formats/zip/zipdescriptor.h"
#include "platform/volume.h"

namespace vsk {

namespace {

constexpr Int32 kBlock = kAheadBlock;

bool EndsWithSeparator(const std::string& s) { return !s.empty() && (s.back() == '/' || s.back() == '\\'); }

bool IsSupportedMethod(UInt16 m) { return m <= 6 || m == 8; }

// The same name, whichever separators and ASCII letter case each uses.
bool SameEntryName(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  auto fold = [](char c) {
    if (c == '\\') return '/';
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  for (std::size_t i = 0; i < A.size(); ++i)
    if (fold(A[i]) != fold(B[i])) return false;
  return true;
}

}  // namespace

TUnZip::TUnZip() { SetZipCmntBufSize(32000); }

bool TUnZip::CheckPassword(const Byte* Header) {
  Byte plain[kZipEncryptionHeaderSize];
  return Crypt->CheckEncryptionHeader(Header, plain, FEntryFlags, FEntryCrc, Password,
                                      static_cast<UInt16>(FEntryDosDateTime));
}

void TUnZip::DecodeBlock(bool Decode, void* Buffer, Int32 Count) {
  if (Decode && Count > 0) Crypt->DecryptZipBuffer(Buffer, static_cast<std::size_t>(Count));
}

std::string TUnZip::ReadName(TArchiveView& View, Int64 Position, UInt16 Length, bool Encrypted) {
  std::string name(Length, '\0');
  if (Length == 0) return name;
  name.resize(static_cast<std::size_t>(View.ReadAt(Position, name.data(), Length)));
  if (Encrypted) Crypt->DecryptZipHeaderCont(name.data(), name.size());
  return name;
}

void TUnZip::ViewArchive() {
  FDirView.SetSource(ArchiveStream.get());
  FLocalView.SetSource(ArchiveStream.get());
}

void TUnZip::AddItem(const TItem& Item, UInt32 DosDateTime, UInt16 Flags, UInt32 Packed, UInt32 Unpacked) {
  FItems.push_back(Item);
  if (DosDateTime > NewestEntryDate) NewestEntryDate = DosDateTime;
  const bool enc = (Flags & kZipFlagEncrypted) != 0;
  PackedTotal += static_cast<double>(enc && Packed >= kZipEncryptionHeaderSize ? Packed - kZipEncryptionHeaderSize : Packed);
  UnpackedTotal += static_cast<double>(Unpacked);
}

void TUnZip::WalkCentral(Int64 Position) {
  TTimerPause pause(Timer);
  Byte h[TZipCentralRecord::Size];
  const int lastDisk = ZipEndRec.DiskNumber + 1;
  while (!GetCancel()) {
    bool enc = false;
    const bool got = FDirView.ReadAt(Position, h, static_cast<Int32>(sizeof h)) == static_cast<Int32>(sizeof h) &&
                     ClassifyZipSignature(GetLE32(h), kZipCentralKind, enc) == kZipCentralKind;
    if (!got) {
      // A spanned directory goes on at the start of the next disk.
      if (ArcType() == atZipMV && FCurrentDisk < lastDisk && GoToDisk(FCurrentDisk + 1, 0)) {
        Position = 0;
        continue;
      }
      break;
    }
    if (enc) Crypt->DecryptZipHeader(h, kZipCentralKind);
    const auto r = TZipCentralRecord::Parse(h);
    const std::string name =
        OemToAnsiName(ReadName(FDirView, Position + 46, r.FileNameLength, enc), TranslateOemChar && !(r.Flags & kZipFlagUtf8));
    if (IsEntrySelected(name, FileSpec, ExcludeSpec, RecurseDirs)) {
      TItem item;
      item.Disk = static_cast<UInt16>(r.DiskNumberStart + 1);
      item.LocalOffset = static_cast<Int64>(r.LocalHeaderOffset) + ZipOffsetShift;
      item.ExternalAttr = r.ExternalAttr;
      item.HaveCentral = true;
      item.Central = r;
      item.Name = name;
      bool keep = true;
      if (ArcType() != atZipMV) {
        Byte sig[4];
        bool e2 = false;
        keep = FLocalView.ReadAt(item.LocalOffset, sig, 4) == 4 &&
               ClassifyZipSignature(GetLE32(sig), kZipLocalKind, e2) == kZipLocalKind;
        if (!keep) ReportError(ArchiveFile(), name, "0", msg::BadFileHeader);
      }
      if (keep) AddItem(item, r.DosDateTime, r.Flags, r.PackedSize, r.UnpackedSize);
    }
    Position += 46 + r.FileNameLength + r.ExtraFieldLength + r.FileCommentLength;
  }
}

void TUnZip::WalkLocal(Int64 Position) {
  if (OnCorruptZipHeader) {
    bool cancel = true;
    Fire(OnCorruptZipHeader, ZipRecFlags, cancel);
    if (cancel) return;
  }
  Byte h[TZipLocalHeader::Size];
  auto readAt = [&](Int64 pos) {
    return FLocalView.ReadAt(pos, h, static_cast<Int32>(sizeof h)) == static_cast<Int32>(sizeof h);
  };
  if (!readAt(Position)) return;
  if (GetLE32(h) == kZipDescriptorSignature) {
    Position += 4;
    if (!readAt(Position)) return;
  }
  while (!GetCancel()) {
    bool enc = false;
    if (ClassifyZipSignature(GetLE32(h), kZipLocalKind, enc) != kZipLocalKind) break;
    if (enc) Crypt->DecryptZipHeader(h, kZipLocalKind);
    const auto r = TZipLocalHeader::Parse(h);
    const std::string name =
        OemToAnsiName(ReadName(FLocalView, Position + 30, r.FileNameLength, enc), TranslateOemChar && !(r.Flags & kZipFlagUtf8));
    const Int64 dataStart = Position + 30 + r.FileNameLength + r.ExtraFieldLength;
    TItem item;
    item.LocalOffset = Position;
    item.Local = r;
    Int64 next = dataStart + r.PackedSize;
    UInt32 packed = r.PackedSize, unpacked = r.UnpackedSize;
    // Sizes that follow the data: find them in the descriptor.
    if ((r.Flags & kZipFlagDataDescriptor) && r.PackedSize == 0 &&
        FindDataDescriptor(*ArchiveStream, dataStart, ArcSize, item.Descriptor, next)) {
      item.HaveDescriptor = true;
      packed = item.Descriptor.PackedSize;
      unpacked = item.Descriptor.UnpackedSize;
    }
    if (!name.empty() && IsEntrySelected(name, FileSpec, ExcludeSpec, RecurseDirs))
      AddItem(item, r.DosDateTime, r.Flags, packed, unpacked);
    if (next <= Position || !readAt(next)) break;
    Position = next;
  }
}

bool TUnZip::GoToDisk(int Disk, Int64 Header) {
  if (Disk == FCurrentDisk && ArchiveStream) return true;
  auto present = [&](bool& labelled) {
    labelled = false;
    TVolumeInfo info;
    if (VolumeService().GetVolumeInfo(ArchiveFile(), info)) {
      const int n = DiskNumberFromLabel(info.Label);
      if (n > 0) {
        labelled = true;
        if (n != Disk) return false;
      }
    }
    Byte err = 0;
    TFileStream32 f(ArchiveFile(), fmOpenRead | fmShareDenyNone, err);
    if (err != 0) return false;
    if (Header < 0) return true;
    Byte sig[4];
    return f.Seek(Header, soBeginning) == Header && f.Read(sig, 4) == 4 &&
           (GetLE32(sig) == kZipDescriptorSignature || IsRecordSignature(GetLE32(sig)));
  };
  // The stream in use stays alive: a decompressor may still point at it.
  if (ArchiveStream) FRetired.push_back(std::move(ArchiveStream));
  ViewArchive();
  bool asked = false;
  for (;;) {
    bool labelled = false;
    // Without labels the disk in the drive cannot tell its number: ask once.
    if (present(labelled) && (labelled || asked || FCurrentDisk == 0)) break;
    bool cancel = true;
    const bool fired = Disk == 1 ? FireRequired(OnGetZipFirstDisk, "OnGetZipFirstDisk", cancel)
                                 : FireRequired(OnGetZipNextDisk, "OnGetZipNextDisk", std::to_string(Disk), cancel);
    if (!fired || cancel) {
      *CancelRef() = true;
      return false;
    }
    asked = true;
  }
  Byte err = 0;
  auto s = std::make_unique<TFileStream32>(ArchiveFile(), fmOpenRead | fmShareDenyNone, err);
  if (err != 0) {
    ReportError(ArchiveFile(), msg::ErrorOpeningFile);
    *CancelRef() = true;
    return false;
  }
  ArcSize = s->GetSize();
  ArchiveStream = std::move(s);
  ViewArchive();
  FCurrentDisk = Disk;
  return true;
}

void TUnZip::ExtractArchive() {
  FItems.clear();
  FRetired.clear();
  FCurrentDisk = 0;
  ViewArchive();
  if (ArcType() == atZipMV) {
    DiskManager->Step = 0;
    if (!DiskManager->ChangeDisk(ArchiveStream)) return;
    FCurrentDisk = ZipEndRec.DiskNumber + 1;
    // The directory may begin on an earlier disk than the end record's.
    if (ZipEndRec.CentralDirDisk < ZipEndRec.DiskNumber &&
        !GoToDisk(ZipEndRec.CentralDirDisk + 1, static_cast<Int64>(ZipEndRec.CentralDirOffset)))
      return;
    WalkCentral(static_cast<Int64>(ZipEndRec.CentralDirOffset));
  } else if (ZipRecFlags & kZipCentralFound) {
    WalkCentral(ArcOffset);
  } else if (ZipRecFlags & kZipLocalFound) {
    WalkLocal(ArcOffset);
  }
  ProgressArchiveTotal = ProgressBytesLeft = UnpackedTotal;
  struct TStopAhead {
    std::unique_ptr<TInflateAhead>& Ahead;
    ~TStopAhead() { Ahead.reset(); }
  } stopAhead{FAhead};
  StartAhead();
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    if (GetCancel()) break;
    if (ArcType() == atZipMV && !GoToDisk(FItems[i].Disk, FItems[i].LocalOffset)) break;
    if (FAhead) FAhead->Advance(i);
    ExtractItem(FItems[i], i);
    FRetired.clear();
  }
  FAhead.reset();
  FItems.clear();
  FDirView.SetSource(nullptr);
  FLocalView.SetSource(nullptr);
}

TAheadEntry TUnZip::EntryPlan(const TItem& Item, const TZipLocalHeader& Local) {
  TAheadEntry e;
  e.LocalOffset = Item.LocalOffset;
  e.Flags = Item.HaveCentral ? Item.Central.Flags : Local.Flags;
  e.Method = Item.HaveCentral ? Item.Central.Method : Local.Method;
  e.Packed = Item.HaveCentral ? Item.Central.PackedSize : Local.PackedSize;
  e.Unpacked = Item.HaveCentral ? Item.Central.UnpackedSize : Local.UnpackedSize;
  if (Item.HaveDescriptor) {
    e.Packed = Item.Descriptor.PackedSize;
    e.Unpacked = Item.Descriptor.UnpackedSize;
  }
  return e;
}

void TUnZip::StartAhead() {
  FAhead.reset();
  const unsigned threads = EffectiveThreadCount(ThreadCount);
  if (threads < 2 || FItems.size() < 2 || ArcType() == atZipMV || Action != kActionExtract ||
      OutputMode != kIoHandle || AsciiTranslation)
    return;
  const auto* file = dynamic_cast<const THandleStream32*>(ArchiveStream.get());
  struct stat st;
  if (!file || file->Handle() < 0 || fstat(file->Handle(), &st) != 0 || !S_ISREG(st.st_mode) ||
      ExtractDir().empty())
    return;
  // The output is decoded into unnamed files beside the destination: in it,
  // or in the nearest folder above it that exists yet.
  std::string folder = ExtractDir();
  while (!DirectoryExists(folder)) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const auto slash = folder.find_last_of('/');
    if (slash == std::string::npos) return;
    folder.resize(slash + 1);
  }
  std::vector<TAheadEntry> entries;
  entries.reserve(FItems.size());
  bool any = false;
  for (const auto& item : FItems) {
    entries.push_back(EntryPlan(item, item.Local));
    any = any || CanDecodeAhead(entries.back());
  }
  // The jobs date the outputs too, unless each is dated as it is closed.
  TAheadDating dating;
  UInt32 fixed = 0;
  if (OutputDate(0, fixed)) {
    dating.Rule = DateAttribute == daMaxFileDate ? TAheadDating::adFixed : TAheadDating::adLocal;
    dating.Fixed = fixed;
  }
  if (any) FAhead = std::make_unique<TInflateAhead>(file->Handle(), std::move(entries), threads, folder, dating);
}

void TUnZip::ExtractItem(const TItem& Item, std::size_t Index) {
  Byte h[TZipLocalHeader::Size];
  bool encHeader = false;
  if (FLocalView.ReadAt(Item.LocalOffset, h, static_cast<Int32>(sizeof h)) != static_cast<Int32>(sizeof h) ||
      ClassifyZipSignature(GetLE32(h), kZipLocalKind, encHeader) != kZipLocalKind) {
    ReportError(ArchiveFile(), msg::BadFileHeader);
    return;
  }
  if (encHeader) Crypt->DecryptZipHeader(h, kZipLocalKind);
  const auto local = TZipLocalHeader::Parse(h);
  const std::string raw = ReadName(FLocalView, Item.LocalOffset + 30, local.FileNameLength, encHeader);
  const Int64 dataStart = Item.LocalOffset + 30 + local.FileNameLength + local.ExtraFieldLength;

  const TAheadEntry plan = EntryPlan(Item, local);
  const UInt16 flags = plan.Flags;
  const UInt16 method = plan.Method;
  const Int64 packed = plan.Packed;
  const Int64 unpacked = plan.Unpacked;
  UInt32 storedCrc = local.Crc32;
  if (storedCrc == 0 && Item.HaveCentral && Item.Central.PackedSize != 0) storedCrc = Item.Central.Crc32;
  if (Item.HaveDescriptor) storedCrc = Item.Descriptor.Crc32;

  const bool enc = (flags & kZipFlagEncrypted) != 0;
  TEntryInfo info;
  const std::string localName = OemToAnsiName(raw, TranslateOemChar && !(local.Flags & kZipFlagUtf8));
  // The entry is written under the name that was listed and selected. A
  // local header naming another file marks a crafted archive: reported.
  info.Name = Item.HaveCentral ? Item.Name : localName;
  if (Item.HaveCentral && !SameEntryName(Item.Name, localName))
    ReportError(Item.Name, localName, "0", msg::BadFileHeader);
  const std::string& shown = Item.HaveCentral ? Item.Name : raw;
  info.UnpackedSize = unpacked;
  info.DosDateTime = Item.HaveCentral ? Item.Central.DosDateTime : local.DosDateTime;
  info.Encrypted = enc;
  // A name ending in a separator is a folder in every zip, whatever its attributes.
  info.Directory = (Item.ExternalAttr & 0x10) != 0 || EndsWithSeparator(shown);
  info.MethodSupported = IsSupportedMethod(method);
  // Made on Unix (host 3 in the central record): the file's mode is in the
  // high half of the external attributes.
  const UInt32 mode = Item.ExternalAttr >> 16;
  const bool unixMade = Item.HaveCentral && (Item.Central.VersionMadeBy >> 8) == 3;
  if (unixMade && ((mode & 0170000) == 0100000 || (mode & 0170000) == 0)) info.UnixMode = mode & 0777;
  // A symbolic link stored as such (zip -y): its data are the target's name.
  if (unixMade && (mode & 0170000) == 0120000 && !info.Directory) RefuseLink(info);
  TReaderEntry entry = StartEntry(info);
  if (!entry) return;
  UInt32 attr = Item.ExternalAttr;
  if (ArcType() == atJar || ArcType() == atJarExe) attr = EndsWithSeparator(shown) ? 0x10 : 0x20;
  if (info.Directory) {
    CreateEntryFolder();
    entry.End(true);
    return;
  }

  if (enc && packed < static_cast<Int64>(kZipEncryptionHeaderSize)) {
    ReportError(OutputName, msg::BadFileHeader);
    SkipEntryData(unpacked);
    entry.End(false);
    return;
  }
  // The data are read from the stream itself, unless decoded ahead.
  if (enc) ArchiveStream->Seek(dataStart, soBeginning);
  FEntryFlags = local.Flags;
  FEntryCrc = local.Crc32 != 0 || (local.Flags & kZipFlagDataDescriptor) ? local.Crc32 : storedCrc;
  FEntryDosDateTime = local.DosDateTime;
  if (enc && !PasswordFailed && !GetEntryPassword()) PasswordFailed = true;
  if (enc && PasswordFailed) {
    SkipEntryData(unpacked);
    OutputName = EntryName;
    entry.End(false);
    return;
  }
  const Int64 data = enc ? packed - static_cast<Int64>(kZipEncryptionHeaderSize) : packed;
  // The user can still cancel while a large entry is being decoded ahead.
  std::shared_ptr<TDecodedEntry> ahead =
      FAhead && !enc ? FAhead->Take(Index, [this] {
        ProcessMessages();
        return !GetCancel();
      }) : nullptr;
  // Short of space, the outputs held ahead go, and the rest is done as one
  // thread does it.
  if (FAhead && FAhead->SpaceShort()) FAhead.reset();
  if (ahead && (ahead->DataStart != dataStart || ahead->Method != method || ahead->Packed != data ||
                ahead->Unpacked != unpacked))
    ahead.reset();
  if (!ahead && !enc) ArchiveStream->Seek(dataStart, soBeginning);
  int handle = -1;
  const bool adopted = ahead && entry.Adopt(handle, ahead->File, ahead->Dated, ahead->DatedAs);
  if (!adopted && !entry.Open(handle)) {
    SkipEntryData(unpacked);
    entry.End(false);
    return;
  }
  Crc->Reset();
  ResetTranslation();
  ProgressEntryTotal = unpacked;
  int err = 0;
  try {
    err = ahead ? WriteDecoded(handle, *ahead, adopted) : Decode(handle, method, flags, data, unpacked, enc);
  } catch (const EVskError& e) {
    if (e.Code == msg::DiskFull) throw;
    err = -1;  // reported where it was raised
  }
  if (err > 0) ReportError(OutputName, err);
  Crc->Crc32 ^= 0xFFFFFFFFu;
  entry.Close(handle, local.DosDateTime, attr);
  entry.Check(kCrc32, storedCrc);
}

int TUnZip::Decode(int Handle, UInt16 Method, UInt16 Flags, Int64 Packed, Int64 Unpacked, bool Encrypted) {
  switch (Method) {
    case 0:
      return CopyStored(Handle, Packed, Encrypted);
    case 8:
      return Inflate(Handle, Packed, Unpacked, Encrypted);
    default:
      return DecodeLegacy(Handle, Method, Flags, Packed, Unpacked, Encrypted);
  }
}

int TUnZip::WriteDecoded(int Handle, const TDecodedEntry& Entry, bool Adopted) {
  // The loops of CopyStored and Inflate, with the blocks already decoded: a
  // cancel between blocks ends the entry as it ends theirs, and an adopted
  // output is cut back to the blocks reported.
  const bool stored = Entry.Method == 0;
  std::vector<Byte> buf(Adopted ? 0 : kBlock);
  Int64 done = 0;
  int lastError = 0;
  auto cancelled = [&] {
    if (Adopted) {
      ForgetOutputDate(Handle);
      if (ftruncate(Handle, static_cast<off_t>(done)) != 0) ReportError(OutputName, msg::ErrorWritingToFile);
    }
    return stored ? 0 : lastError;
  };
  for (const auto& b : Entry.Blocks) {
    if (GetCancel()) return cancelled();
    if (!Adopted) {
      if (pread(Entry.File, buf.data(), static_cast<std::size_t>(b.Size), static_cast<off_t>(done)) != b.Size)
        return msg::ErrorReadingFile;
      DecryptWriteRoutine(Handle, buf.data(), false, b.Size, kCrcNone, nullptr, false);
    }
    Crc->Crc32 = b.CrcAfter;
    done += b.Size;
    lastError = b.ErrorAfter;
    ProgressBytesLeft -= b.Size;
    ProgressRoutine(done);
    if (!stored) ProcessMessages();
  }
  if (GetCancel()) return cancelled();
  return Entry.Error;
}

int TUnZip::CopyStored(int Handle, Int64 Packed, bool Encrypted) {
  std::vector<Byte> buf(kBlock);
  Int64 left = Packed, done = 0;
  while (left > 0 && !GetCancel()) {
    const Int32 want = static_cast<Int32>(std::min<Int64>(left, kBlock));
    const Int32 n = ReadRoutine(-1, ArchiveStream.get(), buf.data(), want, kCrcNone, Encrypted);
    if (n <= 0) {
      // The entry goes on on the next disk of a spanned set.
      if (ArcType() == atZipMV && GoToDisk(FCurrentDisk + 1, -1)) continue;
      return msg::ErrorReadingFile;
    }
    DecryptWriteRoutine(Handle, buf.data(), true, n, kCrc32, nullptr, false);
    left -= n;
    done += n;
    ProgressBytesLeft -= n;
    ProgressRoutine(done);
  }
  return 0;
}

int TUnZip::Inflate(int Handle, Int64 Packed, Int64 Unpacked, bool Encrypted) {
  TDecompressStream ds(*ArchiveStream, kRawDeflateBits, Packed, kCrcNone);
  ds.CryptFlag = Encrypted;
  ds.Crypt = Crypt;
  ds.Cancel = CancelRef();
  std::vector<Byte> buf(kBlock);
  Int64 done = 0;
  while (done < Unpacked && !GetCancel()) {
    const Int32 want = static_cast<Int32>(std::min<Int64>(Unpacked - done, kBlock));
    const Int32 n = ds.Read(buf.data(), want);
    if (n <= 0) {
      if (ArcType() == atZipMV && ds.InputExhausted() && !ds.EndOfStream() &&
          GoToDisk(FCurrentDisk + 1, -1)) {
        ds.SwitchSource(*ArchiveStream);
        continue;
      }
      break;
    }
    DecryptWriteRoutine(Handle, buf.data(), true, n, kCrc32, nullptr, false);
    done += n;
    ProgressBytesLeft -= n;
    ProgressRoutine(done);
    ProcessMessages();
  }
  const int err = ds.Error();
  ds.Finish();
  return err;
}

int TUnZip::DecodeLegacy(int Handle, UInt16 Method, UInt16 Flags, Int64 Packed, Int64 Unpacked,
                         bool Encrypted) {
  struct TSource : TLegacySource {
    TUnZip& Z;
    Int64 Left;
    bool Enc;
    TSource(TUnZip& z, Int64 left, bool enc) : Z(z), Left(left), Enc(enc) {}
    Int32 Read(Byte* Buffer, Int32 Count) override {
      if (Left <= 0 || Z.GetCancel()) return 0;
      const Int32 want = static_cast<Int32>(std::min<Int64>(Left, Count));
      const Int32 n = Z.ReadRoutine(-1, Z.ArchiveStream.get(), Buffer, want, kCrcNone, Enc);
      if (n > 0) Left -= n;
      return n < 0 ? 0 : n;
    }
  } source(*this, Packed, Encrypted);
  struct TSink : TLegacySink {
    TUnZip& Z;
    int Handle;
    Int64 Done = 0;
    TSink(TUnZip& z, int h) : Z(z), Handle(h) {}
    void Write(const Byte* Buffer, Int32 Count) override {
      std::vector<Byte> copy(Buffer, Buffer + Count);
      Z.DecryptWriteRoutine(Handle, copy.data(), true, Count, kCrc32, nullptr, false);
      Done += Count;
      Z.ProgressBytesLeft -= Count;
      Z.ProgressRoutine(Done);
    }
  } sink(*this, Handle);
  switch (Method) {
    case 1:
      return Unshrink(source, sink, Unpacked, CancelRef());
    case 2:
    case 3:
    case 4:
    case 5:
      return Unreduce(source, sink, Method - 1, Unpacked, CancelRef());
    case 6:
      return Explode(source, sink, Flags, Unpacked, CancelRef());
    default:
      return msg::UnsupportedMethod;
  }
}

}  // namespace vsk
