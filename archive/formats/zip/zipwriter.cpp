#include "archive/formats/zip/zipwriter.h"

#include <algorithm>
#include <cstring>

#include "archive/core/diskmanager.h"
#include "archive/core/numbers.h"
#include "archive/core/paths.h"
#include "archive/core/selection.h"
#include "archive/core/zipcrypt.h"
#include "archive/formats/zip/zipdescriptor.h"
#include "archive/formats/zip/zipspan.h"

namespace vsk {

namespace {

constexpr UInt16 kVersion20 = 20;
// Made by 2.0 on a Unix host when the entry's mode is known, so that readers
// restore its permissions and take a name flagged UTF-8 as UTF-8 (some read
// names of MS-DOS entries as CP437 whatever the flag says).
constexpr UInt16 kMadeByUnix = (3 << 8) | kVersion20;
// The window searched for the end record: the record and the longest comment.
constexpr Int64 kEndWindow = 65535 + TZipEndRecord::Size;
constexpr UInt32 kZip64LocatorSignature = 0x07064B50u;
// "PK00": the marker some archivers put in front of a split archive that
// fits on one disk.
constexpr UInt32 kSingleSpanMarker = 0x30304B50u;

UInt16 DeflateFlagBits(TDeflateType t) {
  switch (t) {
    case dtDeflateS:
      return 6;
    case dtDeflateF:
      return 4;
    case dtDeflateN:
      return 0;
    case dtDeflateX:
      return 2;
  }
  return 0;
}

bool EndsWithSlash(const std::string& s) { return !s.empty() && (s.back() == '/' || s.back() == '\\'); }

}  // namespace

TZip::TZip() : TZip(atZip, ".ZIP") {}

TZip::TZip(TArcType OwnType, const char* OwnExt) : FOwnType(OwnType) {
  FOwnExt = OwnExt;
  FDefaultExt = OwnExt;
  FArcType = OwnType;
  FSupportedMethods = {cmStore, cmDeflate};
  FCompressMethod = cmDeflate;
}

TJar::TJar() : TZip(atJar, ".JAR") {}

void TZip::SetArcType(TArcType) {
  FArcType = FOwnType;
  SetDefaultExt(FOwnExt);
}

bool TZip::BuildsAwayFromTarget() const { return DiskManager->DriveType == DRIVE_REMOVABLE; }

TCompBase::TFormatTraits TZip::Traits() const {
  TFormatTraits t;
  t.Comments = true;
  t.DeflatesAhead = true;
  t.AwayFromTarget = BuildsAwayFromTarget();
  return t;
}

// ---- new entries

bool TZip::WriteEntryData(TCompEntry& E) {
  E.RawName = AnsiToOemName(E.Name, TranslateOemChar, '/', FNameUtf8);
  return DeflateEntry(E, [this](TCompEntry& En, const TEntryResult* Done) { WriteHeader(En, Done); });
}

void TZip::WriteHeader(TCompEntry& E, const TEntryResult* Done) {
  if (Done)
    CompleteLocalHeader(E, *Done);
  else
    StartLocalHeader(E);
  WriteLocalHeader(E);
}

void TZip::StartLocalHeader(TCompEntry& E) {
  FLocal = {};
  FLocal.Signature = ZipHeaderSignature(kZipLocalKind, EncryptHeaders);
  FLocal.VersionNeeded = kVersion20;
  FLocal.Flags = FNameUtf8 ? kZipFlagUtf8 : 0;
  FLocal.Method = E.IsDir ? 0 : 8;
  FLocal.DosDateTime = static_cast<UInt32>(FileDateByAttribute(static_cast<Int32>(E.FileTime)));
  FLocal.UnpackedSize = static_cast<UInt32>(E.FileSize);
  FLocal.FileNameLength = static_cast<UInt16>(E.RawName.size());
  FText = false;
}

void TZip::CompleteLocalHeader(TCompEntry& E, const TEntryResult& R) {
  FLocal.ExtraFieldLength = 0;
  FLocal.FileNameLength = static_cast<UInt16>(E.RawName.size());
  FLocal.UnpackedSize = static_cast<UInt32>(R.Uncompressed);
  FLocal.PackedSize = static_cast<UInt32>(R.Compressed);
  FLocal.Crc32 = R.Uncompressed == 0 ? 0 : R.Crc;
  UInt16 flags = FNameUtf8 ? kZipFlagUtf8 : 0;
  if (R.Encrypted) flags |= kZipFlagEncrypted;
  if (R.Deflated) {
    FLocal.Method = 8;
    flags |= DeflateFlagBits(FRunDeflateType);
  } else {
    FLocal.Method = 0;
  }
  FLocal.Flags = flags;
  FText = R.Text;
}

void TZip::WriteLocalHeader(TCompEntry& E) {
  Byte h[TZipLocalHeader::Size];
  FLocal.Serialize(h);
  std::string name = E.RawName;
  if (FLocal.Signature == kZipLocalSignatureEnc) {
    Crypt->EncryptZipHeader(h, kZipLocalKind);
    Crypt->EncryptZipHeaderCont(name.data(), name.size());
  }
  Write(h, sizeof h);
  Write(name.data(), static_cast<Int64>(name.size()));
}

void TZip::MakeCentralRecord(TCompEntry& E) {
  TZipCentralRecord c;
  c.Signature = kZipCentralSignature;
  c.VersionMadeBy = E.FileMode != 0 ? kMadeByUnix : kVersion20;
  c.VersionNeeded = kVersion20;
  c.Flags = FLocal.Flags;
  c.Method = FLocal.Method;
  c.DosDateTime = FLocal.DosDateTime;
  c.Crc32 = FLocal.Crc32;
  c.PackedSize = FLocal.PackedSize;
  c.UnpackedSize = FLocal.UnpackedSize;
  c.FileNameLength = FLocal.FileNameLength;
  c.InternalAttr = FText ? 1 : 0;
  c.ExternalAttr = (E.FileAttr & 0xFF) | ((E.FileMode & 0xFFFFu) << 16);
  c.LocalHeaderOffset = static_cast<UInt32>(E.NewOffset);
  E.Head.assign(TZipCentralRecord::Size, 0);
  c.Serialize(E.Head.data());
  E.EncryptedHeaders = EncryptHeaders;
  E.Extra.clear();
  E.Comment.clear();
  E.Times = {c.UnpackedSize, c.PackedSize, c.DosDateTime, c.ExternalAttr};
}

void TZip::FinishEntry(TCompEntry& E) {
  MakeCentralRecord(E);
  Fire(OnEnd, E.Name, Crc->Crc32 == FLocal.Crc32 || FLocal.UnpackedSize == 0);
}

void TZip::DescribeEntry(const TCompEntry& E) {
  FileName = E.Name;
  if (E.Head.size() != TZipCentralRecord::Size) return;
  const auto c = TZipCentralRecord::Parse(E.Head.data());
  VersionMadeBy = c.VersionMadeBy;
  VersionNeeded = c.VersionNeeded;
  Encrypted = (c.Flags & kZipFlagEncrypted) != 0;
  PackedSize = Encrypted && c.PackedSize >= kZipEncryptionHeaderSize ? c.PackedSize - kZipEncryptionHeaderSize
                                                                      : c.PackedSize;
  UnpackedSize = c.UnpackedSize;
  CRC = c.Crc32;
  MethodNumber = c.Method;
  TMethodQuery q;
  q.ArcType = ArcType();
  q.Method = c.Method;
  q.Flags = c.Flags;
  q.ExternalAttr = c.ExternalAttr;
  MethodText = GetCompressMethodName(q);
  ExternalAttr = c.ExternalAttr;
  InternalAttr = c.InternalAttr;
  Ratio = static_cast<Byte>(CompressRatio(PackedSize, UnpackedSize));
  FileDate = c.DosDateTime > 0 ? ConvertDosDate(c.DosDateTime) : 0;
  FileComment = E.Comment;
}

// ---- the old archive

Int64 TZip::FindEndRecord(TZipEndRecord& End) {
  const Int64 window = std::min<Int64>(FOldSize, kEndWindow);
  if (window < static_cast<Int64>(TZipEndRecord::Size)) return -1;
  std::vector<Byte> tail(static_cast<std::size_t>(window));
  const Int64 base = FOldSize - window;
  if (!ReadOld(base, tail.data(), window)) return -1;
  // Of several candidates the one whose comment runs exactly to the end of
  // the file wins; failing that, the one nearest the end.
  Int64 fallback = -1;
  TZipEndRecord fallbackRec;
  for (Int64 i = window - static_cast<Int64>(TZipEndRecord::Size); i >= 0; --i) {
    const Byte* p = &tail[static_cast<std::size_t>(i)];
    if (p[0] != 'P') continue;
    bool enc = false;
    if (ClassifyZipSignature(GetLE32(p), kZipEndKind, enc) != kZipEndKind) continue;
    Byte rec[TZipEndRecord::Size];
    std::memcpy(rec, p, sizeof rec);
    if (enc) Crypt->DecryptZipHeader(rec, kZipEndKind);
    const auto r = TZipEndRecord::Parse(rec);
    if (base + i + static_cast<Int64>(TZipEndRecord::Size) + r.CommentLength == FOldSize) {
      End = r;
      return base + i;
    }
    if (fallback < 0) {
      fallback = base + i;
      fallbackRec = r;
    }
  }
  End = fallbackRec;
  return fallback;
}

bool TZip::LoadOldDirectory() {
  FArchiveComment.clear();
  FMarkedForDelete = 0;
  TZipEndRecord end;
  const Int64 endPos = FindEndRecord(end);
  const bool ok = endPos >= 0 ? LoadFromDirectory(endPos, end) : LoadFromLocalHeaders();
  if (!ok) {
    FEntries.clear();
    FNameIndex.clear();
    return false;
  }
  FinishLoading();
  return true;
}

bool TZip::LoadFromDirectory(Int64 EndPos, const TZipEndRecord& End) {
  if (End.DiskNumber != 0 || End.CentralDirDisk != 0) {
    ReportError(ArchiveFile(), "spanned archive", "0", msg::UnsupportedArcType);
    return false;
  }
  Byte sig[4];
  if (EndPos >= 20 && ReadOld(EndPos - 20, sig, 4) && GetLE32(sig) == kZip64LocatorSignature) {
    ReportError(ArchiveFile(), "64-bit archive", "0", msg::UnsupportedArcType);
    return false;
  }
  const Int64 commentLen =
      std::min<Int64>(End.CommentLength, FOldSize - EndPos - static_cast<Int64>(TZipEndRecord::Size));
  FArchiveComment.resize(static_cast<std::size_t>(commentLen));
  if (commentLen > 0) ReadOld(EndPos + static_cast<Int64>(TZipEndRecord::Size), FArchiveComment.data(), commentLen);

  auto centralAt = [&](Int64 pos) {
    bool enc = false;
    return pos >= 0 && pos + 4 <= EndPos && ReadOld(pos, sig, 4) &&
           ClassifyZipSignature(GetLE32(sig), kZipCentralKind, enc) == kZipCentralKind;
  };
  // Offsets may count from the start of zip data that was moved behind a
  // prefix: the directory then ends right before the end record.
  Int64 start = End.CentralDirOffset, shift = 0;
  if (!centralAt(start)) {
    const Int64 moved = EndPos - static_cast<Int64>(End.CentralDirSize);
    if (centralAt(moved)) {
      shift = moved - start;
      start = moved;
    } else if (End.EntriesTotal == 0) {
      start = EndPos;
    } else {
      ReportError(ArchiveFile(), 25259);
      return false;
    }
  }
  FCentralPos = start;
  std::vector<Byte> dir(static_cast<std::size_t>(EndPos - start));
  if (!dir.empty() && !ReadOld(start, dir.data(), static_cast<Int64>(dir.size()))) {
    ReportError(ArchiveFile(), msg::ErrorReadingFile);
    return false;
  }
  std::size_t p = 0;
  int count = 0;
  while (p + TZipCentralRecord::Size <= dir.size()) {
    bool enc = false;
    if (ClassifyZipSignature(GetLE32(&dir[p]), kZipCentralKind, enc) != kZipCentralKind) break;
    Byte h[TZipCentralRecord::Size];
    std::memcpy(h, &dir[p], sizeof h);
    if (enc) Crypt->DecryptZipHeader(h, kZipCentralKind);
    auto c = TZipCentralRecord::Parse(h);
    const std::size_t need =
        TZipCentralRecord::Size + c.FileNameLength + c.ExtraFieldLength + c.FileCommentLength;
    if (need > dir.size() - p) break;
    const char* q = reinterpret_cast<const char*>(&dir[p + TZipCentralRecord::Size]);
    std::string raw(q, c.FileNameLength);
    if (enc) Crypt->DecryptZipHeaderCont(raw.data(), raw.size());
    std::string extra(q + c.FileNameLength, c.ExtraFieldLength);
    std::string comment(q + c.FileNameLength + c.ExtraFieldLength, c.FileCommentLength);
    p += need;
    if (!AddOldEntry(c, std::move(raw), std::move(extra), std::move(comment), enc,
                     static_cast<Int64>(c.LocalHeaderOffset) + shift))
      return false;
    ++count;
  }
  if (count < End.EntriesTotal) {
    ReportError(ArchiveFile(), msg::BadFileHeader);
    return false;
  }
  return true;
}

bool TZip::AddOldEntry(TZipCentralRecord C, std::string Raw, std::string Extra, std::string Comment, bool Enc,
                       Int64 Offset) {
  TCompEntry e;
  e.Name = OemToAnsiName(Raw, TranslateOemChar && !(C.Flags & kZipFlagUtf8));
  // "./a" names the same file as "a"; the stored bytes stay as they are.
  while (e.Name.size() > 2 && e.Name.compare(0, 2, "./") == 0) e.Name.erase(0, 2);
  Byte h[TZipLocalHeader::Size];
  bool localEnc = false;
  if (!ReadOld(Offset, h, sizeof h) || ClassifyZipSignature(GetLE32(h), kZipLocalKind, localEnc) != kZipLocalKind) {
    ReportError(ArchiveFile(), e.Name, "0", msg::BadFileHeader);
    return false;
  }
  if (localEnc) Crypt->DecryptZipHeader(h, kZipLocalKind);
  const auto l = TZipLocalHeader::Parse(h);
  const Int64 dataEnd = Offset + static_cast<Int64>(TZipLocalHeader::Size) + l.FileNameLength + l.ExtraFieldLength +
                        static_cast<Int64>(C.PackedSize);
  if (dataEnd > FOldSize) {
    ReportError(ArchiveFile(), e.Name, "0", msg::BadFileHeader);
    return false;
  }
  Int64 end = dataEnd;
  if ((C.Flags | l.Flags) & kZipFlagDataDescriptor) {
    // The descriptor travels with the entry, with or without its signature.
    Byte d[4];
    if (dataEnd + 16 <= FOldSize && ReadOld(dataEnd, d, 4) && GetLE32(d) == kZipDescriptorSignature)
      end += 16;
    else if (dataEnd + 12 <= FOldSize)
      end += 12;
  }
  C.Signature = kZipCentralSignature;
  e.Head.assign(TZipCentralRecord::Size, 0);
  C.Serialize(e.Head.data());
  e.Times = {C.UnpackedSize, C.PackedSize, C.DosDateTime, C.ExternalAttr};
  e.RawName = std::move(Raw);
  e.Extra = std::move(Extra);
  e.Comment = std::move(Comment);
  e.EncryptedHeaders = Enc;
  e.IsOld = true;
  e.IsDir = (C.ExternalAttr & 0x10) != 0 || EndsWithSlash(e.RawName);
  e.OldOffset = Offset;
  e.OldLength = end - Offset;
  e.State = esCopy;
  FEntries.push_back(std::move(e));
  return true;
}

bool TZip::LoadFromLocalHeaders() {
  Int64 pos = 0;
  Byte h[TZipLocalHeader::Size];
  if (ReadOld(0, h, 4) && (GetLE32(h) == kZipDescriptorSignature || GetLE32(h) == kSingleSpanMarker)) pos = 4;
  while (ReadOld(pos, h, sizeof h)) {
    bool enc = false;
    if (ClassifyZipSignature(GetLE32(h), kZipLocalKind, enc) != kZipLocalKind) break;
    if (enc) Crypt->DecryptZipHeader(h, kZipLocalKind);
    const auto l = TZipLocalHeader::Parse(h);
    std::string raw(l.FileNameLength, '\0');
    if (!ReadOld(pos + static_cast<Int64>(TZipLocalHeader::Size), raw.data(), l.FileNameLength)) break;
    if (enc) Crypt->DecryptZipHeaderCont(raw.data(), raw.size());
    const Int64 dataStart = pos + static_cast<Int64>(TZipLocalHeader::Size) + l.FileNameLength + l.ExtraFieldLength;
    TZipCentralRecord c;
    c.VersionMadeBy = kVersion20;
    c.VersionNeeded = l.VersionNeeded;
    c.Flags = l.Flags;
    c.Method = l.Method;
    c.DosDateTime = l.DosDateTime;
    c.Crc32 = l.Crc32;
    c.PackedSize = l.PackedSize;
    c.UnpackedSize = l.UnpackedSize;
    c.FileNameLength = l.FileNameLength;
    c.ExternalAttr = EndsWithSlash(raw) ? 0x10 : 0x20;
    c.LocalHeaderOffset = static_cast<UInt32>(pos);
    Int64 next = dataStart + l.PackedSize;
    if ((l.Flags & kZipFlagDataDescriptor) && l.PackedSize == 0) {
      TZipDataDescriptor d;
      if (!FindDataDescriptor(*FOld, dataStart, FOldSize, d, next)) {
        ReportError(ArchiveFile(), OemToAnsiName(raw, TranslateOemChar), "0", msg::BadFileHeader);
        return false;
      }
      c.Crc32 = d.Crc32;
      c.PackedSize = d.PackedSize;
      c.UnpackedSize = d.UnpackedSize;
    }
    if (next > FOldSize || next <= pos) {
      ReportError(ArchiveFile(), OemToAnsiName(raw, TranslateOemChar), "0", msg::BadFileHeader);
      return false;
    }
    if (!AddOldEntry(c, std::move(raw), {}, {}, enc, pos)) return false;
    // FindDataDescriptor's end is the reliable one for entries whose sizes follow the data.
    FEntries.back().OldLength = std::max(FEntries.back().OldLength, next - pos);
    pos = FEntries.back().OldOffset + FEntries.back().OldLength;
  }
  if (FEntries.empty()) {
    ReportError(ArchiveFile(), 25259);
    return false;
  }
  FCentralPos = pos;
  return true;
}

void TZip::FinishLoading() {
  FPrefixLength = FCentralPos >= 0 ? FCentralPos : 0;
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    TCompEntry& e = FEntries[i];
    FPrefixLength = std::min(FPrefixLength, e.OldOffset);
    if (Switch == swDelete && MatchFileName(e.Name, FileSpec, {})) {
      e.State = esDrop;
      ++FMarkedForDelete;
    }
    IndexName(static_cast<int>(i));
  }
}

