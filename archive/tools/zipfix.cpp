#include "archive/tools/zipfix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "base/errors.h"
#include "base/messages.h"
#include "base/tempstream.h"
#include "archive/core/zipcrypt.h"

namespace vsk {

namespace {

constexpr Byte kLocalSig[4] = {'P', 'K', 3, 4};
constexpr Byte kDescriptorSig[4] = {'P', 'K', 7, 8};
constexpr Byte kCentralSig[4] = {'P', 'K', 1, 2};
constexpr UInt16 kZip64ExtraId = 0x0001;
constexpr UInt16 kHostUnix = 3;
constexpr Int64 kDescriptorSize = 16;

UInt32 Le32(const Byte* p) {
  return static_cast<UInt32>(p[0]) | static_cast<UInt32>(p[1]) << 8 | static_cast<UInt32>(p[2]) << 16 |
         static_cast<UInt32>(p[3]) << 24;
}

void PutLe32(Byte* p, UInt32 v) {
  p[0] = static_cast<Byte>(v);
  p[1] = static_cast<Byte>(v >> 8);
  p[2] = static_cast<Byte>(v >> 16);
  p[3] = static_cast<Byte>(v >> 24);
}

// The next Sig at or after From whose record (Need bytes) lies inside the
// data; -1 when there is none.
Int64 FindSignature(const Byte* Data, Int64 Size, Int64 From, const Byte (&Sig)[4], Int64 Need) {
  while (From >= 0 && From + 4 <= Size) {
    const void* hit = memmem(Data + From, static_cast<std::size_t>(Size - From), Sig, 4);
    if (!hit) return -1;
    const Int64 at = static_cast<const Byte*>(hit) - Data;
    // A record that ends exactly at the end of the data counts: the last
    // entry of an archive cut before its directory ends there.
    if (at + Need <= Size) return at;
    From = at + 4;
  }
  return -1;
}

// The most a file of Unpacked bytes can take once packed: deflate's
// stored blocks and the 12-byte encryption header. Incompressible data
// grow a little; anything larger is no entry. Other methods (bzip2's
// blocks grow most) are given more room.
Int64 LargestPacked(Int64 Unpacked, UInt16 Method) {
  if (Method != 0 && Method != 8) return Unpacked + (Unpacked >> 6) + 1024;
  return Unpacked + (Unpacked >> 12) + (Unpacked >> 14) + 64 + 12;
}

UInt16 Le16(const Byte* p) { return static_cast<UInt16>(p[0] | p[1] << 8); }

// The fields of an extra field in order; false when they do not fill it exactly.
template <class Each>
bool WalkExtra(const std::string& Extra, Each&& Do) {
  std::size_t at = 0;
  while (at + 4 <= Extra.size()) {
    const auto* p = reinterpret_cast<const Byte*>(Extra.data() + at);
    const std::size_t len = Le16(p + 2);
    if (at + 4 + len > Extra.size()) return false;
    Do(Le16(p), at, 4 + len);
    at += 4 + len;
  }
  return at == Extra.size();
}

// A local extra field as a directory record can carry it: the ZIP64 field
// means other things there, and a field that does not parse is dropped.
std::string LocalExtraForDirectory(const std::string& Local, bool& UnixFields) {
  std::string out;
  UnixFields = false;
  const bool ok = WalkExtra(Local, [&](UInt16 Id, std::size_t At, std::size_t Len) {
    // The Unix owner fields ("Ux", "ux", and the old "UX") are written only
    // on Unix systems.
    if (Id == 0x7855 || Id == 0x7875 || Id == 0x5855) UnixFields = true;
    if (Id != kZip64ExtraId) out.append(Local, At, Len);
  });
  if (!ok) {
    UnixFields = false;
    return {};
  }
  return out;
}

// A mapped input file, unmapped and closed when done.
class TMappedFile {
 public:
  explicit TMappedFile(const std::string& Name) {
    FFd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) return;
    struct stat st;
    if (fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(FFd);
      FFd = -1;
      return;
    }
    FSize = static_cast<Int64>(st.st_size);
    if (FSize > 0) {
      void* p = mmap(nullptr, static_cast<std::size_t>(FSize), PROT_READ, MAP_PRIVATE, FFd, 0);
      if (p == MAP_FAILED) {
        ::close(FFd);
        FFd = -1;
        return;
      }
      FData = static_cast<const Byte*>(p);
    }
  }
  ~TMappedFile() {
    if (FData) munmap(const_cast<Byte*>(FData), static_cast<std::size_t>(FSize));
    if (FFd >= 0) ::close(FFd);
  }
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;
  bool Ok() const { return FFd >= 0; }
  int Handle() const { return FFd; }
  const Byte* Data() const { return FData; }
  Int64 Size() const { return FSize; }

