#include "archive/formats/lha/lhawriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/dates.h"
#include "archive/core/numbers.h"
#include "archive/core/selection.h"
#include "archive/formats/lha/lzhencode.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

constexpr Int32 kChunk = 1 << 20;
constexpr Byte kDirAttribute = 0x10;

bool EndsWithSeparator(const std::string& s) { return !s.empty() && (s.back() == '/' || s.back() == '\\'); }

// The level-0 image of an entry's working header: the 22 fixed bytes and
// the CRC-16, without the name.
constexpr std::size_t kHeadImage = kLhaFixedSize + 2;

}  // namespace

std::vector<Byte> TLhaLevel0::Build() const {
  const std::size_t n = std::min(Name.size(), kLhaMaxLevel0Name);
  std::vector<Byte> h(kLhaFixedSize + n + 2, 0);
  h[0] = static_cast<Byte>(kLhaFixedSize + n);
  std::memcpy(&h[2], Method.data(), Method.size());
  PutLE32(&h[7], PackedSize);
  PutLE32(&h[11], UnpackedSize);
  PutLE32(&h[15], DosDateTime);
  h[19] = Attribute;
  h[20] = 0;  // level
  h[21] = static_cast<Byte>(n);
  std::memcpy(&h[kLhaFixedSize], Name.data(), n);
  PutLE16(&h[kLhaFixedSize + n], Crc16);
  unsigned sum = 0;
  for (std::size_t i = 2; i < h.size(); ++i) sum += h[i];
  h[1] = static_cast<Byte>(sum);
  return h;
}

TLha::TLha() {
  FOwnExt = FDefaultExt = ".LHA";
  FArcType = atLha;
  FSupportedMethods = {cmStore, cmFrozen5, cmFrozen6};
  FCompressMethod = cmFrozen6;
  StoredDirNames = sdRelative;
  RecurseDirs = true;
}

void TLha::SetArcType(TArcType) { FArcType = atLha; }

// ---- new entries

std::string TLha::EncodeEntryName(const TCompEntry& E) const {
  std::string name = AnsiToOemName(E.Name, TranslateOemChar, '\\');
  if (E.IsDir && !EndsWithSeparator(name)) name += '\\';
  return name;
}

void TLha::RewriteHeader(Int64 Offset) {
  const Int64 end = OutputPosition();
  FHeader = FWork.Build();
  FOutput->Seek(Offset, soBeginning);
  Write(FHeader.data(), static_cast<Int64>(FHeader.size()));
  FOutput->Seek(end, soBeginning);
}