bool TZip::CopyOldEntry(TCompEntry& E) {
  if (E.State == esCopy) return TCompBase::CopyOldEntry(E);
  Byte h[TZipLocalHeader::Size];
  bool enc = false;
  if (!ReadOld(E.OldOffset, h, sizeof h) || ClassifyZipSignature(GetLE32(h), kZipLocalKind, enc) != kZipLocalKind) {
    ReportError(ArchiveFile(), E.Name, "0", msg::ErrorWritingToFile);
    return false;
  }
  if (enc) Crypt->DecryptZipHeader(h, kZipLocalKind);
  auto l = TZipLocalHeader::Parse(h);
  const Int64 oldName = l.FileNameLength;
  bool utf8 = false;
  std::string raw = AnsiToOemName(E.NewName, TranslateOemChar, '/', utf8);
  const auto flagUtf8 = [&](UInt16 flags) {
    return static_cast<UInt16>((flags & ~kZipFlagUtf8) | (utf8 ? kZipFlagUtf8 : 0));
  };
  l.FileNameLength = static_cast<UInt16>(raw.size());
  l.Flags = flagUtf8(l.Flags);
  l.Serialize(h);
  std::string name = raw;
  if (enc) {
    Crypt->EncryptZipHeader(h, kZipLocalKind);
    Crypt->EncryptZipHeaderCont(name.data(), name.size());
  }
  Write(h, sizeof h);
  Write(name.data(), static_cast<Int64>(name.size()));
  const Int64 rest = E.OldLength - static_cast<Int64>(TZipLocalHeader::Size) - oldName;
  if (rest < 0) {
    ReportError(ArchiveFile(), E.Name, "0", msg::ErrorWritingToFile);
    return false;
  }
  CopyFromOld(E.OldOffset + static_cast<Int64>(TZipLocalHeader::Size) + oldName, rest);
  auto c = TZipCentralRecord::Parse(E.Head.data());
  c.FileNameLength = l.FileNameLength;
  c.Flags = flagUtf8(c.Flags);
  c.Serialize(E.Head.data());
  E.RawName = std::move(raw);
  return true;
}

