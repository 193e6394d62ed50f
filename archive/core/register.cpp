#include "archive/core/register.h"

#include <sys/stat.h>

#include "archive/core/regularfile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "base/checksum.h"
#include "base/errors.h"
#include "archive/core/fileprims.h"
#include "base/messages.h"
#include "base/stream.h"
#include "archive/core/zipcrypt.h"
#include "base/records/elf.h"
#include "platform/pe.h"
#include "base/textcase.h"

namespace vsk {

namespace {

constexpr Int64 kMinArchiveSize = 20;
constexpr Int32 kHeadSize = 32767;
constexpr Int32 kZipTailWindow = 32768;
constexpr Int32 kZipStartWindows = 4;
constexpr Int32 kScanBlock = 32768;
constexpr Int32 kScanBlocks = 6;
// Bytes read beyond each scanned block so that a header straddling two
// blocks is still seen whole; an ARJ basic header is at most 2600 bytes.
constexpr Int32 kScanLookahead = 4096;
constexpr Int64 kExeScanStart = 17000;
constexpr Int64 kUueProbeSize = 5000;

// Reads up to Count bytes at Pos; a negative or unreachable position reads
// nothing.
Int32 ReadAt(TStream32& F, Int64 Pos, void* Buffer, Int32 Count) {
  if (Pos < 0 || Count <= 0) return 0;
  if (F.Seek(Pos, soBeginning) != Pos) return 0;
  Int32 done = 0;
  auto* p = static_cast<Byte*>(Buffer);
  while (done < Count) {
    const Int32 n = F.Read(p + done, Count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

bool Matches(const Byte* p, const char* text, std::size_t n) { return std::memcmp(p, text, n) == 0; }

bool HasAceMark(const Byte* head, Int64 count) { return count >= 14 && Matches(head + 7, "**ACE**", 7); }

std::string FileExtension(const std::string& Name) {
  const auto slash = Name.find_last_of('/');
  const std::string base = slash == std::string::npos ? Name : Name.substr(slash + 1);
  const auto dot = base.find_last_of('.');
  return dot == std::string::npos ? std::string() : base.substr(dot);
}

bool FileExists(const std::string& Name) {
  struct stat st;
  return !Name.empty() && ::stat(Name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Parses a decimal resource string; false for anything else.
bool ParseOffset(const std::string& Text, Int64& Value) {
  if (Text.empty()) return false;
  Value = 0;
  for (char c : Text) {
    if (c < '0' || c > '9') return false;
    Value = Value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

void TRegisterVorsk::SetArchiveFile(const std::string& Value) {
  if (!FileExists(Value)) {
    FArcType = atNA;
    FArchiveFile.clear();
    return;
  }
  FArchiveFile = Value;
  // A file that cannot be looked at is of no type, not of the last one's.
  FArcType = atNA;
  FArcType = DetectArcType(FArchiveFile);
  if (IsValidArcType(FArcType)) SetVolumeNumber();
}

void TRegisterVorsk::SetArcType(TArcType) { FArcType = DetectArcType(FArchiveFile); }

bool TRegisterVorsk::OpenArchiveHandle(const std::string& FileName, int& Handle) {
  Handle = OpenFileHandle(nullptr, FileName, GENERIC_READ, 0, OPEN_EXISTING);
  if (Handle == kInvalidHandle) {
    ArcSize = 0;
    return false;
  }
  ArcSize = FileHandleSize(Handle);
  return true;
}

TArcType TRegisterVorsk::ClassifySignature(TStream32& F, bool InExe, UInt32 Sig) {
  const Byte b0 = static_cast<Byte>(Sig), b1 = static_cast<Byte>(Sig >> 8), b2 = static_cast<Byte>(Sig >> 16),
             b3 = static_cast<Byte>(Sig >> 24);
  const UInt16 lo = static_cast<UInt16>(b0 << 8 | b1);  // first two bytes, in file order
  auto pick = [InExe](TArcType plain, TArcType exe) { return InExe ? exe : plain; };

  if (Sig == 0x35474B50u) return atUnknown;  // "PKG5"
  if (Sig == 0x4643534Du) return pick(atCab, atUnsupported);  // "MSCF"
  if (Sig == 0x5754DFB7u) {
    if (!InExe) return atArc;
    ArcOffset = 7716;
    return atArcExe;
  }
  if (Sig == 0x8C655D13u) return pick(atMsGZ, atUnsupported);
  if (Sig == 0x07054842u) return pick(atBh, atBhExe);    // "BH" 05 07
  if (Sig == 0x21726152u) return pick(atRar, atRarExe);  // "Rar!"
  if (b2 == '-' && b3 == 'l') return pick(atLha, atLhaExe);
  switch (lo) {
    case 0x1F8B:
    case 0x1F9D:
    case 0x1F9E:
    case 0x1FA0:
    case 0x1F1E:
    case 0x2521:
      return pick(atGZip, atUnsupported);
    case 0xB7DF:
    case 0xB792:
      ArcOffset = 7716;
      return atArcExe;
    case 0x60EA:
      return pick(atArj, atArjExe);
    case 0x5A4F:  // "ZO"
      return pick(atZoo, atUnsupported);
    case 0x1A0A:
    case 0x1A0B:
      return pick(atPak, atPakExe);
    case 0x1A08:
    case 0x1A09:
      return pick(atArc, atArcExe);
    case 0x1A02:
    case 0x1A1E:
      return pick(atArc, atUnsupported);
    case 0x4841:  // "HA"
      return pick(atHA, atUnsupported);
    case 0x504B:  // "PK"
    case 0x504C:  // "PL"
      if (b2 == 0x01 && b3 == 0x02) {
        LocateZipDirectory(F);
        return atZipMV;
      }
      if (b2 == 0x07 && b3 == 0x08) return atZipMV;
      if ((b2 == 'G' && b3 == '4') || (b2 == 'C' && b3 == 'I')) return atNA;
      return pick(atZip, atZipExe);
    default:
      return atNA;
  }
}

TArcType TRegisterVorsk::ProbeSfxStub(TStream32& F) {
  Byte b[6];
  for (Int64 offset : {6674, 6867, 7716, 8601, 13138}) {
    if (ArcSize < offset + 3) break;
    if (ReadAt(F, offset, b, 2) < 2 || b[0] != 0x1A) continue;
    if (b[1] == 0x08 || b[1] == 0x09) {
      ArcOffset = offset;
      return atArcExe;
    }
    if (b[1] == 0x0A || b[1] == 0x0B) {
      ArcOffset = offset;
      return atPakExe;
    }
  }
  if (ArcSize >= 1950 && ReadAt(F, 1947, b, 6) >= 5 && b[0] == '-' && b[1] == 'l' && b[2] == 'h' && b[4] == '-') {
    ArcOffset = 1945;
    return atLhaExe;
  }
  for (Int64 offset : {7612, 25661}) {
    if (ArcSize >= offset + 5 && ReadAt(F, offset, b, 4) == 4 && GetLE32(b) == kZipLocalSignature) {
      ArcOffset = offset;
      return atZipExe;
    }
  }
  return atNA;
}

Int64 TRegisterVorsk::LocateZipDirectory(TStream32& F) {
  ZipRecFlags = 0;
  ZipEndPos = -1;
  if (ArcSize <= 0) return 0;
  // The tail window reaches down to the first byte of small files, so a lone
  // end record (an empty archive) is found too.
  const Int32 window = static_cast<Int32>(std::min<Int64>(kZipTailWindow, ArcSize));
  const Int64 base = ArcSize - window;
  std::vector<Byte> tail(static_cast<std::size_t>(window));
  const Int32 got = ReadAt(F, base, tail.data(), window);

  // Of several end records, the one nearest the end whose comment runs
  // exactly to the end of the file wins; failing that, the one nearest the end.
  TZipCrypt crypt;
  Int64 chosen = -1;
  Byte chosenRec[TZipEndRecord::Size] = {};
  bool haveFallback = false;
  Byte fallbackRec[TZipEndRecord::Size] = {};
  Int64 fallback = -1;
  for (Int64 i = static_cast<Int64>(got) - static_cast<Int64>(TZipEndRecord::Size); i >= 0; --i) {
    if (tail[static_cast<std::size_t>(i)] != 'P') continue;
    bool enc = false;
    if (ClassifyZipSignature(GetLE32(&tail[static_cast<std::size_t>(i)]), kZipEndKind, enc) != kZipEndKind)
      continue;
    Byte rec[TZipEndRecord::Size];
    std::memcpy(rec, &tail[static_cast<std::size_t>(i)], sizeof rec);
    if (enc) crypt.DecryptZipHeader(rec, kZipEndKind);
    if (!haveFallback) {
      haveFallback = true;
      fallback = i;
      std::memcpy(fallbackRec, rec, sizeof rec);
    }
    if (base + i + static_cast<Int64>(sizeof rec) + GetLE16(rec + 20) == ArcSize) {
      chosen = i;
      std::memcpy(chosenRec, rec, sizeof rec);
      break;
    }
  }
  if (chosen < 0) {
    if (!haveFallback) return 0;
    chosen = fallback;
    std::memcpy(chosenRec, fallbackRec, sizeof chosenRec);
  }

  ZipEndRec = TZipEndRecord::Parse(chosenRec);
  const Int64 endPos = base + chosen;
  ZipEndPos = endPos;
  ZipCommentPos = ZipEndRec.CommentLength != 0 ? endPos + static_cast<Int64>(TZipEndRecord::Size) : 0;
  ZipRecFlags |= kZipEndFound;

  Byte central[TZipCentralRecord::Size];
  bool enc = false;
  const Int64 stored = ZipEndRec.CentralDirOffset;
  Int64 candidate = stored;
  if (ReadAt(F, stored, central, sizeof central) < static_cast<Int32>(sizeof central)) return 0;
  bool found = ClassifyZipSignature(GetLE32(central), kZipCentralKind, enc) == kZipCentralKind;
  if (found) {
    ZipOffsetShift = 0;
  } else {
    // The data may have been moved behind a prefix without their offsets
    // being adjusted: the directory then ends right before the end record.
    candidate = endPos - static_cast<Int64>(ZipEndRec.CentralDirSize);
    if (ReadAt(F, candidate, central, sizeof central) < static_cast<Int32>(sizeof central)) return 0;
    found = ClassifyZipSignature(GetLE32(central), kZipCentralKind, enc) == kZipCentralKind;
    ZipOffsetShift = found ? candidate - stored : 0;
  }

  if (found) {
    ZipRecFlags |= kZipCentralFound;
    if (enc) crypt.DecryptZipHeader(central, kZipCentralKind);
    ZipCentralRec = TZipCentralRecord::Parse(central);
    Byte local[TZipLocalHeader::Size];
    const Int64 localPos = static_cast<Int64>(ZipCentralRec.LocalHeaderOffset) + ZipOffsetShift;
    if (ReadAt(F, localPos, local, sizeof local) == static_cast<Int32>(sizeof local)) {
      bool localEnc = false;
      if (ClassifyZipSignature(GetLE32(local), kZipLocalKind, localEnc) == kZipLocalKind) {
        if (localEnc) crypt.DecryptZipHeader(local, kZipLocalKind);
        ZipRecFlags |= kZipLocalFound;
      }
      ZipLocalRec = TZipLocalHeader::Parse(local);
    }
    return candidate;
  }

  // No directory: the first local header from the start of the file is
  // where a walk can begin.
  Int64 result = 0;
  std::vector<Byte> buf(static_cast<std::size_t>(window) + 3);
  for (Int32 w = 0; w < kZipStartWindows; ++w) {
    const Int64 pos = static_cast<Int64>(w) * window;
    const Int32 n = ReadAt(F, pos, buf.data(), window + 3);
    if (n <= 0) break;
    const Int32 last = std::min(n - 4, window - 1);
    for (Int32 p = 0; p <= last; ++p) {
      if (buf[static_cast<std::size_t>(p)] != 'P') continue;
      bool localEnc = false;
      if (ClassifyZipSignature(GetLE32(&buf[static_cast<std::size_t>(p)]), kZipLocalKind, localEnc) ==
          kZipLocalKind) {
        ZipRecFlags = kZipLocalFound;
        return pos + p;
      }
    }
    result = -1;
    if (n < window) break;
  }
  return result;
}

Int64 TRegisterVorsk::ScanForSignature(TStream32& F, Int64 Start, TArcType& Type) {
  Type = atNA;
  if (Start >= ArcSize) return 0;
  Int64 result = 0;
  std::vector<Byte> buf(static_cast<std::size_t>(kScanBlock + kScanLookahead));
  for (Int32 block = 0; block < kScanBlocks; ++block) {
    const Int64 pos = Start + static_cast<Int64>(kScanBlock) * block;
    const Int32 n = ReadAt(F, pos, buf.data(), kScanBlock + kScanLookahead);
    if (n <= 0) break;
    const Byte* b = buf.data();
    const Int32 limit = std::min(n, kScanBlock);
    bool hit = false;
    for (Int32 p = 0; p < limit && !hit; ++p) {
      const Int64 offset = pos + p;
      const Int32 left = n - p;  // bytes read from p on
      switch (b[p]) {
        case 'R':
          if (left >= 4 && Matches(b + p, "Rar!", 4)) {
            Type = offset == 0 ? atRar : atRarExe;
            result = offset;
            hit = true;
          }
          break;
        case 0x60:
          if (left >= 4 && b[p + 1] == 0xEA) {
            const Int32 next = p + GetLE16(b + p + 2) + 10;
            if (next + 2 <= n && b[next] == 0x60 && b[next + 1] == 0xEA) {
              Type = offset == 0 ? atArj : atArjExe;
              result = offset;
              hit = true;
            }
          }
          break;
        case 'P':
          if (left >= 4 && GetLE32(b + p) == kZipLocalSignature &&
              !(left >= 8 && Matches(b + p + 4, "\x74\x0B\x3D\x00", 4))) {
            Type = Start == 0 ? atZip : atZipExe;
            const Int64 dir = LocateZipDirectory(F);
            result = dir > 0 ? dir : offset;
            hit = true;
          }
          break;
        case '*':
          if (offset + 5 < ArcSize && left >= 5 && Matches(b + p + 1, "*ACE", 4) && offset >= 7) {
            result = offset - 7;
            Type = result == 0 ? atAce : atAceExe;
            hit = true;
          }
          break;
        case '-':
          if (offset + 5 < ArcSize && left >= 5 && b[p + 1] == 'l' && b[p + 2] == 'h' && b[p + 4] == '-' &&
              offset >= 2) {
            result = offset - 2;
            Type = result == 0 ? atLha : atLhaExe;
            hit = true;
          }
          break;
        case 'B':
          if (left >= 4 && GetLE32(b + p) == 0x07054842u &&
              !(left >= 8 && Matches(b + p + 4, "\x0F\x94\xC3\x84", 4))) {
            Type = offset == 0 ? atBh : atBhExe;
            result = offset;
            hit = true;
          }
          break;
        default:
          break;
      }
    }
    if (hit && result > 0) break;
    if (n < kScanBlock) break;
  }
  return result;
}

bool TRegisterVorsk::IsUueFile(const Byte* Head, Int64 Count) {
  const Int64 n = std::min({ArcSize, kUueProbeSize, Count});
  for (Int64 i = 0; i + 7 <= n; ++i) {
    if (i > 0 && Head[i - 1] != '\n') continue;
    if (Matches(Head + i, "begin 6", 7) || Matches(Head + i, "begin 7", 7) ||
        (i + 13 <= n && Matches(Head + i, "begin-base64 ", 13))) {
      ArcOffset = 1;
      return true;
    }
  }
  return false;
}

bool TRegisterVorsk::IsTarArchive(TStream32& F) {
  if (ArcSize < 513) return false;
  Byte header[kTarBlockSize];
  if (ReadAt(F, 0, header, kTarBlockSize) < kTarBlockSize) return false;
  if (header[156] == 'V') {
    // A volume label: the first member's header follows it.
    ArcOffset = kTarBlockSize;
    if (ArcSize <= 2 * kTarBlockSize) return false;
    if (ReadAt(F, kTarBlockSize, header, kTarBlockSize) < kTarBlockSize) return false;
  }
  if (IsValidTarHeader(header)) return true;
  ArcOffset = -1;
  return false;
}

TArcType TRegisterVorsk::ProbeResources(TStream32& F, const std::string& FileName) {
  TPeImage image;
  if (!image.LoadFromFile(FileName)) return atNA;
  // Self-extractors built on a resource-only stub name the data offset in
  // their string table.
  for (UInt32 id = 1; id <= 7; ++id) {
    Int64 value = 0;
    if (!ParseOffset(image.LoadString(id, 5), value) || value >= ArcSize) break;
    ArcOffset = value;
    Byte h[14];
    if (ReadAt(F, value, h, sizeof h) < static_cast<Int32>(sizeof h)) continue;
    if (HasAceMark(h, sizeof h)) return atAceExe;
    const TArcType t = ClassifySignature(F, true, GetLE32(h));
    if (t == atNA) continue;
    if (ZipFamilyExeTypes.Contains(t)) {
      const Int64 dir = LocateZipDirectory(F);
      // Without a directory the walk starts from the local headers here.
      if (dir > 0) ArcOffset = dir;
    }
    return t;
  }
  return atNA;
}

TArcType TRegisterVorsk::DetectInExecutable(TStream32& F, const std::string& FileName, const Byte* Head,
                                            Int64 Count) {
  TArcType t = ProbeSfxStub(F);
  if (IsValidArcType(t)) return t;

  t = ProbeResources(F, FileName);
  if (t != atNA) return t;

  // The archive may follow the DOS image, whose length the MZ header gives.
  if (Count >= 6) {
    const Int64 imageEnd = (static_cast<Int64>(GetLE16(Head + 4)) - 1) * 512 + GetLE16(Head + 2);
    Byte w[4];
    if (imageEnd > 0 && imageEnd + 4 < ArcSize && ReadAt(F, imageEnd, w, 4) == 4) {
      ArcOffset = (w[2] == 0x60 && w[3] == 0xEA) ? imageEnd + 2 : imageEnd;
      if (ArcOffset + 4 < ArcSize && ReadAt(F, ArcOffset, w, 4) == 4 && GetLE32(w) != kZipLocalSignature) {
        t = ClassifySignature(F, true, GetLE32(w));
        if (IsValidArcType(t)) return t;
      }
    }
  }

  ZipEndRec.Signature = 0;
  ArcOffset = LocateZipDirectory(F);
  if (ArcOffset > 0) return atZipExe;

  ArcOffset = ScanForSignature(F, kExeScanStart, t);
  return t;
}

TArcType TRegisterVorsk::DetectInElf(TStream32& F) {
  const UInt64 end = ElfImageSize(
      [&F](UInt64 Offset, void* Buffer, std::size_t Count) {
        return ReadAt(F, static_cast<Int64>(Offset), Buffer, static_cast<Int32>(Count)) == static_cast<Int32>(Count);
      },
      static_cast<UInt64>(ArcSize));
  Byte w[14];
  if (end == 0 || static_cast<Int64>(end) + 4 > ArcSize) return atNA;
  const Int32 n = ReadAt(F, static_cast<Int64>(end), w, sizeof w);
  if (n < 4) return atNA;
  ArcOffset = static_cast<Int64>(end);
  // An ACE archive starts with its header's CRC; its mark follows.
  if (HasAceMark(w, n)) return atAceExe;
  const TArcType t = ClassifySignature(F, true, GetLE32(w));
  if (ZipFamilyExeTypes.Contains(t)) {
    const Int64 dir = LocateZipDirectory(F);
    if (ZipRecFlags & kZipCentralFound) {
      ArcOffset = dir;
    } else {
      // No directory: the local headers are walked from the archive's start.
      ArcOffset = static_cast<Int64>(end);
      ZipRecFlags |= kZipLocalFound;
    }
  }
  return t;
}

TArcType TRegisterVorsk::DetectPlain(TStream32& F, const Byte* Head, Int64 Count) {
  Int64 skipped = 0;
  while (skipped < Count && Head[skipped] == 0) ++skipped;
  // A 128-byte prefix of zeros in front of an LHA header.
  if (Count > 0 && Head[0] == 0 && Count - skipped > 132 && Count > 0x83 && Head[0x82] == '-' && Head[0x83] == 'l') {
    ArcOffset = 128;
    return atLha;
  }

  TArcType t = atNA;
  if (skipped + 4 <= Count) t = ClassifySignature(F, false, GetLE32(Head + skipped));
  switch (t) {
    case atZip:
    case atZipExe:
      ArcOffset = LocateZipDirectory(F);
      // Without a directory the walk starts at the first header, but only a
      // local header is one: an archive that is its end record alone (an
      // empty one) has nothing to walk.
      if (!(ZipRecFlags & kZipLocalFound) && ArcOffset == 0) {
        ArcOffset = skipped;
        bool enc = false;
        if (skipped + 4 <= Count && ClassifyZipSignature(GetLE32(Head + skipped), kZipLocalKind, enc) == kZipLocalKind)
          ZipRecFlags |= kZipLocalFound;
      }
      // The last part of a split set starts wherever the split fell, also
      // at a local header; its end record tells it from a whole archive.
      if ((ZipRecFlags & kZipEndFound) && ZipEndRec.DiskNumber != 0) t = atZipMV;
      break;
    case atZipMV:
      ArcOffset = LocateZipDirectory(F);
      break;
    case atFileOpenErr:
    case atUnknown:
      return t;
    case atNA:
      break;
    default:
      if (HasAceMark(Head, Count)) t = atAce;
      break;
  }
  if (IsValidArcType(t)) return t;

  if (HasAceMark(Head, Count)) return atAce;
  if (IsUueFile(Head, Count)) return atUUE;
  if (IsTarArchive(F)) return atTar;
  ArcOffset = LocateZipDirectory(F);
  if (ArcOffset > 0) return ZipEndRec.DiskNumber == 0 ? atZip : atZipMV;
  return t;
}

TArcType TRegisterVorsk::DetectArcType(const std::string& FileName) {
  ZipCommentPos = 0;
  ZipOffsetShift = 0;
  ZipEndPos = -1;
  if (FileName.empty()) return atNA;
  ArcOffset = -1;
  ZipRecFlags = 0;

  // Only regular files are read: opening a pipe or a device could block or
  // never end.
  TRegularFileStream f(FileName);
  if (!f.IsOpen()) throw EFOpenError(msg::ErrorOpeningFile);
  ArcSize = f.Size();
  if (ArcSize < kMinArchiveSize) return atNA;

  std::vector<Byte> head(kHeadSize + 1, 0);
  const Int32 n = ReadAt(f, 0, head.data(), kHeadSize);
  TArcType t = atNA;
  if (n >= 2 && head[0] == 'M' && head[1] == 'Z') {
    t = DetectInExecutable(f, FileName, head.data(), n);
  } else {
    if (IsElfImage(head.data(), static_cast<std::size_t>(n))) t = DetectInElf(f);
    if (!IsValidArcType(t)) {
      // A program with nothing of ours behind it is looked at as any file.
      ArcOffset = -1;
      ZipRecFlags = 0;
      ZipCommentPos = 0;
      ZipOffsetShift = 0;
      t = DetectPlain(f, head.data(), n);
    }
  }
  if (!IsValidArcType(t)) return t;

  if (ArcOffset == -1) ArcOffset = 0;
  TArcType result = t;
  if (result == atZip) {
    if (AsciiLowerCase(FileExtension(FileName)) == ".jar") result = atJar;
  }
  ArcDate = FileHandleDosTime(f.Handle(), ftCreation);
  return result;
}

void TRegisterVorsk::SetVolumeNumber() {
  VolNum = 0;
  const char* defaultExt = nullptr;
  switch (FArcType) {
    case atAce:
      VolLetter = 'C';
      defaultExt = "Ace";
      break;
    case atArj:
      VolLetter = 'a';
      defaultExt = "Arj";
      break;
    case atRar:
    case atRarExe:
      VolLetter = 'q';
      defaultExt = "Rar";
      break;
    default:
      return;
  }
  std::string ext = FileExtension(FArchiveFile);
  if (!ext.empty()) ext.erase(0, 1);
  if (ext.empty()) ext = defaultExt;

  std::size_t digits = ext.size();
  while (digits > 0 && ext[digits - 1] >= '0' && ext[digits - 1] <= '9') --digits;
  if (digits == ext.size()) {
    VolNum = FArcType == atArj ? 1 : 0;
    return;
  }
  VolLetter = ext[0];
  Int64 value = 0;
  for (std::size_t i = digits; i < ext.size(); ++i)
    value = std::min<Int64>(value * 10 + (ext[i] - '0'), std::numeric_limits<Int32>::max() - 1);
  VolNum = static_cast<Int32>(value + 1);
}

}  // namespace vsk