 private:
  int FFd = -1;
  const Byte* FData = nullptr;
  Int64 FSize = 0;
};

void WriteAll(TStream32& Out, const void* Buffer, Int64 Count) {
  const Byte* p = static_cast<const Byte*>(Buffer);
  while (Count > 0) {
    const Int32 chunk = static_cast<Int32>(std::min<Int64>(Count, 1 << 20));
    if (Out.Write(p, chunk) != chunk) throw EWriteError(msg::ErrorWritingToFile);
    p += chunk;
    Count -= chunk;
  }
}

}  // namespace

bool TZipFix::ReadCandidate(const Byte* Data, Int64 Size, Int64 At, TFileInfo& Info, std::string& Name, Int64& End) {
  const TZipLocalHeader local = TZipLocalHeader::Parse(Data + At);
  TZipCentralRecord& r = Info.Record;
  r = TZipCentralRecord{};
  r.Signature = kZipCentralSignature;
  r.VersionMadeBy = 0;
  r.VersionNeeded = local.VersionNeeded;
  r.Flags = local.Flags;
  r.Method = local.Method;
  r.DosDateTime = local.DosDateTime;
  r.Crc32 = local.Crc32;
  r.PackedSize = local.PackedSize;
  r.UnpackedSize = local.UnpackedSize;
  r.FileNameLength = local.FileNameLength;
  r.ExtraFieldLength = local.ExtraFieldLength;
  Info.LocalOffset = At;
  Info.FromDescriptor = false;

  if (local.FileNameLength == 0 || local.FileNameLength > kMaxNameLength) return false;
  const Int64 nameAt = At + static_cast<Int64>(TZipLocalHeader::Size);
  const Int64 nameEnd = std::min<Int64>(Size, nameAt + local.FileNameLength);
  Name.assign(reinterpret_cast<const char*>(Data + nameAt), static_cast<std::size_t>(nameEnd - nameAt));
  if (nameEnd - nameAt < local.FileNameLength) return false;
  for (unsigned char c : Name)
    if (c < 0x20) return false;
  Info.Name = Name;

  const Int64 dataStart = nameEnd + local.ExtraFieldLength;
  if (dataStart > Size) return false;
  Int64 dataEnd = 0;
  if (local.Flags & kZipFlagDataDescriptor) {
    const Int64 d = FindSignature(Data, Size, dataStart, kDescriptorSig, kDescriptorSize);
    if (d < 0) return false;
    r.Crc32 = Le32(Data + d + 4);
    r.PackedSize = Le32(Data + d + 8);
    r.UnpackedSize = Le32(Data + d + 12);
    if (d - dataStart != static_cast<Int64>(r.PackedSize)) return false;
    dataEnd = d;
    End = d + kDescriptorSize;
    Info.FromDescriptor = true;
    if (static_cast<Int64>(r.PackedSize) > LargestPacked(r.UnpackedSize, r.Method)) return false;
    Info.LocalLength = End - At;
    return true;
  } else {
    dataEnd = dataStart + r.PackedSize;
    End = dataEnd;
  }
  if (dataEnd > Size) return false;
  if (static_cast<Int64>(r.PackedSize) > LargestPacked(r.UnpackedSize, r.Method)) return false;
  Info.LocalLength = dataEnd - At;
  return true;
}

TZipFix::TDataCheck TZipFix::CheckData(const Byte* Data, const TFileInfo& Info) {
  const TZipCentralRecord& r = Info.Record;
  if ((r.Flags & 1) || (r.Method != 0 && r.Method != 8)) return TDataCheck::Unchecked;  // no password, no decoder
  return DataIntact(Data, Info) ? TDataCheck::Intact : TDataCheck::Damaged;
}