bool TLha::StoreFile(TCompEntry& E, TStream32& Src, Int64 Size) {
  if (Src.Seek(0, soBeginning) != 0) {
    ReportError(E.FileName, msg::ErrorReadingFile);
    return false;
  }
  if (FCopyBuffer.size() < static_cast<std::size_t>(kChunk)) FCopyBuffer.resize(kChunk);
  Crc->Crc16 = 0;
  Int64 done = 0;
  while (done < Size) {
    if (GetCancel()) return false;
    const Int32 want = static_cast<Int32>(std::min<Int64>(Size - done, kChunk));
    const Int32 n = ReadBlock(-1, &Src, FCopyBuffer.data(), want, kCrc16, false);
    if (n <= 0) break;
    Write(FCopyBuffer.data(), n);
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
  return true;
}

bool TLha::WriteEntryData(TCompEntry& E) {
  CurrentFileName = E.Name;
  E.RawName = EncodeEntryName(E);
  if (E.RawName.size() > kLhaMaxLevel0Name) {
    ReportError(E.FileName, "name longer than 233 bytes", "0", msg::InvalidFileName);
    return false;
  }
  FWork = TLhaLevel0{};
  FWork.Name = E.RawName;
  Crc->Crc16 = 0;
  const Int64 headerAt = OutputPosition();

  if (E.IsDir) {
    struct stat st;
    if (stat(E.FileName.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      ReportError(E.FileName, msg::ErrorOpeningFile);
      return false;
    }
    FWork.Method = {'-', 'l', 'h', 'd', '-'};
    FWork.DosDateTime = E.FileTime;
    FWork.Attribute = kDirAttribute;
    FHeader = FWork.Build();
    Write(FHeader.data(), static_cast<Int64>(FHeader.size()));
    return true;
  }

  TSourceFile source;
  if (!OpenSourceFile(E.FileName, source)) return false;
  TFileStream32& src = *source.Stream;
  const struct stat& st = source.St;
  const Int64 size = source.Size();
  E.FileSize = static_cast<UInt64>(size);
  E.FileMode = st.st_mode;
  ProgressEntryTotal = size;

  FWork.UnpackedSize = static_cast<UInt32>(size);
  FWork.DosDateTime = static_cast<UInt32>(FileDateByAttribute(static_cast<Int32>(E.FileTime)));
  FWork.Attribute = static_cast<Byte>(E.FileAttr & 0xFF);
  if (size == 0) {
    FHeader = FWork.Build();
    Write(FHeader.data(), static_cast<Int64>(FHeader.size()));
    NoteSourceRead(E, src.Handle(), st);
    return true;
  }

  const bool store = FCompressMethod == cmStore || InStoreList(E.FileName);
  FWork.Method[3] = FCompressMethod == cmFrozen5 ? '5' : '6';
  FHeader = FWork.Build();
  Write(FHeader.data(), static_cast<Int64>(FHeader.size()));
  const Int64 dataAt = OutputPosition();

  bool unpackable = true;
  Int64 read = 0;
  if (!store) {
    const TLzhEncodeSettings& settings = FCompressMethod == cmFrozen5 ? kLzhEncodeLh5 : kLzhEncodeLh6;
    if (!EncodeLzh(*this, *FOutput, src, settings, false, unpackable, size, &read) || GetCancel()) return false;
    if (!unpackable && read != size) {
      ReportError(E.FileName, msg::ErrorReadingFile);
      return false;
    }
  }
  const Int64 written = OutputPosition() - headerAt;
  if (!unpackable && written < size) {
    FWork.PackedSize = static_cast<UInt32>(OutputPosition() - dataAt);
  } else {
    FOutput->SetSize(dataAt);
    FOutput->Seek(dataAt, soBeginning);
    FWork.Method[3] = '0';
    // The bytes the encoder read count again for the stored copy.
    ProgressBytesLeft += static_cast<double>(read);
    if (!StoreFile(E, src, size)) return false;
    FWork.PackedSize = static_cast<UInt32>(size);
  }
  FWork.Crc16 = Crc->Crc16;
  CheckOutputLimit(OutputPosition());
  RewriteHeader(headerAt);
  NoteSourceRead(E, src.Handle(), st);
  return true;
}

void TLha::MakeCentralRecord(TCompEntry& E) {
  // Kept as the fixed part and the CRC-16 (the name is the entry's RawName).
  E.Head.assign(kHeadImage, 0);
  std::memcpy(E.Head.data(), FHeader.data(), kLhaFixedSize);
  PutLE16(E.Head.data() + kLhaFixedSize, FWork.Crc16);
  E.Times = {FWork.UnpackedSize, FWork.PackedSize, FWork.DosDateTime, FWork.Attribute};
}

void TLha::FinishEntry(TCompEntry& E) {
  MakeCentralRecord(E);
  Fire(OnEnd, E.Name, Crc->Crc16 == FWork.Crc16);
}

void TLha::DescribeEntry(const TCompEntry& E) {
  FileName = E.Name;
  PackedSize = E.Times.PackedSize;
  UnpackedSize = E.Times.UnpackedSize;
  FileDate = E.Times.DosDateTime ? ConvertDosDate(E.Times.DosDateTime) : 0;
  ExternalAttr = E.Times.Attributes & 0xFF;
  const char letter = E.Head.size() == kHeadImage ? static_cast<char>(E.Head[5]) : '0';
  CRC = E.Head.size() == kHeadImage ? GetLE16(E.Head.data() + kLhaFixedSize) : 0;
  MethodNumber = static_cast<UInt16>(static_cast<Byte>(letter));
  TMethodQuery q;
  q.ArcType = atLha;
  q.Method = static_cast<Byte>(letter);
  q.IsDirectory = E.IsDir;
  MethodText = CompressMethodName(q);
  Encrypted = false;
  InternalAttr = 0;
  VersionMadeBy = VersionNeeded = 0;
  Ratio = static_cast<Byte>(CompressRatio(PackedSize, UnpackedSize));
  FileComment.clear();
}

// ---- the old archive

TLzhFamilyWriter::TOldHeader TLha::ReadOldEntry(Int64 Pos, TCompEntry& E) {
  const auto read = [this](Int64 At, void* Buffer, Int32 Count) { return ReadOldAt(At, Buffer, Count); };
  Byte fixed[kLhaFixedSize] = {};
  const Int32 got = read(Pos, fixed, kLhaFixedSize);
  TLhaHeader h;
  const TLhaStatus status = TLhaHeader::Parse(fixed, got, Pos, FOldSize, read, h);
  if (status == TLhaStatus::EndOfArchive) return TOldHeader::End;
  if (status != TLhaStatus::Ok || h.NextOffset() > FOldSize || !ChecksumHolds(Pos, h)) return TOldHeader::Damaged;
  E.IsDir = h.IsDirectory();
  E.Name = OemToAnsiName(h.StoredName(), TranslateOemChar);
  E.RawName = h.StoredName();
  const UInt32 time = h.HasUnixTime() ? FileTimeToLocalDos(static_cast<Int64>(h.TimeStamp)) : h.TimeStamp;
  UInt32 attr = h.Attribute;
  if (E.IsDir) attr |= kDirAttribute;
  E.Times = {h.UnpackedSize, h.PackedSize, time, attr};
  E.Head.assign(kHeadImage, 0);
  std::memcpy(E.Head.data(), fixed, kLhaFixedSize);
  PutLE32(E.Head.data() + 7, h.PackedSize);
  PutLE16(E.Head.data() + kLhaFixedSize, h.Crc16);
  E.OldLength = h.NextOffset() - Pos;
  return TOldHeader::Entry;
}

bool TLha::ChecksumHolds(Int64 Pos, const TLhaHeader& H) {
  // Levels 0 and 1 carry a checksum of the base header's bytes after the
  // first two; level 2 headers are checked by their own CRC when they have one.
  if (H.Level > 1) return true;
  Byte base[257];
  if (ReadOldAt(Pos, base, 1) != 1) return false;
  const Int32 size = base[0] + 2;
  if (ReadOldAt(Pos, base, size) != size) return false;
  unsigned sum = 0;
  for (Int32 i = 2; i < size; ++i) sum += base[i];
  return static_cast<Byte>(sum) == base[1];
}

bool TLha::SoundEnd(Int64 At) {
  // The end mark is one 0 byte; what follows it may only be zeros.
  Byte buf[4096];
  for (Int64 pos = At; pos < FOldSize;) {
    const Int32 n = ReadOldAt(pos, buf, static_cast<Int32>(sizeof buf));
    if (n <= 0 || std::any_of(buf, buf + n, [](Byte b) { return b != 0; })) return false;
    pos += n;
  }
  return true;
}

bool TLha::CopyOldEntry(TCompEntry& E) {
  if (E.State == esCopy) return TCompBase::CopyOldEntry(E);
  const auto read = [this](Int64 At, void* Buffer, Int32 Count) { return ReadOldAt(At, Buffer, Count); };
  Byte fixed[kLhaFixedSize] = {};
  const Int32 got = read(E.OldOffset, fixed, kLhaFixedSize);
  TLhaHeader h;
  if (TLhaHeader::Parse(fixed, got, E.OldOffset, FOldSize, read, h) != TLhaStatus::Ok) {
    ReportError(ArchiveFile(), E.Name, "0", msg::ErrorWritingToFile);
    return false;
  }
  TCompEntry named = E;
  named.Name = E.NewName;
  const std::string raw = EncodeEntryName(named);
  if (raw.size() > kLhaMaxLevel0Name) {
    ReportError(E.NewName, "name longer than 233 bytes", "0", msg::InvalidFileName);
    return false;
  }
  // The entry keeps its method, sizes, time, attribute and CRC; headers of
  // levels 1 and 2 become level 0, whose time is a DOS date-time.
  FWork = TLhaLevel0{};
  std::copy(h.Method.begin(), h.Method.end(), FWork.Method.begin());
  FWork.PackedSize = h.PackedSize;
  FWork.UnpackedSize = h.UnpackedSize;
  FWork.DosDateTime = h.HasUnixTime() ? FileTimeToLocalDos(static_cast<Int64>(h.TimeStamp)) : h.TimeStamp;
  FWork.Attribute = h.Level == 0 ? h.Attribute : h.IsDirectory() ? kDirAttribute : 0x20;
  FWork.Name = raw;
  FWork.Crc16 = h.Crc16;
  FHeader = FWork.Build();
  Write(FHeader.data(), static_cast<Int64>(FHeader.size()));
  CopyFromOld(h.DataOffset(), h.PackedSize);
  E.RawName = raw;
  MakeCentralRecord(E);
  return true;
}

bool TLha::FinishArchive() {
  ProgressEntryTotal = 0;
  ProgressArchiveTotal = ProgressBytesLeft = 0;
  const Byte endMark = 0;
  Write(&endMark, 1);
  return false;
}

}  // namespace vsk