// ---- finishing

void TZip::WriteEmptyArchive() {
  Byte rec[TZipEndRecord::Size] = {};
  PutLE32(rec, kZipEndSignature);
  Write(rec, sizeof rec);
}

void TZip::WriteDirectory() {
  const Int64 start = OutputPosition();
  std::string buf;
  int count = 0;
  for (const auto& e : FEntries) {
    if (e.State == esDrop || e.Head.size() != TZipCentralRecord::Size) continue;
    auto c = TZipCentralRecord::Parse(e.Head.data());
    c.Signature = ZipHeaderSignature(kZipCentralKind, e.EncryptedHeaders);
    c.LocalHeaderOffset = static_cast<UInt32>(e.NewOffset);
    c.DiskNumberStart = 0;
    c.FileNameLength = static_cast<UInt16>(e.RawName.size());
    c.ExtraFieldLength = static_cast<UInt16>(e.Extra.size());
    c.FileCommentLength = static_cast<UInt16>(e.Comment.size());
    Byte h[TZipCentralRecord::Size];
    c.Serialize(h);
    std::string name = e.RawName;
    if (e.EncryptedHeaders) {
      Crypt->EncryptZipHeader(h, kZipCentralKind);
      Crypt->EncryptZipHeaderCont(name.data(), name.size());
    }
    buf.append(reinterpret_cast<const char*>(h), sizeof h);
    buf += name;
    buf += e.Extra;
    buf += e.Comment;
    ++count;
    if (buf.size() >= (1u << 20)) {
      Write(buf.data(), static_cast<Int64>(buf.size()));
      buf.clear();
    }
  }
  Write(buf.data(), static_cast<Int64>(buf.size()));
  if (count > kMaxEntries) RaiseError(ArchiveFile(), "more than 65535 entries", "0", msg::MaxFileSizeExceeded);
  const Int64 dirEnd = OutputPosition();
  CheckOutputLimit(dirEnd + static_cast<Int64>(TZipEndRecord::Size + FArchiveComment.size()));
  TZipEndRecord end;
  end.Signature = kZipEndSignature;
  end.EntriesOnDisk = end.EntriesTotal = static_cast<UInt16>(count);
  end.CentralDirSize = static_cast<UInt32>(dirEnd - start);
  end.CentralDirOffset = static_cast<UInt32>(start);
  end.CommentLength = static_cast<UInt16>(FArchiveComment.size());
  Byte rec[TZipEndRecord::Size];
  end.Serialize(rec);
  Write(rec, sizeof rec);
  Write(FArchiveComment.data(), static_cast<Int64>(FArchiveComment.size()));
}

