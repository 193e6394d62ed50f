#include "archive/formats/tar/untar.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

constexpr char kTypeCharDevice = '3';
constexpr char kTypeBlockDevice = '4';
constexpr char kTypeFifo = '6';

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

// 0 is a time like any other, 1970-01-01 (which a DOS date-time holds as
// 1980-01-01 00:00, as every time before 1980), not an unset one.
UInt32 DosOf(Int64 UnixSeconds) {
  if (UnixSeconds == 0) return FileTimeToLocalDos(UnixSeconds);
  return DateTimeToDosDateTime(UnixTimeToDateTime(UnixSeconds));
}

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

void TUnTar::WalkEntries(const std::function<void(TItem&)>& Take) {
  const auto read = [this](Int64 Pos, void* Buffer, Int32 Count) { return ReadAt(Pos, Buffer, Count); };
  TTarWalker walker(ArchiveStream->GetSize(), read);
  // Every file's data by name, for the hard links after it.
  std::unordered_map<std::string, TItem> files;
  TTarEntry e;
  Int64 offset = 0;

  while (!GetCancel()) {
    const TTarStatus status = walker.Next(offset, e);
    if (status == TTarStatus::End) break;
    if (status != TTarStatus::Ok) {
      // A header cut short, or damage where a header belongs: the entries
      // after it are lost.
      ReportError(ArchiveFile(), status == TTarStatus::Truncated ? msg::ErrorReadingFile : msg::BadFileHeader);
      break;
    }
    offset = e.NextOffset;

    TItem item;
    item.DataOffset = e.DataOffset;
    item.Size = e.Size;
    item.MTime = e.MTime;
    item.Directory = e.IsDirectory();
    item.Mode = static_cast<UInt32>(e.Header.Mode & 0777);
    bool hasData = false;  // its data can serve a later hard link
    switch (e.TypeFlag) {
      case kTarTypeDirectory:
      case kTarTypeGnuDumpDir:
        break;
      case 0:
      case kTarTypeFile:
      case kTarTypeContiguous:
      case kTarTypeGnuSparse:
        hasData = !item.Directory;
        break;
      case kTarTypeHardLink: {
        if (e.StoredSize > 0) {
          hasData = true;
          break;
        }
        // The copy of an earlier entry's data stands in for the link. Read
        // as a stream, those data were checked with their entry already.
        if (const auto t = files.find(LinkKey(e.LinkName)); t != files.end() && FStreamed) {
          item.Size = 0;
        } else if (t != files.end()) {
          item.DataOffset = t->second.DataOffset;
          item.Size = t->second.Size;
          item.StoredSize = t->second.StoredSize;
          item.Sparse = t->second.Sparse;
          item.IsSparse = t->second.IsSparse;
          hasData = true;
        } else {
          item.Refusal = "hard link to " + e.LinkName;
          item.LinkReason = kHardLinkReason;
          item.LinkTarget = e.LinkName;
        }
        break;
      }
      case kTarTypeSymLink:
        item.Refusal = "symbolic link to " + e.LinkName;
        item.LinkReason = kSymbolicLinkReason;
        item.LinkTarget = e.LinkName;
        break;
      case kTypeCharDevice:
      case kTypeBlockDevice:
      case kTypeFifo:
        item.Refusal = "device or pipe";
        break;
      default:
        item.Refusal = std::string("entry of type '") + e.TypeFlag + "'";
        break;
    }
    item.StoredSize = e.StoredSize;
    if (hasData && e.Sparse) {
      if (e.SparseUnreadable) {
        item.Refusal = "sparse file";
        hasData = false;
      } else {
        item.Sparse = std::move(e.SparseMap);
        item.IsSparse = true;
      }
    }
    // A stream keeps no data to copy: the name alone serves.
    if (hasData) files[LinkKey(e.Name)] = FStreamed ? TItem{} : item;

    item.Name = OemToAnsiName(e.Name, TranslateOemChar && !e.NameIsUtf8);
    if (IsEntrySelected(item.Name, FileSpec, ExcludeSpec, RecurseDirs)) {
      const UInt32 dos = DosOf(e.MTime);
      if (dos > NewestEntryDate) NewestEntryDate = dos;
      if (!item.Directory) {
        PackedTotal += static_cast<double>(item.IsSparse ? item.StoredSize : item.Size);
        UnpackedTotal += static_cast<double>(item.Size);
      }
      Take(item);
    }
  }
}

void TUnTar::ListEntries() {
  WalkEntries([this](TItem& Item) { FItems.push_back(std::move(Item)); });
}

int TUnTar::TestStream(const std::string& Name, std::unique_ptr<TStream32> Stream) {
  FArchiveFile = Name;
  FArcType = atTar;
  FStream = std::move(Stream);
  const int files = TestArchive();
  FStream.reset();
  return files;
}

bool TUnTar::OpensOwnArchive() const { return FStreamed || FStream || TUnBase::OpensOwnArchive(); }