bool TZipFix::DataIntact(const Byte* Data, const TFileInfo& Info) {
  const TZipCentralRecord& r = Info.Record;
  const TZipLocalHeader local = TZipLocalHeader::Parse(Data + Info.LocalOffset);
  const Byte* data = Data + Info.LocalOffset + static_cast<Int64>(TZipLocalHeader::Size) + local.FileNameLength +
                     local.ExtraFieldLength;
  const Int64 packed = r.PackedSize;
  if (r.Method == 0) {
    if (r.PackedSize != r.UnpackedSize) return false;
    return crc32_z(0, data, static_cast<z_size_t>(packed)) == r.Crc32;
  }
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  std::vector<Byte> out(1 << 16);
  uLong crc = 0;
  UInt64 total = 0;
  Int64 fed = 0;
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (z.avail_in == 0 && fed < packed) {
      const Int64 step = std::min<Int64>(packed - fed, 1 << 30);
      z.next_in = const_cast<Byte*>(data + fed);
      z.avail_in = static_cast<uInt>(step);
      fed += step;
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t made = out.size() - z.avail_out;
    crc = crc32_z(crc, out.data(), made);
    total += made;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && fed >= packed) break;  // data end before the stream's
    if (rc == Z_BUF_ERROR) rc = Z_OK;
    if (total > r.UnpackedSize) break;
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END && total == r.UnpackedSize && crc == r.Crc32;
}

std::vector<TZipFix::TOldRecord> TZipFix::FindOldRecords(const Byte* Data, Int64 Size) {
  std::vector<TOldRecord> old;
  Int64 at = 0;
  while (old.size() < 4 * kMaxEntries) {
    const Int64 found = FindSignature(Data, Size, at, kCentralSig, static_cast<Int64>(TZipCentralRecord::Size));
    if (found < 0) break;
    at = found + 4;
    TOldRecord o;
    o.At = found;
    o.Record = TZipCentralRecord::Parse(Data + found);
    const Int64 name = found + static_cast<Int64>(TZipCentralRecord::Size);
    const Int64 extra = name + o.Record.FileNameLength;
    const Int64 comment = extra + o.Record.ExtraFieldLength;
    if (o.Record.FileNameLength == 0 || comment + o.Record.FileCommentLength > Size) continue;
    const auto* c = reinterpret_cast<const char*>(Data);
    o.Name.assign(c + name, o.Record.FileNameLength);
    o.Extra.assign(c + extra, o.Record.ExtraFieldLength);
    o.Comment.assign(c + comment, o.Record.FileCommentLength);
    old.push_back(std::move(o));
  }
  return old;
}

void TZipFix::TakeOldRecords(const Byte* Data, std::vector<TFileInfo>& Kept, const std::vector<TOldRecord>& Old) {
  // A record inside the data of a kept entry (a stored archive) belongs
  // to that data, not to this archive. The kept entries lie in file order.
  const auto inData = [&](Int64 At) {
    const auto after = std::upper_bound(Kept.begin(), Kept.end(), At,
                                        [](Int64 A, const TFileInfo& K) { return A < K.LocalOffset; });
    return after != Kept.begin() && At < std::prev(after)->LocalOffset + std::prev(after)->LocalLength;
  };
  std::unordered_multimap<std::string_view, const TOldRecord*> byName;
  for (const auto& o : Old)
    if (!inData(o.At)) byName.emplace(o.Name, &o);

  for (TFileInfo& info : Kept) {
    TZipCentralRecord& r = info.Record;
    const TOldRecord* match = nullptr;
    const auto [first, last] = byName.equal_range(info.Name);
    for (auto it = first; it != last; ++it) {
      const TZipCentralRecord& o = it->second->Record;
      if (static_cast<Int64>(o.LocalHeaderOffset) == info.LocalOffset) {
        match = it->second;
        break;
      }
      // Offsets shifted (bytes lost or added in front): the same data.
      if (!match && o.Crc32 == r.Crc32 && o.PackedSize == r.PackedSize && o.Method == r.Method) match = it->second;
    }
    if (match) {
      r.VersionMadeBy = match->Record.VersionMadeBy;
      r.Flags = match->Record.Flags;
      r.InternalAttr = match->Record.InternalAttr;
      r.ExternalAttr = match->Record.ExternalAttr;
      info.Extra = match->Extra;
      info.Comment = match->Comment;
      continue;
    }
    // No record left: the local header's extra field stands in, and its
    // Unix fields tell the system that made it.
    const TZipLocalHeader local = TZipLocalHeader::Parse(Data + info.LocalOffset);
    const auto* extra =
        reinterpret_cast<const char*>(Data + info.LocalOffset) + TZipLocalHeader::Size + local.FileNameLength;
    bool unixFields = false;
    info.Extra = LocalExtraForDirectory(std::string(extra, local.ExtraFieldLength), unixFields);
    r.VersionMadeBy = static_cast<UInt16>((unixFields ? kHostUnix << 8 : 0) | (local.VersionNeeded & 0xFF));
  }
}

