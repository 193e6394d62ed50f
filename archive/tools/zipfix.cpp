#include "archive/tools/zipfix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "base/errors.h"
#include "base/messages.h"
#include "base/tempstream.h"
#include "archive/core/zipcrypt.h"

namespace vsk {

namespace {

constexpr Byte kLocalSig[4] = {'P', 'K', 3, 4};
constexpr Byte kDescriptorSig[4] = {'P', 'K', 7, 8};
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
// grow a little; anything larger is no entry.
Int64 LargestPacked(Int64 Unpacked) { return Unpacked + (Unpacked >> 12) + (Unpacked >> 14) + 64 + 12; }

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
    if (static_cast<Int64>(r.PackedSize) > LargestPacked(r.UnpackedSize)) return false;
    Info.LocalLength = End - At;
    return true;
  } else {
    dataEnd = dataStart + r.PackedSize;
    End = dataEnd;
  }
  if (dataEnd > Size) return false;
  if (static_cast<Int64>(r.PackedSize) > LargestPacked(r.UnpackedSize)) return false;
  Info.LocalLength = dataEnd - At;
  return true;
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
    const bool ok = kept.size() < kMaxEntries && ReadCandidate(Data, Size, found, info, name, end);
    if (OnFileFound) OnFileFound(*this, name, ok);
    if (ok) {
      kept.push_back(std::move(info));
      at = end;
    } else {
      at = found + 4;
    }
  }
  if (kept.empty()) return 0;

  const Int64 base = Output.Position();
  for (auto& e : kept) {
    const Int64 offset = Output.Position() - base;
    if (offset > 0xFFFFFFFFLL) throw EWriteError(msg::ErrorWritingToFile);
    e.Record.LocalHeaderOffset = static_cast<UInt32>(offset);
    // An entry found through its data descriptor is copied with it: its
    // header still says one follows, and an encrypted entry's password
    // check depends on that flag.
    WriteAll(Output, Data + e.LocalOffset, e.LocalLength);
    e.Record.ExtraFieldLength = 0;
  }
  const Int64 directory = Output.Position() - base;
  Byte record[TZipCentralRecord::Size];
  for (const auto& e : kept) {
    e.Record.Serialize(record);
    WriteAll(Output, record, sizeof record);
    WriteAll(Output, e.Name.data(), static_cast<Int64>(e.Name.size()));
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
