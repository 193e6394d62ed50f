#include "archive/formats/tar/untar.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "base/dates.h"
#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "archive/core/storedcopy.h"
#include "archive/formats/tar/tarheader.h"

namespace vsk {

namespace {

constexpr Int32 kBlock = static_cast<Int32>(kTarHeaderSize);

constexpr char kTypeCharDevice = '3';
constexpr char kTypeBlockDevice = '4';
constexpr char kTypeFifo = '6';
constexpr char kTypeGnuDumpDir = 'D';
constexpr char kTypeGnuSparse = 'S';
constexpr char kTypeSolarisExtended = 'X';

// Old GNU sparse headers: the flag at 482 says a 512-byte block of more
// sparse map follows the header; the same flag at 504 of that block says
// another one follows it.
constexpr std::size_t kSparseExtendedFlag = 482;
constexpr std::size_t kSparseBlockExtendedFlag = 504;

bool AllZero(const Byte* P, std::size_t N) {
  return std::all_of(P, P + N, [](Byte b) { return b == 0; });
}

// The name a hard link gives for its target and the name of the target
// itself are compared without the "./" and "/" writers put in front and
// without a trailing "/".
std::string LinkKey(std::string_view Name) {
  for (;;) {
    if (Name.starts_with("/"))
      Name.remove_prefix(1);
    else if (Name.starts_with("./"))
      Name.remove_prefix(2);
    else
      break;
  }
  while (Name.ends_with("/")) Name.remove_suffix(1);
  return std::string(Name);
}

// A name made of nothing but "." and separators is the destination itself.
bool NamesSomething(std::string_view Name) {
  std::size_t i = 0;
  while (i <= Name.size()) {
    const std::size_t j = std::min(Name.find('/', i), Name.size());
    const std::string_view part = Name.substr(i, j - i);
    if (!part.empty() && part != ".") return true;
    i = j + 1;
  }
  return false;
}

UInt32 DosOf(Int64 UnixSeconds) { return DateTimeToDosDateTime(UnixTimeToDateTime(UnixSeconds)); }

}  // namespace

Int32 TUnTar::ReadAt(Int64 Position, void* Buffer, Int32 Count) {
  if (Position < 0 || ArchiveStream->Seek(Position, soBeginning) != Position) return 0;
  Int32 done = 0;
  while (done < Count) {
    const Int32 n =
        ReadRoutine(-1, ArchiveStream.get(), static_cast<Byte*>(Buffer) + done, Count - done, kCrcNone, false);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

bool TUnTar::ReadExtended(Int64 Position, Int64 Size, std::vector<Byte>& Data) {
  Data.clear();
  const Int64 want = std::min<Int64>(Size, static_cast<Int64>(kTarMaxExtendedData));
  if (want <= 0) return true;
  // Nothing is allocated for data the archive does not hold.
  if (want > ArchiveStream->GetSize() - Position) return false;
  Data.resize(static_cast<std::size_t>(want));
  const Int32 got = ReadAt(Position, Data.data(), static_cast<Int32>(want));
  Data.resize(static_cast<std::size_t>(std::max<Int32>(got, 0)));
  return got == want;
}

void TUnTar::ListEntries() {
  const Int64 end = ArchiveStream->GetSize();
  auto next = [end](Int64 DataAt, Int64 Size) {
    const Int64 padded = TarPaddedSize(Size);
    return padded >= end - DataAt ? end : DataAt + padded;
  };
  // Every file's data by name, for the hard links after it.
  std::unordered_map<std::string, std::pair<Int64, Int64>> files;
  std::optional<std::string> longName, longLink;
  std::optional<TTarPaxInfo> pax;
  std::vector<Byte> ext;
  Byte block[kTarHeaderSize];
  Int64 offset = 0;

  while (!GetCancel()) {
    const Int32 got = ReadAt(offset, block, kBlock);
    if (got < kBlock) {
      // A header cut short; zero bytes there are only the end blocks cut.
      if (got > 0 && !AllZero(block, static_cast<std::size_t>(got)))
        ReportError(ArchiveFile(), "", "0", msg::ErrorReadingFile);
      break;
    }
    if (AllZero(block, kTarHeaderSize)) break;
    TTarHeader h;
    h.Parse(block);
    if (!h.Valid) {
      // Damage where a header belongs: the entries after it are lost.
      ReportError(ArchiveFile(), "", "0", msg::BadFileHeader);
      break;
    }
    Int64 dataAt = offset + kBlock;
    Int64 size = h.Size;

    switch (h.TypeFlag) {
      case kTarTypeGnuLongName:
      case kTarTypeGnuLongLink:
      case kTarTypePaxEntry:
      case kTypeSolarisExtended:
        if (!ReadExtended(dataAt, size, ext)) {
          ReportError(ArchiveFile(), "", "0", msg::ErrorReadingFile);
          return;
        }
        if (h.TypeFlag == kTarTypeGnuLongName) {
          longName = TarLongName(ext.data(), ext.size());
        } else if (h.TypeFlag == kTarTypeGnuLongLink) {
          longLink = TarLongName(ext.data(), ext.size());
        } else {
          pax = TTarPaxInfo{};
          pax->Parse(ext.data(), ext.size());
        }
        offset = next(dataAt, size);
        continue;
      case kTarTypePaxGlobal:
      case kTarTypeGnuVolume:
        offset = next(dataAt, size);
        continue;
      default:
        break;
    }

    // What the records before it said applies to this entry only.
    std::string raw = h.FullName();
    bool utf8 = false;
    if (pax && pax->HasPath) {
      raw = pax->Path;
      utf8 = true;
    }
    if (longName && !longName->empty()) {
      raw = *longName;
      utf8 = false;
    }
    std::string link = h.LinkName;
    if (pax && pax->HasLinkPath) link = pax->LinkPath;
    if (longLink && !longLink->empty()) link = *longLink;
    const bool sizeFromPax = pax && pax->HasSize;
    if (sizeFromPax) size = pax->Size;
    const Int64 mtime = pax && pax->HasMTime ? pax->MTime : h.MTime;
    const bool paxSparse = pax && pax->Sparse;
    longName.reset();
    longLink.reset();
    pax.reset();

    TItem item;
    item.DataOffset = dataAt;
    item.Size = size;
    item.MTime = mtime;
    item.Mode = static_cast<UInt32>(h.Mode & 0777);
    bool hasData = false;  // its data can serve a later hard link
    switch (h.TypeFlag) {
      case kTarTypeDirectory:
      case kTypeGnuDumpDir:
        item.Directory = true;
        break;
      case 0:
      case kTarTypeFile:
      case kTarTypeContiguous:
        // Old archives mark a folder by the separator after its name alone.
        item.Directory = !raw.empty() && raw.back() == '/';
        hasData = !item.Directory;
        break;
      case kTarTypeHardLink: {
        // Most writers put no data after a hard link even when they fill in
        // the size; only a pax size, or bytes that are no header, are data.
        if (size > 0 && !sizeFromPax) {
          Byte probe[kTarHeaderSize];
          bool noData = ReadAt(dataAt, probe, kBlock) < kBlock || AllZero(probe, kTarHeaderSize);
          if (!noData) {
            TTarHeader after;
            after.Parse(probe);
            noData = after.Valid;
          }
          if (noData) size = 0;
        }
        if (size > 0) {
          item.Size = size;
          hasData = true;
          break;
        }
        // The copy of an earlier entry's data stands in for the link.
        if (const auto t = files.find(LinkKey(link)); t != files.end()) {
          item.DataOffset = t->second.first;
          item.Size = t->second.second;
          hasData = true;
        } else {
          item.Size = 0;
          item.Refusal = "hard link to " + link;
        }
        break;
      }
      case kTarTypeSymLink:
        item.Refusal = "symbolic link to " + link;
        break;
      case kTypeCharDevice:
      case kTypeBlockDevice:
      case kTypeFifo:
        item.Refusal = "device or pipe";
        break;
      case kTypeGnuSparse:
        item.Refusal = "sparse file";
        if (block[kSparseExtendedFlag] != 0) {
          Byte more[kTarHeaderSize];
          do {
            if (ReadAt(dataAt, more, kBlock) < kBlock) {
              dataAt = end;
              break;
            }
            dataAt += kBlock;
          } while (more[kSparseBlockExtendedFlag] != 0 && !GetCancel());
          item.DataOffset = dataAt;
        }
        break;
      default:
        item.Refusal = std::string("entry of type '") + h.TypeFlag + "'";
        break;
    }
    if (hasData && paxSparse) {
      item.Refusal = "sparse file";
      hasData = false;
    }
    if (hasData) files[LinkKey(raw)] = {item.DataOffset, item.Size};

    item.Name = OemToAnsiName(raw, TranslateOemChar && !utf8);
    if (IsEntrySelected(item.Name, FileSpec, ExcludeSpec, RecurseDirs)) {
      const UInt32 dos = DosOf(mtime);
      if (dos > NewestEntryDate) NewestEntryDate = dos;
      if (!item.Directory) {
        PackedTotal += static_cast<double>(item.Size);
        UnpackedTotal += static_cast<double>(item.Size);
      }
      FItems.push_back(std::move(item));
    }
    offset = next(dataAt, size);
  }
}

void TUnTar::ExtractArchive() {
  struct TClear {
    std::vector<TItem>& Items;
    ~TClear() {
      Items.clear();
      Items.shrink_to_fit();
    }
  } clear{FItems};
  FItems.clear();
  // Types read through an outside library leave the archive unopened.
  if (!ArchiveStream) {
    ReportError(ArchiveFile(), "", "0", msg::UnsupportedArcType);
    return;
  }
  ListEntries();
  if (FItems.empty()) return;
  ProgressArchiveTotal = ProgressBytesLeft = UnpackedTotal;
  for (const auto& item : FItems) {
    if (GetCancel()) break;
    ExtractItem(item);
  }
}

void TUnTar::ExtractItem(const TItem& Item) {
  if (Item.Directory && (Testing() || !NamesSomething(Item.Name))) return;
  TEntryInfo info;
  info.Name = Item.Name;
  info.UnpackedSize = Item.Directory ? 0 : Item.Size;
  info.DosDateTime = DosOf(Item.MTime);
  info.Directory = Item.Directory;
  info.UnixMode = Item.Mode;
  // Nothing is made that could point elsewhere: no link, no device.
  if (!Testing() && !Item.Refusal.empty()) {
    info.RefusalCode = msg::UnknownFileType;
    info.RefusalDetail = Item.Refusal;
  }
  if (!StartEntry(info)) return;
  if (Item.Directory) {
    CreateEntryFolder();
    return;
  }

  Crc->Reset();
  int handle = -1;
  if (!OpenOutputFile(handle)) {
    // Nothing was written: not counted (the base took it back), and not a pass.
    SkipEntryData(Item.Size);
    FailVerdict();
    return;
  }
  ResetTranslation();
  ProgressEntryTotal = Item.Size;
  Int64 left = Item.Size;
  try {
    if (ArchiveStream->Seek(Item.DataOffset, soBeginning) == Item.DataOffset)
      left = CopyStoredData(*this, -1, handle, TStoredInfo{.StoredSize = Item.Size}, kCrc32, ArchiveStream.get());
  } catch (const EVskError& e) {
    // The staged output is the base's: nothing of it stays.
    if (e.Code == msg::DiskFull) throw;
    FailVerdict();  // the write error was reported where it was raised
    return;
  }
  if (left > 0) {
    ProgressBytesLeft -= static_cast<double>(left);
    if (ProgressBytesLeft < 0) ProgressBytesLeft = 0;
  }

  // The output takes the entry's time to the second, not only as far as a
  // DOS date-time holds it.
  TDateTime exact = 0;
  const bool exactTime = Item.MTime != 0 && TryUnixTimeToDateTime(Item.MTime, exact);
  const int timeHandle =
      handle >= 0 && DateAttribute == daFileDate && exactTime ? fcntl(handle, F_DUPFD_CLOEXEC, 0) : -1;
  CloseOutputFile(handle, EntryDosDateTime, 0x20);
  if (timeHandle >= 0) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(Item.MTime);
    times[1].tv_nsec = 0;
    futimens(timeHandle, times);
    ::close(timeHandle);
  }

  if (left > 0 && !GetCancel()) {
    // The archive ends inside the entry's data.
    ReportError(OutputName, "", "0", msg::ErrorReadingFile);
    FailVerdict();
    return;
  }
  // Tar keeps no data checksum: the running value is its own stored value,
  // so a complete copy passes.
  CheckCrc(kCrc32, Crc->Crc32);
}

}  // namespace vsk