int TZipFix::FixBytes(const Byte* Data, Int64 Size, TStream32& Output) {
  std::vector<TFileInfo> kept;
  Int64 at = 0;
  while (true) {
    const Int64 found = FindSignature(Data, Size, at, kLocalSig, static_cast<Int64>(TZipLocalHeader::Size));
    if (found < 0) break;
    TFileInfo info;
    std::string name;
    Int64 end = 0;
    const bool plausible = kept.size() < kMaxEntries && ReadCandidate(Data, Size, found, info, name, end);
    const TDataCheck check = plausible ? CheckData(Data, info) : TDataCheck::Damaged;
    if (check == TDataCheck::Unchecked && OnFileUnchecked)
      OnFileUnchecked(*this, name);
    else if (check != TDataCheck::Unchecked && OnFileFound)
      OnFileFound(*this, name, check == TDataCheck::Intact);
    const bool keep = check != TDataCheck::Damaged;
    if (keep) kept.push_back(std::move(info));
    // A rejected entry's sizes may be what is damaged: the search goes on
    // right after its signature, so that intact entries behind it are found.
    at = keep ? end : found + 4;
  }
  if (kept.empty()) return 0;
  TakeOldRecords(Data, kept, FindOldRecords(Data, Size));

  const Int64 base = Output.Position();
  for (auto& e : kept) {
    const Int64 offset = Output.Position() - base;
    if (offset > 0xFFFFFFFFLL) throw EWriteError(msg::ErrorWritingToFile);
    e.Record.LocalHeaderOffset = static_cast<UInt32>(offset);
    // An entry found through its data descriptor is copied with it: its
    // header still says one follows, and an encrypted entry's password
    // check depends on that flag.
    WriteAll(Output, Data + e.LocalOffset, e.LocalLength);
    e.Record.ExtraFieldLength = static_cast<UInt16>(e.Extra.size());
    e.Record.FileCommentLength = static_cast<UInt16>(e.Comment.size());
  }
  const Int64 directory = Output.Position() - base;
  Byte record[TZipCentralRecord::Size];
  for (const auto& e : kept) {
    e.Record.Serialize(record);
    WriteAll(Output, record, sizeof record);
    WriteAll(Output, e.Name.data(), static_cast<Int64>(e.Name.size()));
    WriteAll(Output, e.Extra.data(), static_cast<Int64>(e.Extra.size()));
    WriteAll(Output, e.Comment.data(), static_cast<Int64>(e.Comment.size()));
  }
  const Int64 directoryEnd = Output.Position() - base;
  if (directoryEnd > 0xFFFFFFFFLL) throw EWriteError(msg::ErrorWritingToFile);
  Byte end[22] = {};
  PutLe32(end, kZipEndSignature);
  end[8] = end[10] = static_cast<Byte>(kept.size());
  end[9] = end[11] = static_cast<Byte>(kept.size() >> 8);
  PutLe32(end + 12, static_cast<UInt32>(directoryEnd - directory));
  PutLe32(end + 16, static_cast<UInt32>(directory));
  WriteAll(Output, end, sizeof end);
  return static_cast<int>(kept.size());
}

int TZipFix::FixStream(const TCustomMemoryStream32* Input, TStream32* Output) {
  if (!Input || !Output) throw std::invalid_argument("No input or no output stream has been defined");
  auto* in = const_cast<TCustomMemoryStream32*>(Input);
  return FixBytes(in->Memory(), in->GetSize(), *Output);
}

int TZipFix::FixFile(const std::string& InFile, const std::string& OutFile) {
  TMappedFile in(InFile);
  if (!in.Ok()) throw EFOpenError(msg::ErrorOpeningFile);
  struct stat input, output;
  if (stat(OutFile.c_str(), &output) == 0 && fstat(in.Handle(), &input) == 0 && input.st_dev == output.st_dev &&
      input.st_ino == output.st_ino)
    throw EFCreateError(msg::SameInputOutput);
  TTempFileStream out(fmCreate, OutFile);
  if (out.Handle() < 0) throw EWriteError(msg::ErrorWritingToFile);
  int kept = 0;
  try {
    kept = in.Size() > 0 ? FixBytes(in.Data(), in.Size(), out) : 0;
  } catch (...) {
    out.Discard();
    throw;
  }
  // Nothing found leaves an existing file alone (it may be the input
  // itself); a new one is created empty.
  struct stat st;
  if (kept == 0 && stat(OutFile.c_str(), &st) == 0) {
    out.Discard();
    return 0;
  }
  out.Commit();
  return kept;
}

}  // namespace vsk
