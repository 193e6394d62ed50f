#include "libs/rar/rarvolume.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "base/checksum.h"
#include "base/dates.h"
#include "base/records/rarheader.h"
#include "base/records/ziprecords.h"
#include "base/records/elf.h"
#include "libs/rar/unrarlib.h"

namespace vsk::unrar {

namespace {

constexpr Byte kRar5Marker[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
// A self-extractor's program is searched for the marker on 16-byte steps
// within its first 128 KiB (from the end of an ELF image).
constexpr Int64 kSfxSearch = 128 * 1024;
constexpr Int64 kSfxStep = 16;
// RAR5 limits a header to 2 MiB.
constexpr UInt64 kRar5MaxHeader = 2 * 1024 * 1024;

constexpr UInt16 kRarMainOldComment = 0x0002;
constexpr UInt16 kRarMainPassword = 0x0080;
constexpr UInt16 kRarEndNextVolume = 0x0001;

enum : UInt64 {
  kHead5Main = 1,
  kHead5File = 2,
  kHead5Service = 3,
  kHead5Encryption = 4,
  kHead5End = 5,
};
enum : UInt64 {
  kFlag5Extra = 0x01,
  kFlag5Data = 0x02,
  kFlag5SplitBefore = 0x08,
  kFlag5SplitAfter = 0x10,
};
enum : UInt64 {
  kFile5Directory = 0x01,
  kFile5UnixTime = 0x02,
  kFile5Crc = 0x04,
};
enum : UInt64 {
  kExtra5Encryption = 1,
  kExtra5Time = 3,
  kExtra5Redirection = 5,
};
constexpr UInt64 kMain5Volume = 0x01;
constexpr UInt64 kMain5Solid = 0x04;
constexpr UInt64 kCompression5Solid = 0x40;

constexpr UInt32 kUnixTypeMask = 0xF000;
constexpr UInt32 kUnixLink = 0xA000;

// Little-endian fields and RAR5 variable-length numbers (7 bits a byte,
// low first, the high bit marking that more follow) from a bounded buffer.
class TFieldReader {
 public:
  TFieldReader(const Byte* Data, std::size_t Size) : Data_(Data), Size_(Size) {}

  bool VInt(UInt64& Value) {
    Value = 0;
    for (int shift = 0; shift < 64 && Pos_ < Size_; shift += 7) {
      const Byte b = Data_[Pos_++];
      Value |= static_cast<UInt64>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  bool U32(UInt32& Value) {
    if (Size_ - Pos_ < 4) return false;
    Value = GetLE32(Data_ + Pos_);
    Pos_ += 4;
    return true;
  }
  bool U64(UInt64& Value) {
    UInt32 lo = 0, hi = 0;
    if (!U32(lo) || !U32(hi)) return false;
    Value = static_cast<UInt64>(hi) << 32 | lo;
    return true;
  }
  bool Text(UInt64 Length, std::string& Out) {
    if (Length > Size_ - Pos_) return false;
    Out.assign(reinterpret_cast<const char*>(Data_ + Pos_), static_cast<std::size_t>(Length));
    Pos_ += static_cast<std::size_t>(Length);
    return true;
  }
  void Skip(UInt64 Count) { Pos_ += static_cast<std::size_t>(std::min<UInt64>(Count, Size_ - Pos_)); }
  std::size_t Pos() const { return Pos_; }

 private:
  const Byte* Data_;
  std::size_t Size_;
  std::size_t Pos_ = 0;
};

bool AddFits(Int64 A, UInt64 B) { return B <= static_cast<UInt64>(std::numeric_limits<Int64>::max() - A); }

UInt32 UnixToDos(Int64 Seconds) { return FileTimeToLocalDos(Seconds); }

// Windows FILETIME (100 ns since 1601) to Unix seconds.
Int64 FileTimeToUnix(UInt64 FileTime) { return static_cast<Int64>(FileTime / 10000000u) - 11644473600LL; }

bool ParseRar5Extra(const Byte* Data, std::size_t Size, TRarEntryInfo& E, bool HaveTime) {
  TFieldReader r(Data, Size);
  while (r.Pos() < Size) {
    UInt64 recordSize = 0, type = 0;
    if (!r.VInt(recordSize) || recordSize == 0 || recordSize > Size - r.Pos()) return false;
    const std::size_t start = r.Pos();
    TFieldReader f(Data + start, static_cast<std::size_t>(recordSize));
    r.Skip(recordSize);
    if (!f.VInt(type)) return false;
    if (type == kExtra5Encryption) {
      E.Flags |= RHDF_ENCRYPTED;
    } else if (type == kExtra5Time && !HaveTime) {
      UInt64 flags = 0;
      if (!f.VInt(flags) || (flags & 0x02) == 0) continue;
      if (flags & 0x01) {
        UInt32 t = 0;
        if (f.U32(t)) E.FileTime = UnixToDos(t);
      } else {
        UInt64 t = 0;
        if (f.U64(t)) E.FileTime = UnixToDos(FileTimeToUnix(t));
      }
    } else if (type == kExtra5Redirection) {
      UInt64 redirType = 0, flags = 0, length = 0;
      if (!f.VInt(redirType) || !f.VInt(flags) || !f.VInt(length) || !f.Text(length, E.RedirName)) return false;
      // An unknown kind is still a link of some sort: never a plain file.
      E.RedirType = redirType >= RAR_REDIR_UNIXSYMLINK && redirType <= RAR_REDIR_FILECOPY
                        ? static_cast<UInt32>(redirType)
                        : RAR_REDIR_UNIXSYMLINK;
    }
  }
  return true;
}

}  // namespace

bool TRarEntryInfo::IsDirectory() const { return (Flags & RHDF_DIRECTORY) == RHDF_DIRECTORY; }
bool TRarEntryInfo::SplitBefore() const { return (Flags & RHDF_SPLITBEFORE) != 0; }
bool TRarEntryInfo::SplitAfter() const { return (Flags & RHDF_SPLITAFTER) != 0; }
bool TRarEntryInfo::Encrypted() const { return (Flags & RHDF_ENCRYPTED) != 0; }
bool TRarEntryInfo::IsLink() const {
  return RedirType != RAR_REDIR_NONE || (HostOS == kRarHostUnix && (Attributes & kUnixTypeMask) == kUnixLink);
}

bool TRarVolume::ReadAt(Int64 Pos, std::size_t Count) {
  Buffer_.resize(Count);
  std::size_t done = 0;
  while (done < Count) {
    const ssize_t n =
        pread(Fd_, Buffer_.data() + done, Count - done, static_cast<off_t>(Pos) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int TRarVolume::Open(int Fd, bool First) {
  Fd_ = Fd;
  struct stat st;
  if (fstat(Fd, &st) != 0) return ERAR_EREAD;
  Size = st.st_size;
  // Behind an ELF program (a self-extractor of ours) the search starts
  // where its image ends, however long the program is.
  Int64 from = 0;
  if (First && Size >= 4 && ReadAt(0, 4) && IsElfImage(Buffer_.data(), 4)) {
    const UInt64 end = ElfImageSize(
        [this](UInt64 Offset, void* Out, std::size_t Count) {
          if (Offset > static_cast<UInt64>(Size) || !ReadAt(static_cast<Int64>(Offset), Count)) return false;
          std::memcpy(Out, Buffer_.data(), Count);
          return true;
        },
        static_cast<UInt64>(Size));
    if (end < static_cast<UInt64>(Size)) from = static_cast<Int64>(end);
  }
  const Int64 window = std::min<Int64>(Size - from, First ? kSfxSearch + 8 : 8);
  if (window < 7 || !ReadAt(from, static_cast<std::size_t>(window))) return ERAR_BAD_ARCHIVE;
  const Byte* b = Buffer_.data();
  auto at = [&](Int64 Pos, const Byte* Marker, std::size_t Size) {
    return Pos + static_cast<Int64>(Size) <= window && std::memcmp(b + Pos, Marker, Size) == 0;
  };
  const bool program = from > 0 || (window >= 4 && (std::memcmp(b, "MZ", 2) == 0 || std::memcmp(b,
                                                                                              "\x7F"
                                                                                              "ELF",
                                                                                              4) == 0));
  for (Int64 pos = 0; pos < window; pos += kSfxStep) {
    if (at(pos, kRar5Marker, sizeof kRar5Marker)) {
      Start = from + pos;
      return OpenRar5(Start + static_cast<Int64>(sizeof kRar5Marker));
    }
    if (at(pos, kRarMarker, kRarMarkerSize)) {
      Start = from + pos;
      return OpenRar4(Start + static_cast<Int64>(kRarMarkerSize));
    }
    if (!First || !program) break;
  }
  return ERAR_BAD_ARCHIVE;
}

int TRarVolume::OpenRar4(Int64 Pos) {
  Format = TRarFormat::Rar4;
  if (Size - Pos < static_cast<Int64>(kRarMainHeaderSize) || !ReadAt(Pos, kRarHeadSize)) return ERAR_BAD_ARCHIVE;
  TRarBlockHead head;
  if (!head.Parse(Buffer_.data(), kRarHeadSize) || head.Type != kRarBlockMain || head.Size < kRarMainHeaderSize ||
      Size - Pos < head.Size || !ReadAt(Pos, head.Size) || RarHeaderCrc(Buffer_.data() + 2, head.Size - 2) != head.Crc)
    return ERAR_BAD_ARCHIVE;
  // Encrypted headers cannot be read without decrypting them.
  if (head.Flags & kRarMainPassword) return ERAR_BAD_ARCHIVE;
  IsVolume = (head.Flags & kRarMainVolume) != 0;
  Solid = (head.Flags & kRarMainSolid) != 0;
  // RAR 2.x keeps a packed comment inside the main header.
  if (head.Flags & kRarMainOldComment) Comment.Present = true;
  FirstBlock_ = Cursor_ = Pos + head.Size;
  NoteComment();
  return ERAR_SUCCESS;
}

int TRarVolume::OpenRar5(Int64 Pos) {
  Format = TRarFormat::Rar5;
  TBlock main;
  if (!ReadBlock(Pos, main)) return ERAR_BAD_ARCHIVE;
  // ReadBlock5 leaves the main header's fields after its common part.
  TFieldReader r(Buffer_.data(), Buffer_.size());
  UInt32 crc = 0;
  UInt64 headerSize = 0, type = 0, flags = 0, skip = 0, archiveFlags = 0;
  r.U32(crc);
  r.VInt(headerSize);
  r.VInt(type);
  if (type == kHead5Encryption) return ERAR_BAD_ARCHIVE;
  if (type != kHead5Main || !r.VInt(flags)) return ERAR_BAD_ARCHIVE;
  if ((flags & kFlag5Extra) && !r.VInt(skip)) return ERAR_BAD_ARCHIVE;
  if ((flags & kFlag5Data) && !r.VInt(skip)) return ERAR_BAD_ARCHIVE;
  if (!r.VInt(archiveFlags)) return ERAR_BAD_ARCHIVE;
  IsVolume = (archiveFlags & kMain5Volume) != 0;
  Solid = (archiveFlags & kMain5Solid) != 0;
  FirstBlock_ = Cursor_ = main.Next;
  NoteComment();
  return ERAR_SUCCESS;
}

// The comment lies in a service block named "CMT" before the first file
// (RAR 3.x and later) or in an old comment block (RAR 2.x, always packed).
void TRarVolume::NoteComment() {
  Int64 pos = FirstBlock_;
  TBlock b;
  for (int i = 0; i < 16 && ReadBlock(pos, b); ++i, pos = b.Next) {
    if (b.Kind == TKind::File || b.Kind == TKind::End) return;
    if (b.Kind == TKind::Service && b.Entry.Name == "CMT") {
      Comment.Present = true;
      Comment.Stored = (b.Entry.Method == 0x30) && !b.Entry.Encrypted();
      Comment.Offset = b.DataOffset;
      Comment.Size = b.Entry.PackSize;
      Comment.Crc = b.Entry.FileCrc;
      Comment.HasCrc = b.Entry.HasCrc;
      return;
    }
    if (b.OldComment) Comment.Present = true;
  }
}

bool TRarVolume::ReadBlock(Int64 Pos, TBlock& Block) {
  Block = TBlock{};
  if (Pos < 0 || Pos >= Size) return false;
  return Format == TRarFormat::Rar4 ? ReadBlock4(Pos, Block) : ReadBlock5(Pos, Block);
}

bool TRarVolume::ReadBlock4(Int64 Pos, TBlock& Block) {
  const std::size_t first = static_cast<std::size_t>(std::min<Int64>(Size - Pos, kRarHeadSize + 4));
  if (!ReadAt(Pos, first)) return false;
  TRarBlockHead head;
  if (!head.Parse(Buffer_.data(), first) || Size - Pos < head.Size || !ReadAt(Pos, head.Size)) return false;
  UInt64 data = head.AddSize;
  if (head.Type == kRarBlockFile || head.Type == kRarBlockService) {
    TRarFileHeader h;
    if (!h.Parse(Buffer_.data(), head.Size) || RarHeaderCrc(Buffer_.data() + 2, head.Size - 2) != head.Crc)
      return false;
    const std::size_t fixed = kRarFileFixedSize + ((head.Flags & kRarFileLarge) ? 8 : 0);
    TRarEntryInfo& e = Block.Entry;
    e.Name = DecodeRarName(Buffer_.data() + fixed, h.NameSize, (head.Flags & kRarFileUnicode) != 0);
    e.Flags = head.Flags;
    if (h.IsDirectory()) e.Flags |= RHDF_DIRECTORY;
    e.PackSize = h.PackedSize;
    e.UnpSize = h.UnpackedSize;
    e.HostOS = h.HostOS;
    e.FileCrc = h.FileCrc;
    e.FileTime = h.DosDateTime;
    e.UnpVer = h.Version;
    e.Method = h.Method;
    e.Attributes = h.Attributes;
    if (e.HostOS == kRarHostUnix && (e.Attributes & kUnixTypeMask) == kUnixLink) e.RedirType = RAR_REDIR_UNIXSYMLINK;
    Block.Kind = head.Type == kRarBlockFile ? TKind::File : TKind::Service;
    e.HasCrc = true;
    data = h.PackedSize;
  } else if (head.Type == kRarBlockEnd) {
    Block.Kind = TKind::End;
    Block.EndFlags = head.Flags;
  } else if (head.Type == kRarBlockComment) {
    Block.OldComment = true;
  }
  Block.DataOffset = Pos + head.Size;
  if (!AddFits(Block.DataOffset, data)) return false;
  Block.Next = Block.DataOffset + static_cast<Int64>(data);
  return true;
}

bool TRarVolume::ReadBlock5(Int64 Pos, TBlock& Block) {
  const std::size_t first = static_cast<std::size_t>(std::min<Int64>(Size - Pos, 4 + 10));
  if (!ReadAt(Pos, first)) return false;
  TFieldReader lead(Buffer_.data(), first);
  UInt32 crc = 0;
  UInt64 headerSize = 0;
  if (!lead.U32(crc) || !lead.VInt(headerSize) || headerSize == 0 || headerSize > kRar5MaxHeader) return false;
  const std::size_t sizeEnd = lead.Pos();
  const UInt64 total = sizeEnd + headerSize;
  if (static_cast<UInt64>(Size - Pos) < total || !ReadAt(Pos, static_cast<std::size_t>(total))) return false;
  if (Crc32Of(Buffer_.data() + 4, static_cast<std::size_t>(total) - 4) != crc) return false;

  const Byte* h = Buffer_.data() + sizeEnd;
  const std::size_t hsize = static_cast<std::size_t>(headerSize);
  TFieldReader r(h, hsize);
  UInt64 type = 0, flags = 0, extraSize = 0, dataSize = 0;
  if (!r.VInt(type) || !r.VInt(flags)) return false;
  if ((flags & kFlag5Extra) && (!r.VInt(extraSize) || extraSize > hsize - r.Pos())) return false;
  if ((flags & kFlag5Data) && !r.VInt(dataSize)) return false;
  Block.DataOffset = Pos + static_cast<Int64>(total);
  if (!AddFits(Block.DataOffset, dataSize)) return false;
  Block.Next = Block.DataOffset + static_cast<Int64>(dataSize);
  const std::size_t extraStart = hsize - static_cast<std::size_t>(extraSize);
  if (r.Pos() > extraStart) return false;

  if (type == kHead5End) {
    Block.Kind = TKind::End;
    r.VInt(Block.EndFlags);
    return true;
  }
  if (type != kHead5File && type != kHead5Service) return true;

  TFieldReader f(h + r.Pos(), extraStart - r.Pos());
  TRarEntryInfo& e = Block.Entry;
  UInt64 fileFlags = 0, unpSize = 0, attributes = 0, compression = 0, host = 0, nameLength = 0;
  UInt32 mtime = 0;
  if (!f.VInt(fileFlags) || !f.VInt(unpSize) || !f.VInt(attributes)) return false;
  if ((fileFlags & kFile5UnixTime) && !f.U32(mtime)) return false;
  if ((fileFlags & kFile5Crc) && !f.U32(e.FileCrc)) return false;
  if (!f.VInt(compression) || !f.VInt(host) || !f.VInt(nameLength) || !f.Text(nameLength, e.Name)) return false;
  e.HasCrc = (fileFlags & kFile5Crc) != 0;
  if (flags & kFlag5SplitBefore) e.Flags |= RHDF_SPLITBEFORE;
  if (flags & kFlag5SplitAfter) e.Flags |= RHDF_SPLITAFTER;
  if (compression & kCompression5Solid) e.Flags |= RHDF_SOLID;
  if (fileFlags & kFile5Directory) e.Flags |= RHDF_DIRECTORY;
  e.PackSize = dataSize;
  e.UnpSize = unpSize;
  // RAR5 hosts: 0 Windows, 1 Unix; given as the RAR 2.x codes.
  e.HostOS = host == 0 ? 2 : host == 1 ? kRarHostUnix : static_cast<UInt32>(std::min<UInt64>(host, 255));
  e.Attributes = static_cast<UInt32>(attributes);
  e.UnpVer = (compression & 0x3F) == 0 ? 50 : 70;
  e.Method = 0x30 + static_cast<UInt32>((compression >> 7) & 7);
  if (fileFlags & kFile5UnixTime) e.FileTime = UnixToDos(mtime);
  if (!ParseRar5Extra(h + extraStart, hsize - extraStart, e, (fileFlags & kFile5UnixTime) != 0)) return false;
  Block.Kind = type == kHead5File ? TKind::File : TKind::Service;
  return true;
}

bool TRarVolume::NextFile(TRarEntryInfo& Entry) {
  TBlock b;
  while (ReadBlock(Cursor_, b)) {
    if (b.Kind == TKind::End) break;
    Cursor_ = b.Next;
    if (b.Kind == TKind::File) {
      Entry = std::move(b.Entry);
      Entry.CutShort = b.Next > Size;
      return true;
    }
  }
  // The cursor stays on the end block or the block that cannot be read.
  return false;
}

bool TRarVolume::CutShortAhead() {
  Int64 pos = Cursor_;
  TBlock b;
  for (;;) {
    // No end block: the volume stops at a block boundary.
    if (pos >= Size) return true;
    if (!ReadBlock(pos, b)) break;
    if (b.Kind == TKind::End) return false;
    if (b.Next > Size) return true;
    pos = b.Next;
  }
  // A head that does not fit in what is left of the file.
  const Int64 left = Size - pos;
  if (Format == TRarFormat::Rar4) {
    TRarBlockHead head;
    return !ReadAt(pos, static_cast<std::size_t>(std::min<Int64>(left, kRarHeadSize + 4))) ||
           !head.Parse(Buffer_.data(), Buffer_.size()) || head.Size > left;
  }
  if (!ReadAt(pos, static_cast<std::size_t>(std::min<Int64>(left, 4 + 10)))) return true;
  TFieldReader lead(Buffer_.data(), Buffer_.size());
  UInt32 crc = 0;
  UInt64 headerSize = 0;
  return !lead.U32(crc) || !lead.VInt(headerSize) || headerSize > static_cast<UInt64>(left);
}

bool TRarVolume::ContinuesInNextVolume() {
  if (!IsVolume) return false;
  if (Continues_ >= 0) return Continues_ != 0;
  bool lastSplit = false;
  Int64 pos = FirstBlock_;
  TBlock b;
  Continues_ = 0;
  while (ReadBlock(pos, b)) {
    if (b.Kind == TKind::End) {
      // Both formats: bit 0 of the end block's flags, "not the last volume".
      Continues_ = (b.EndFlags & kRarEndNextVolume) != 0;
      return Continues_ != 0;
    }
    if (b.Kind == TKind::File) lastSplit = b.Entry.SplitAfter();
    pos = b.Next;
  }
  Continues_ = lastSplit;
  return lastSplit;
}

}  // namespace vsk::unrar
