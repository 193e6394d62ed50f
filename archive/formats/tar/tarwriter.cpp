#include "archive/formats/tar/tarwriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>

#include "base/dates.h"
#include "archive/core/numbers.h"
#include "archive/core/selection.h"
#include "base/tempstream.h"

namespace vsk {

namespace {

constexpr Int64 kBlock = static_cast<Int64>(kTarHeaderSize);
constexpr Int32 kChunk = 1 << 20;
// Tar files are written in records of 20 blocks.
constexpr Int64 kRecord = 20 * kBlock;
// The largest size an 11-digit octal field holds.
constexpr Int64 kMaxOctalSize = 077777777777ll;
constexpr std::size_t kNameField = 100;
constexpr std::size_t kPrefixAt = 345;
constexpr std::size_t kPrefixSize = 155;

bool AllZero(const Byte* P, std::size_t N) {
  return std::all_of(P, P + N, [](Byte b) { return b == 0; });
}

UInt32 DosOf(Int64 UnixSeconds) { return DateTimeToDosDateTime(UnixTimeToDateTime(UnixSeconds)); }

UInt32 Clamp32(Int64 V) { return V < 0 ? 0 : V > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<UInt32>(V); }

bool EndsWithSlash(const std::string& s) { return !s.empty() && s.back() == '/'; }

// The pax records without those that name the entry ("path", and the real
// name of a sparse file), so that a renamed entry is not extracted under
// its old name. A malformed rest is kept as it stands.
std::string PaxWithoutPath(std::string_view All) {
  std::string kept;
  std::size_t pos = 0;
  while (pos < All.size()) {
    std::size_t i = pos, length = 0;
    while (i < All.size() && All[i] >= '0' && All[i] <= '9' && length <= All.size()) {
      length = length * 10 + static_cast<std::size_t>(All[i] - '0');
      ++i;
    }
    if (i == pos || i >= All.size() || All[i] != ' ' || length <= i - pos + 1 || length > All.size() - pos) break;
    const std::string_view record = All.substr(pos, length);
    const std::string_view body = record.substr(i - pos + 1);
    if (!body.starts_with("path=") && !body.starts_with("GNU.sparse.name=")) kept.append(record);
    pos += length;
  }
  // Zero padding of the record block ends the records.
  if (pos < All.size() && !AllZero(reinterpret_cast<const Byte*>(All.data()) + pos, All.size() - pos))
    kept.append(All.substr(pos));
  return kept;
}

}  // namespace

TTar::TTar() {
  FOwnExt = FDefaultExt = ".TAR";
  FArcType = atTar;
  FSupportedMethods = {cmTarred, cmTarGzip};
  FCompressMethod = cmTarred;
  StoredDirNames = sdRelative;
  RecurseDirs = true;
  // Tar keeps no offsets: the archive may pass 4 GiB (each file stays below).
  FLimit = ~UInt64{0};
}

void TTar::SetArcType(TArcType) { FArcType = FCompressMethod == cmTarGzip ? atTarGZip : atTar; }

// ---- new entries

TCompBase::TFormatTraits TTar::Traits() const {
  TFormatTraits t;
  // Tar entries carry no DOS attributes; the rule holds for plain tars.
  t.EntryAttributes = ArcType() != atTar;
  // A tar counts no entries: it holds any number.
  t.MaxEntries = SIZE_MAX;
  return t;
}

std::string TTar::EncodeEntryName(const TCompEntry& E) const {
  std::string name = E.Name;
  std::replace(name.begin(), name.end(), '\\', '/');
  if (E.IsDir && !EndsWithSlash(name)) name += '/';
  return name;
}

Int64 TTar::EntryTime(const TCompEntry& E, Int64 FileTime) const {
  if (E.IsDir) return FileTime;
  switch (DateAttribute) {
    case daFileDate:
      return FileTime;
    case daSysDate:
      return static_cast<Int64>(std::time(nullptr));
    case daMaxFileDate:
      return DateTimeToUnix(DosDateTimeToDateTime(static_cast<UInt32>(MaxFileDate)));
  }
  return FileTime;
}

void TTar::WritePadding(Int64 Count) {
  static const Byte zeros[kBlock] = {};
  while (Count > 0) {
    const Int64 n = std::min(Count, kBlock);
    Write(zeros, n);
    Count -= n;
  }
}

void TTar::WriteLongName(const std::string& Name) {
  Byte head[kTarHeaderSize];
  TarBuildLongNameHeader(Name.size(), head);
  Write(head, kBlock);
  Write(Name.c_str(), static_cast<Int64>(Name.size()) + 1);
  WritePadding(TarPaddedSize(static_cast<Int64>(Name.size()) + 1) - static_cast<Int64>(Name.size()) - 1);
}

bool TTar::WriteEntryData(TCompEntry& E) {
  CurrentFileName = E.Name;
  E.RawName = EncodeEntryName(E);
  if (UnixUName.size() > 32) UnixUName.resize(32);
  if (UnixGName.size() > 32) UnixGName.resize(32);

  TSourceFile source;
  struct stat& st = source.St;
  if (E.IsDir) {
    if (stat(E.FileName.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      ReportError(E.FileName, msg::ErrorOpeningFile);
      return false;
    }
  } else if (!OpenSourceFile(E.FileName, source, static_cast<UInt64>(kMaxOctalSize) + 1, "file of 8 GiB or more")) {
    return false;
  }
  TFileStream32* src = source.Stream.get();
  const Int64 size = E.IsDir ? 0 : static_cast<Int64>(st.st_size);
  E.FileSize = static_cast<UInt64>(size);
  E.FileMode = st.st_mode;

  TTarNewHeader h;
  h.Name = E.RawName;
  h.Mode = (E.IsDir ? S_IFDIR : S_IFREG) | (st.st_mode & 0777);
  h.Uid = UnixUID;
  h.Gid = UnixGID;
  h.Size = size;
  h.MTime = EntryTime(E, st.st_mtime);
  h.TypeFlag = E.IsDir ? kTarTypeDirectory : kTarTypeFile;
  h.UName = UnixUName;
  h.GName = UnixGName;
  TarBuildHeader(h, FHeader);
  if (E.RawName.size() > kNameField) WriteLongName(E.RawName);
  Write(FHeader, kBlock);

  if (!E.IsDir) {
    ProgressEntryTotal = size;
    if (FCopyBuffer.size() < static_cast<std::size_t>(kChunk)) FCopyBuffer.resize(kChunk);
    Int64 done = 0;
    while (done < size) {
      if (GetCancel()) return false;
      const Int32 want = static_cast<Int32>(std::min<Int64>(size - done, kChunk));
      const Int32 n = src->Read(FCopyBuffer.data(), want);
      if (n <= 0) {
        // The file shrank while it was read: its header is wrong now.
        ReportError(E.FileName, msg::ErrorReadingFile);
        return false;
      }
      Write(FCopyBuffer.data(), n);
      done += n;
      ProgressBytesLeft -= n;
      ProgressRoutine(done);
    }
    if (GetCancel()) return false;
    WritePadding(TarPaddedSize(size) - size);
    NoteSourceRead(E, src->Handle(), st);
  }
  return true;
}

void TTar::FinishEntry(TCompEntry& E) {
  MakeCentralRecord(E);
  TCompBase::FinishEntry(E);
}

void TTar::MakeCentralRecord(TCompEntry& E) {
  E.Head.assign(FHeader, FHeader + kTarHeaderSize);
  TTarHeader h;
  h.Parse(FHeader);
  const UInt32 size = Clamp32(h.Size);
  E.Times = {size, size, DosOf(h.MTime), h.TypeFlag == kTarTypeDirectory ? 0x10u : 0x20u};
}

void TTar::DescribeEntry(const TCompEntry& E) {
  FileName = E.Name;
  FileDate = ConvertDosDate(E.Times.DosDateTime);
  PackedSize = E.Times.PackedSize;
  UnpackedSize = E.Times.UnpackedSize;
  TTarHeader h;
  if (E.Head.size() == kTarHeaderSize) h.Parse(E.Head.data());
  CRC = h.Checksum;
  Encrypted = false;
  MethodNumber = 0;
  TMethodQuery q;
  q.ArcType = atTar;
  MethodText = CompressMethodName(q);
  ExternalAttr = faArchive;
  InternalAttr = 0;
  Ratio = static_cast<Byte>(CompressRatio(PackedSize, UnpackedSize));
  FileComment.clear();
}

// ---- the old archive

bool TTar::ReadRecordData(Int64 Header, Int64 Size, std::vector<Byte>& Data) {
  if (Size < 0 || Size > static_cast<Int64>(kTarMaxExtendedData)) return false;
  Data.resize(static_cast<std::size_t>(Size));
  return Size == 0 || ReadOld(Header + kBlock, Data.data(), Size);
}

bool TTar::LoadOldDirectory() {
  FGroups.clear();
  FMarkedForDelete = 0;
  const auto refuse = [this](Int64 At) {
    ReportError(ArchiveFile(), "at offset " + std::to_string(At), "0", msg::BadFileHeader);
    FEntries.clear();
    FNameIndex.clear();
    FGroups.clear();
    return false;
  };

  const auto read = [this](Int64 Pos, void* Buffer, Int32 Count) -> Int32 {
    return ReadOld(Pos, Buffer, Count) ? Count : 0;
  };
  TTarWalker walker(FOldSize, read);
  TTarEntry old;
  Int64 pos = 0;
  for (;;) {
    if (GetCancel()) return false;
    const TTarStatus status = walker.Next(pos, old);
    if (status == TTarStatus::End) {
      // Records in front of nothing would be lost by an update.
      if (!old.Records.empty()) return refuse(old.Records.back().Offset);
      break;
    }
    if (status != TTarStatus::Ok) return refuse(walker.FailedAt());
    // Every record is copied whole, and the data of the entry with it.
    for (const TTarRecord& r : old.Records)
      if ((r.TypeFlag == kTarTypeGnuLongName || r.TypeFlag == kTarTypePaxEntry ||
           r.TypeFlag == kTarTypeSolarisExtended) &&
          r.Size > static_cast<Int64>(kTarMaxExtendedData))
        return refuse(r.Offset);
    if (old.NextOffset > FOldSize) return refuse(old.HeaderOffset);

    TCompEntry e;
    e.Name = OemToAnsiName(old.Name, TranslateOemChar);
    // "./a" names the same file as "a"; the stored bytes stay as they are.
    while (e.Name.size() > 2 && e.Name.compare(0, 2, "./") == 0) e.Name.erase(0, 2);
    e.RawName = old.Name;
    e.Head.assign(old.Block.begin(), old.Block.end());
    e.IsOld = true;
    e.IsDir = old.IsDirectory();
    e.Times = {Clamp32(old.Size), Clamp32(old.Sparse ? old.StoredSize : old.Size), DosOf(old.MTime),
               e.IsDir ? 0x10u : 0x20u};
    e.OldOffset = old.Offset;
    e.OldLength = old.NextOffset - old.Offset;
    e.State = esCopy;
    UnpackedTotal += static_cast<double>(old.NextOffset - old.Offset);
    std::vector<Int64> records;
    for (const TTarRecord& r : old.Records) records.push_back(r.Offset);
    FGroups[old.Offset] = {std::move(records), old.HeaderOffset, old.NextOffset};
    FEntries.push_back(std::move(e));
    pos = old.NextOffset;
  }

  MarkOldEntries();
  return true;
}

bool TTar::CopyRecord(Int64 At) {
  Byte head[kTarHeaderSize];
  if (!ReadOld(At, head, kBlock)) return false;
  TTarHeader h;
  h.Parse(head);
  if (h.TypeFlag == kTarTypeGnuLongName) return true;  // the new name replaces it
  if (h.TypeFlag == kTarTypePaxEntry || h.TypeFlag == kTarTypeSolarisExtended) {
    std::vector<Byte> data;
    if (!ReadRecordData(At, h.Size, data)) return false;
    const std::string kept = PaxWithoutPath(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    if (kept.empty()) return true;
    std::memset(head + 124, 0, 12);
    const std::string digits = IntToOctalField(kept.size(), 11);
    std::memcpy(head + 124, digits.data(), 11);
    TarStoreChecksum(head);
    Write(head, kBlock);
    Write(kept.data(), static_cast<Int64>(kept.size()));
    WritePadding(TarPaddedSize(static_cast<Int64>(kept.size())) - static_cast<Int64>(kept.size()));
    return true;
  }
  CopyFromOld(At, kBlock + TarPaddedSize(h.Size));
  return true;
}

bool TTar::CopyOldEntry(TCompEntry& E) {
  if (E.State == esCopy) return TCompBase::CopyOldEntry(E);
  const auto it = FGroups.find(E.OldOffset);
  if (it == FGroups.end()) {
    ReportError(ArchiveFile(), E.Name, "0", msg::ErrorWritingToFile);
    return false;
  }
  const TOldGroup& g = it->second;
  for (const Int64 at : g.Records) {
    if (!CopyRecord(at)) {
      ReportError(ArchiveFile(), E.Name, "0", msg::ErrorWritingToFile);
      return false;
    }
  }
  Byte head[kTarHeaderSize];
  if (!ReadOld(g.Header, head, kBlock)) {
    ReportError(ArchiveFile(), E.Name, "0", msg::ErrorWritingToFile);
    return false;
  }
  std::string name = E.NewName;
  std::replace(name.begin(), name.end(), '\\', '/');
  if (E.IsDir && !EndsWithSlash(name)) name += '/';
  if (name.size() > kNameField) WriteLongName(name);
  std::memset(head, 0, kNameField);
  std::memcpy(head, name.data(), std::min(name.size(), kNameField));
  // A POSIX header puts its prefix in front of the name.
  if (std::memcmp(head + 257, "ustar\0", 6) == 0) std::memset(head + kPrefixAt, 0, kPrefixSize);
  TarStoreChecksum(head, true);
  Write(head, kBlock);
  CopyFromOld(g.Header + kBlock, g.End - g.Header - kBlock);
  E.RawName = name;
  E.Head.assign(head, head + kTarHeaderSize);
  return true;
}

// ---- finishing

bool TTar::FinishArchive() {
  ProgressEntryTotal = 0;
  ProgressArchiveTotal = ProgressBytesLeft = 0;
  const Int64 end = OutputPosition() + 2 * kBlock;
  WritePadding(2 * kBlock + (kRecord - end % kRecord) % kRecord);
  return false;
}

}  // namespace vsk
