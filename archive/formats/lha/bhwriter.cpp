#include "archive/formats/lha/bhwriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "base/dates.h"
#include "archive/core/methodnames.h"
#include "archive/core/numbers.h"
#include "archive/core/paths.h"
#include "archive/core/selection.h"
#include "archive/formats/lha/lzhencode.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

constexpr Int32 kChunk = 1 << 20;
constexpr Byte kDirAttribute = 0x10;
constexpr Byte kVersionMadeBy = 4;
constexpr Byte kVersionNeeded = 8;
constexpr UInt16 kWordStored = 0;
constexpr UInt16 kWordLzh = 3;
constexpr UInt16 kWordDeflate = 8;

}  // namespace

TBlakHole::TBlakHole() {
  FOwnExt = FDefaultExt = ".BH";
  FArcType = atBh;
  FSupportedMethods = {cmDeflate, cmFuse};
  FCompressMethod = cmDeflate;
  StoredDirNames = sdRelative;
  RecurseDirs = true;
}

void TBlakHole::SetArcType(TArcType) { FArcType = atBh; }

Byte TBlakHole::DeflateOptionBits() const {
  switch (FRunDeflateType) {
    case dtDeflateS: return 6;
    case dtDeflateF: return 4;
    case dtDeflateX: return 2;
    default: return 0;
  }
}

TCompBase::TFormatTraits TBlakHole::Traits() const {
  TFormatTraits t;
  // cmFuse packs with the LZH encoder on this thread; cmDeflate goes
  // through the deflating entry.
  t.DeflatesAhead = FCompressMethod != cmFuse;
  return t;
}

std::string TBlakHole::EncodeEntryName(const TCompEntry& E) const {
  std::string name = AnsiToOemName(E.Name, TranslateOemChar, '\\');
  if (E.IsDir && (name.empty() || (name.back() != '\\' && name.back() != '/'))) name += '\\';
  return name;
}

// ---- headers

void TBlakHole::StartLocalHeader(TCompEntry& E) {
  std::memset(FHead, 0, sizeof FHead);
  PutLE32(FHead, kBhSignature);
  PutLE16(FHead + 4, static_cast<UInt16>(kBhFixedSize + E.RawName.size()));
  FHead[6] = kBhFixedSize;
  FHead[7] = kVersionMadeBy;
  FHead[8] = kVersionNeeded;
  FHead[10] = kWordDeflate;
  PutLE32(FHead + 11, static_cast<UInt32>(FileDateByAttribute(static_cast<Int32>(E.FileTime))));
  PutLE32(FHead + 19, static_cast<UInt32>(E.FileSize));
  const UInt32 attr = E.IsDir ? (E.FileAttr | kDirAttribute) : E.FileAttr;
  PutLE16(FHead + 27, static_cast<UInt16>(attr & 0xFFFF));
  PutLE16(FHead + 33, static_cast<UInt16>(E.RawName.size()));
  PutLE16(FHead + 35, 0);
}

void TBlakHole::Complete(TCompEntry& E, UInt16 MethodWord, bool Encrypt, UInt32 Crc, UInt32 Unpacked,
                         UInt32 Packed) {
  Byte flags = Encrypt ? kBhFlagEncrypted : 0;
  Byte method = 0;
  if (MethodWord == kWordLzh) {
    method = 3;
    if (Encrypt) flags |= DeflateOptionBits();
  } else if (MethodWord == kWordDeflate) {
    method = 8;
    flags |= DeflateOptionBits();
  }
  PutLE16(FHead + 4, static_cast<UInt16>(kBhFixedSize + E.RawName.size()));
  FHead[9] = flags;
  FHead[10] = method;
  PutLE32(FHead + 15, Packed);
  PutLE32(FHead + 19, Unpacked);
  PutLE32(FHead + 23, Unpacked == 0 ? 0 : Crc);
  PutLE16(FHead + 33, static_cast<UInt16>(E.RawName.size()));
  PutLE16(FHead + 35, 0);
}

void TBlakHole::CompleteLocalHeader(TCompEntry& E, const TEntryResult& R) {
  // The base stores what does not shrink, so its result decides the method.
  Complete(E, R.Deflated ? kWordDeflate : kWordStored, R.Encrypted, R.Crc, static_cast<UInt32>(R.Uncompressed),
           static_cast<UInt32>(R.Compressed));
}

void TBlakHole::WriteLocalHeader(TCompEntry& E) {
  Write(FHead, kBhFixedSize);
  Write(E.RawName.data(), static_cast<Int64>(E.RawName.size()));
}

void TBlakHole::MakeCentralRecord(TCompEntry& E) {
  E.Head.assign(FHead, FHead + kBhFixedSize);
  E.Times = {GetLE32(FHead + 19), GetLE32(FHead + 15), GetLE32(FHead + 11), GetLE16(FHead + 27)};
}

void TBlakHole::FinishEntry(TCompEntry& E) {
  MakeCentralRecord(E);
  Fire(OnEnd, E.Name, Crc->Crc32 == GetLE32(FHead + 23));
}