bool TZip::FinishArchive() {
  // A comment edit: the directory of the loaded entries.
  if (FLoadedForComments) {
    WriteDirectory();
    return false;
  }
  // A delete that dropped every entry leaves the empty archive.
  const bool allDropped =
      Switch == swDelete &&
      std::none_of(FEntries.begin(), FEntries.end(), [](const TCompEntry& e) { return e.State != esDrop; });
  if (allDropped) WriteEmptyArchive();
  ProgressEntryTotal = 0;
  ProgressArchiveTotal = ProgressBytesLeft = 0;
  if (FilesProcessed == 0 || allDropped) return false;
  if (BuildsAwayFromTarget()) {
    if (!SpanDisks()) {
      FRunFailed = true;
      FAdded = 0;
    }
    return true;
  }
  WriteDirectory();
  return false;
}

bool TZip::SpanDisks() {
  // The old archive may be the file on the first disk: it is closed first.
  FOld.reset();
  std::vector<TSpanEntry> list;
  for (const auto& e : FEntries) {
    if (e.State == esDrop || e.Head.size() != TZipCentralRecord::Size) continue;
    TSpanEntry s;
    s.Central = TZipCentralRecord::Parse(e.Head.data());
    s.Central.FileNameLength = static_cast<UInt16>(e.RawName.size());
    s.Central.ExtraFieldLength = static_cast<UInt16>(e.Extra.size());
    s.Central.FileCommentLength = static_cast<UInt16>(e.Comment.size());
    s.RawName = e.RawName;
    s.Extra = e.Extra;
    s.Comment = e.Comment;
    s.EncryptedHeaders = e.EncryptedHeaders;
    s.Offset = e.NewOffset;
    s.Length = e.NewLength;
    list.push_back(std::move(s));
  }
  TDiskSpanObj span(*this, *FOutput, std::move(list), FArchiveComment, !FArchiveIsNew);
  return span.Write();
}

std::vector<std::string> TZip::ReadBackNames() {
  if (BuildsAwayFromTarget()) return TCompBase::ReadBackNames();
  // What the committed file holds, read through the same checks as an old archive.
  TZip probe(FOwnType, FOwnExt.c_str());
  probe.TranslateOemChar = TranslateOemChar;
  probe.OnError = OnError;
  probe.SetArchiveFile(ArchiveFile());
  std::vector<std::string> names;
  if (probe.OpenOldArchive() < 0) return names;
  for (const auto& e : probe.Entries()) names.push_back(e.Name);
  return names;
}

}  // namespace vsk