void TUnTar::ExtractArchive() {
  struct TClear {
    std::vector<TItem>& Items;
    ~TClear() {
      Items.clear();
      Items.shrink_to_fit();
    }
  } clear{FItems};
  FItems.clear();
  if (FStream) {
    // A stream is walked once: each entry is tested as it comes.
    ArchiveStream = std::move(FStream);
    FStreamed = true;
    struct TDone {
      bool& Streamed;
      ~TDone() { Streamed = false; }
    } done{FStreamed};
    WalkEntries([this](TItem& Item) {
      ProgressArchiveTotal = ProgressBytesLeft = static_cast<double>(Item.Size);
      ExtractItem(Item);
    });
    return;
  }
  // Types read through an outside library leave the archive unopened.
  if (!ArchiveStream) {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
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
  if (Item.LinkReason) {
    RefuseLink(info, Item.LinkTarget, Item.LinkReason);
  } else if (!Testing() && !Item.Refusal.empty()) {
    info.RefusalCode = msg::UnknownFileType;
    info.RefusalDetail = Item.Refusal;
  }
  TReaderEntry entry = StartEntry(info);
  if (!entry) return;
  if (Item.Directory) {
    CreateEntryFolder();
    return;
  }

  Crc->Reset();
  int handle = -1;
  if (!entry.Open(handle)) {
    // Nothing was written: not counted (the base took it back), and not a pass.
    SkipEntryData(Item.Size);
    entry.End(false);
    return;
  }
  ResetTranslation();
  ProgressEntryTotal = Item.Size;
  Int64 left = Item.Size;
  try {
    if (Item.IsSparse)
      left = CopySparseData(Item, handle);
    else if (ArchiveStream->Seek(Item.DataOffset, soBeginning) == Item.DataOffset)
      left = CopyStoredData(*this, -1, handle, TStoredInfo{.StoredSize = Item.Size}, kCrc32, ArchiveStream.get());
  } catch (const EVskError& e) {
    // The staged output is the base's: nothing of it stays.
    if (e.Code == msg::DiskFull) throw;
    entry.End(false);  // the write error was reported where it was raised
    return;
  }
  if (left > 0) {
    ProgressBytesLeft -= static_cast<double>(left);
    if (ProgressBytesLeft < 0) ProgressBytesLeft = 0;
  }

  // The output takes the entry's time to the second, not only as far as a
  // DOS date-time holds it.
  TDateTime exact = 0;
  const bool exactTime = TryUnixTimeToDateTime(Item.MTime, exact);
  const int timeHandle =
      handle >= 0 && DateAttribute == daFileDate && exactTime ? fcntl(handle, F_DUPFD_CLOEXEC, 0) : -1;
  entry.Close(handle, EntryDosDateTime, 0x20);
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
    ReportError(OutputName, msg::ErrorReadingFile);
    entry.End(false);
    return;
  }
  // Tar keeps no data checksum: a complete copy passes.
  entry.End(true);
}

Int64 TUnTar::CopySparseData(const TItem& Item, int Handle) {
  std::vector<Byte> buf(kStoredCopyChunk);
  Int64 at = 0;                // bytes of the file written
  Int64 from = Item.DataOffset;  // the next filled bytes in the archive
  std::size_t part = 0;
  while (at < Item.Size && !GetCancel()) {
    // Inside a filled part the archive's bytes, else zeros up to the next part.
    const bool filled = part < Item.Sparse.size() && at >= Item.Sparse[part].Offset;
    const Int64 until = filled ? Item.Sparse[part].Offset + Item.Sparse[part].Length
                               : part < Item.Sparse.size() ? Item.Sparse[part].Offset : Item.Size;
    if (until <= at) {
      ++part;
      continue;
    }
    // A hole stays a hole: the output is moved past all of it at once, and
    // its size set at the end, instead of being filled with written zeros.
    const Int64 n = filled || Handle < 0 ? std::min<Int64>(until - at, kStoredCopyChunk) : until - at;
    if (filled) {
      if (ReadAt(from, buf.data(), static_cast<Int32>(n)) != n) break;
      from += n;
      DecryptWriteRoutine(Handle, buf.data(), true, static_cast<Int32>(n), kCrc32, nullptr, false);
    } else if (Handle >= 0) {
      // A hole past the largest file the file system takes cannot be
      // written: a write failure, as a write there would be.
      if (lseek(Handle, static_cast<off_t>(n), SEEK_CUR) < 0) FailSparseWrite();
    } else {
      std::fill_n(buf.begin(), n, Byte{0});
      DecryptWriteRoutine(Handle, buf.data(), true, static_cast<Int32>(n), kCrc32, nullptr, false);
    }
    at += n;
    ProgressBytesLeft -= n;
    DoProgress(at);
  }
  if (Handle >= 0 && at == Item.Size && ftruncate(Handle, static_cast<off_t>(Item.Size)) != 0) FailSparseWrite();
  return Item.Size - at;
}

void TUnTar::FailSparseWrite() {
  if (errno == EINVAL) errno = EFBIG;
  RaiseError(OutputName, "", "0", msg::ErrorWritingToFile);
}

}  // namespace vsk