void TBlakHole::DescribeEntry(const TCompEntry& E) {
  FileName = E.Name;
  if (E.Head.size() != static_cast<std::size_t>(kBhFixedSize)) return;
  const Byte* h = E.Head.data();
  VersionMadeBy = h[7];
  VersionNeeded = h[8];
  Encrypted = (h[9] & kBhFlagEncrypted) != 0;
  const UInt32 packed = GetLE32(h + 15);
  PackedSize = Encrypted && packed >= kBhEncryptionHeaderSize ? packed - kBhEncryptionHeaderSize : packed;
  UnpackedSize = GetLE32(h + 19);
  CRC = GetLE32(h + 23);
  MethodNumber = h[10];
  ExternalAttr = GetLE16(h + 27);
  InternalAttr = 0;
  TMethodQuery q;
  q.ArcType = atBh;
  q.Method = h[10];
  q.Flags = h[9];
  q.IsDirectory = E.IsDir;
  MethodText = CompressMethodName(q);
  Ratio = static_cast<Byte>(CompressRatio(PackedSize, UnpackedSize));
  const UInt32 dt = GetLE32(h + 11);
  FileDate = dt ? ConvertDosDate(dt) : 0;
  FileComment.clear();
}

// ---- new entries

bool TBlakHole::WriteEntryData(TCompEntry& E) {
  CurrentFileName = E.Name;
  E.RawName = EncodeEntryName(E);
  if (E.RawName.size() > kBhMaxName) {
    ReportError(E.FileName, "name longer than 255 bytes", "0", msg::InvalidFileName);
    return false;
  }
  if (FCompressMethod != cmFuse || E.IsDir)
    return DeflateEntry(E, [this](TCompEntry& En, const TEntryResult* Done) {
      if (Done)
        CompleteLocalHeader(En, *Done);
      else
        StartLocalHeader(En);
      WriteLocalHeader(En);
    });
  return CompressFused(E);
}

bool TBlakHole::StoreFile(TCompEntry& E, TStream32& Src, Int64 Size, bool Encrypt, UInt32& Crc) {
  if (Src.Seek(0, soBeginning) != 0) {
    ReportError(E.FileName, msg::ErrorReadingFile);
    return false;
  }
  if (FCopyBuffer.size() < static_cast<std::size_t>(kChunk)) FCopyBuffer.resize(kChunk);
  UInt32 c = 0xFFFFFFFFu;
  Int64 done = 0;
  while (done < Size) {
    if (GetCancel()) return false;
    const Int32 want = static_cast<Int32>(std::min<Int64>(Size - done, kChunk));
    const Int32 n = Src.Read(FCopyBuffer.data(), want);
    if (n <= 0) break;
    UpdateCrc32(FCopyBuffer.data(), static_cast<std::size_t>(n), c);
    EncryptAndWrite(-1, FCopyBuffer.data(), true, n, kCrcNone, nullptr, Encrypt);
    done += n;
    ProgressBytesLeft -= n;
    ProgressRoutine(done);
  }
  if (GetCancel()) return false;
  if (done != Size) {
    // The file shrank while it was read.
    ReportError(E.FileName, msg::ErrorReadingFile);
    return false;
  }
  Crc = c ^ 0xFFFFFFFFu;
  return true;
}

bool TBlakHole::CompressFused(TCompEntry& E) {
  TSourceFile source;
  if (!OpenSourceFile(E.FileName, source)) return false;
  TFileStream32& src = *source.Stream;
  const struct stat& st = source.St;
  const Int64 size = source.Size();
  E.FileSize = static_cast<UInt64>(size);
  E.FileMode = st.st_mode;
  ProgressEntryTotal = size;
  // An empty file is neither packed nor enciphered.
  const bool encrypt = !Password.empty() && size > 0;

  const Int64 headerAt = OutputPosition();
  StartLocalHeader(E);
  WriteLocalHeader(E);
  const Int64 dataAt = OutputPosition();

  UInt32 fileCrc = 0;
  if (encrypt) {
    // The cipher header carries the CRC, so the file is read twice.
    if (FCopyBuffer.size() < static_cast<std::size_t>(kChunk)) FCopyBuffer.resize(kChunk);
    UInt32 c = 0xFFFFFFFFu;
    Int64 total = 0;
    for (;;) {
      if (GetCancel()) return false;
      const Int32 n = src.Read(FCopyBuffer.data(), kChunk);
      if (n <= 0) break;
      UpdateCrc32(FCopyBuffer.data(), static_cast<std::size_t>(n), c);
      total += n;
    }
    if (total != size || src.Seek(0, soBeginning) != 0) {
      ReportError(E.FileName, msg::ErrorReadingFile);
      return false;
    }
    fileCrc = c ^ 0xFFFFFFFFu;
    const auto h = Crypt->MakeEncryptionHeader(Password, fileCrc);
    Write(h.data(), static_cast<Int64>(h.size()));
  }
  const Int64 packedAt = OutputPosition();

  Crc->Reset();
  UInt16 word = kWordStored;
  UInt32 crc = 0;
  Int64 read = 0;
  if (size > 0 && !InStoreList(E.FileName)) {
    bool unpackable = true;
    if (!EncodeLzh(*this, *FOutput, src, kLzhEncodeFuse, encrypt, unpackable, size, &read) || GetCancel())
      return false;
    if (!unpackable && read == size && OutputPosition() - packedAt < size) {
      word = kWordLzh;
      crc = Crc->Crc32Final();
    }
  }
  if (word == kWordStored) {
    // Back to the end of the name: a stored copy needs the cipher started
    // afresh, so its header is written again.
    FOutput->SetSize(dataAt);
    FOutput->Seek(dataAt, soBeginning);
    ProgressBytesLeft += static_cast<double>(read);
    if (encrypt) {
      const auto h = Crypt->MakeEncryptionHeader(Password, fileCrc);
      Write(h.data(), static_cast<Int64>(h.size()));
    }
    if (!StoreFile(E, src, size, encrypt, crc)) return false;
  }
  if (encrypt && crc != fileCrc) {
    // Changed between the two readings: the header's check byte is wrong.
    ReportError(E.FileName, msg::ErrorReadingFile);
    return false;
  }
  const Int64 end = OutputPosition();
  CheckOutputLimit(end);
  // The packed size covers everything after the name, the cipher header included.
  Complete(E, word, encrypt, crc, static_cast<UInt32>(size), static_cast<UInt32>(end - dataAt));
  Crc->Crc32 = GetLE32(FHead + 23);
  FOutput->Seek(headerAt, soBeginning);
  WriteLocalHeader(E);
  FOutput->Seek(end, soBeginning);
  NoteSourceRead(E, src.Handle(), st);
  return true;
}

