#pragma once
// Builds small ZIP archives in test code, for names and layouts no archiver
// would write.

#include <string>
#include <vector>

#include "base/checksum.h"
#include "base/records/ziprecords.h"

namespace vsktest {

struct ZipEntrySpec {
  std::string name;
  std::string data;
  vsk::UInt16 method = 0;  // the data are stored as given
  vsk::UInt32 externalAttr = 0x20;
  vsk::UInt16 flags = 0;
  // The stored bytes when they differ from the data (compressed entries).
  std::string packed{};
  bool hasPacked = false;
};

inline std::string BuildZip(const std::vector<ZipEntrySpec>& entries, const std::string& prefix = {}) {
  std::string out = prefix, central;
  for (const auto& e : entries) {
    vsk::TZipLocalHeader l;
    l.Signature = 0x04034B50;
    l.VersionNeeded = 20;
    l.Flags = e.flags;
    l.Method = e.method;
    l.DosDateTime = (42u << 25) | (3u << 21) | (4u << 16) | (5u << 11);
    l.Crc32 = vsk::Crc32Of(e.data.data(), e.data.size());
    const std::string& stored = e.hasPacked ? e.packed : e.data;
    l.PackedSize = static_cast<vsk::UInt32>(stored.size());
    l.UnpackedSize = static_cast<vsk::UInt32>(e.data.size());
    l.FileNameLength = static_cast<vsk::UInt16>(e.name.size());
    vsk::Byte lh[30];
    l.Serialize(lh);
    const auto offset = static_cast<vsk::UInt32>(out.size() - prefix.size());
    out.append(reinterpret_cast<char*>(lh), 30);
    out += e.name;
    out += stored;
    vsk::TZipCentralRecord c;
    c.Signature = 0x02014B50;
    c.VersionMadeBy = 20;
    c.VersionNeeded = 20;
    c.Flags = l.Flags;
    c.Method = l.Method;
    c.DosDateTime = l.DosDateTime;
    c.Crc32 = l.Crc32;
    c.PackedSize = l.PackedSize;
    c.UnpackedSize = l.UnpackedSize;
    c.FileNameLength = l.FileNameLength;
    c.ExternalAttr = e.externalAttr;
    c.LocalHeaderOffset = offset;
    vsk::Byte ch[46];
    c.Serialize(ch);
    central.append(reinterpret_cast<char*>(ch), 46);
    central += e.name;
  }
  vsk::TZipEndRecord end;
  end.Signature = 0x06054B50;
  end.EntriesOnDisk = end.EntriesTotal = static_cast<vsk::UInt16>(entries.size());
  end.CentralDirSize = static_cast<vsk::UInt32>(central.size());
  end.CentralDirOffset = static_cast<vsk::UInt32>(out.size() - prefix.size());
  vsk::Byte eh[22];
  end.Serialize(eh);
  out += central;
  out.append(reinterpret_cast<char*>(eh), 22);
  return out;
}

}  // namespace vsktest
