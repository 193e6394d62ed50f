#include "base/records/ziprecords.h"

namespace vsk {

TZipLocalHeader TZipLocalHeader::Parse(const Byte* p) {
  TZipLocalHeader h;
  h.Signature = GetLE32(p);
  h.VersionNeeded = GetLE16(p + 4);
  h.Flags = GetLE16(p + 6);
  h.Method = GetLE16(p + 8);
  h.DosDateTime = GetLE32(p + 10);
  h.Crc32 = GetLE32(p + 14);
  h.PackedSize = GetLE32(p + 18);
  h.UnpackedSize = GetLE32(p + 22);
  h.FileNameLength = GetLE16(p + 26);
  h.ExtraFieldLength = GetLE16(p + 28);
  return h;
}

void TZipLocalHeader::Serialize(Byte* p) const {
  PutLE32(p, Signature);
  PutLE16(p + 4, VersionNeeded);
  PutLE16(p + 6, Flags);
  PutLE16(p + 8, Method);
  PutLE32(p + 10, DosDateTime);
  PutLE32(p + 14, Crc32);
  PutLE32(p + 18, PackedSize);
  PutLE32(p + 22, UnpackedSize);
  PutLE16(p + 26, FileNameLength);
  PutLE16(p + 28, ExtraFieldLength);
}

TZipCentralRecord TZipCentralRecord::Parse(const Byte* p) {
  TZipCentralRecord r;
  r.Signature = GetLE32(p);
  r.VersionMadeBy = GetLE16(p + 4);
  r.VersionNeeded = GetLE16(p + 6);
  r.Flags = GetLE16(p + 8);
  r.Method = GetLE16(p + 10);
  r.DosDateTime = GetLE32(p + 12);
  r.Crc32 = GetLE32(p + 16);
  r.PackedSize = GetLE32(p + 20);
  r.UnpackedSize = GetLE32(p + 24);
  r.FileNameLength = GetLE16(p + 28);
  r.ExtraFieldLength = GetLE16(p + 30);
  r.FileCommentLength = GetLE16(p + 32);
  r.DiskNumberStart = GetLE16(p + 34);
  r.InternalAttr = GetLE16(p + 36);
  r.ExternalAttr = GetLE32(p + 38);
  r.LocalHeaderOffset = GetLE32(p + 42);
  return r;
}

void TZipCentralRecord::Serialize(Byte* p) const {
  PutLE32(p, Signature);
  PutLE16(p + 4, VersionMadeBy);
  PutLE16(p + 6, VersionNeeded);
  PutLE16(p + 8, Flags);
  PutLE16(p + 10, Method);
  PutLE32(p + 12, DosDateTime);
  PutLE32(p + 16, Crc32);
  PutLE32(p + 20, PackedSize);
  PutLE32(p + 24, UnpackedSize);
  PutLE16(p + 28, FileNameLength);
  PutLE16(p + 30, ExtraFieldLength);
  PutLE16(p + 32, FileCommentLength);
  PutLE16(p + 34, DiskNumberStart);
  PutLE16(p + 36, InternalAttr);
  PutLE32(p + 38, ExternalAttr);
  PutLE32(p + 42, LocalHeaderOffset);
}

TZipEndRecord TZipEndRecord::Parse(const Byte* p) {
  TZipEndRecord e;
  e.Signature = GetLE32(p);
  e.DiskNumber = GetLE16(p + 4);
  e.CentralDirDisk = GetLE16(p + 6);
  e.EntriesOnDisk = GetLE16(p + 8);
  e.EntriesTotal = GetLE16(p + 10);
  e.CentralDirSize = GetLE32(p + 12);
  e.CentralDirOffset = GetLE32(p + 16);
  e.CommentLength = GetLE16(p + 20);
  return e;
}

void TZipEndRecord::Serialize(Byte* p) const {
  PutLE32(p, Signature);
  PutLE16(p + 4, DiskNumber);
  PutLE16(p + 6, CentralDirDisk);
  PutLE16(p + 8, EntriesOnDisk);
  PutLE16(p + 10, EntriesTotal);
  PutLE32(p + 12, CentralDirSize);
  PutLE32(p + 16, CentralDirOffset);
  PutLE16(p + 20, CommentLength);
}

TZipDataDescriptor TZipDataDescriptor::Parse(const Byte* p) {
  TZipDataDescriptor d;
  d.Signature = GetLE32(p);
  d.Crc32 = GetLE32(p + 4);
  d.PackedSize = GetLE32(p + 8);
  d.UnpackedSize = GetLE32(p + 12);
  return d;
}

void TZipDataDescriptor::Serialize(Byte* p) const {
  PutLE32(p, Signature);
  PutLE32(p + 4, Crc32);
  PutLE32(p + 8, PackedSize);
  PutLE32(p + 12, UnpackedSize);
}

}  // namespace vsk