// ---- the old archive

bool TBlakHole::ReadOldHeader(Int64 Offset, TBhHeader& H) {
  const auto read = [this](Int64 At, void* Buffer, Int32 Count) { return ReadOldAt(At, Buffer, Count); };
  Byte fixed[kBhFixedSize] = {};
  const Int32 got = read(Offset, fixed, kBhFixedSize);
  return TBhHeader::Parse(fixed, got, Offset, FOldSize, read, H) == TBhStatus::Ok && H.NextOffset() <= FOldSize;
}

TLzhFamilyWriter::TOldHeader TBlakHole::ReadOldEntry(Int64 Pos, TCompEntry& E) {
  const auto read = [this](Int64 At, void* Buffer, Int32 Count) { return ReadOldAt(At, Buffer, Count); };
  Byte fixed[kBhFixedSize] = {};
  const Int32 got = read(Pos, fixed, kBhFixedSize);
  TBhHeader h;
  const TBhStatus status = TBhHeader::Parse(fixed, got, Pos, FOldSize, read, h);
  if (status == TBhStatus::EndOfArchive) return TOldHeader::End;
  if (status != TBhStatus::Ok || h.NextOffset() > FOldSize) return TOldHeader::Damaged;
  E.IsDir = h.IsDirectory();
  E.Name = OemToAnsiName(h.Name, TranslateOemChar);
  E.RawName = h.Name;
  E.Head.assign(fixed, fixed + kBhFixedSize);
  E.Times = {h.UnpackedSize, h.PackedSize, h.DosDateTime, h.Attributes};
  E.OldLength = h.NextOffset() - Pos;
  return TOldHeader::Entry;
}

// A BH archive has no end mark: its last entry ends the file, so a header
// without the signature anywhere before that is damage, or another file.
bool TBlakHole::SoundEnd(Int64 At) { return At == FOldSize; }

bool TBlakHole::CopyOldEntry(TCompEntry& E) {
  if (E.State == esCopy) return TCompBase::CopyOldEntry(E);
  TBhHeader h;
  if (!ReadOldHeader(E.OldOffset, h)) {
    ReportError(ArchiveFile(), E.Name, "0", msg::ErrorWritingToFile);
    return false;
  }
  TCompEntry named = E;
  named.Name = E.NewName;
  const std::string raw = EncodeEntryName(named);
  if (raw.size() > kBhMaxName) {
    ReportError(E.NewName, "name longer than 255 bytes", "0", msg::InvalidFileName);
    return false;
  }
  // Everything but the name is kept; a foreign extra field is left out.
  if (!ReadOld(E.OldOffset, FHead, kBhFixedSize)) {
    ReportError(ArchiveFile(), E.Name, "0", msg::ErrorWritingToFile);
    return false;
  }
  E.RawName = raw;
  PutLE16(FHead + 4, static_cast<UInt16>(kBhFixedSize + raw.size()));
  PutLE16(FHead + 33, static_cast<UInt16>(raw.size()));
  PutLE16(FHead + 35, 0);
  WriteLocalHeader(E);
  CopyFromOld(h.DataOffset(), h.PackedSize);
  MakeCentralRecord(E);
  return true;
}

bool TBlakHole::FinishArchive() {
  ProgressEntryTotal = 0;
  ProgressArchiveTotal = ProgressBytesLeft = 0;
  return false;
}

}  // namespace vsk
