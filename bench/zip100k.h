#pragma once
// The archive the listing benchmarks share: a stored ZIP of 100,000 small
// files in 50 folders, written once into the temporary folder.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/checksum.h"
#include "archive/formats/lister/vorsk.h"
#include "base/records/ziprecords.h"

namespace vskbench {

inline constexpr int kEntries = 100000;

inline const std::string& HundredThousandEntryZip() {
  static const std::string name = [] {
    const std::string path = (std::filesystem::temp_directory_path() / "vskbench-100k.zip").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<vsk::Byte> central;
    vsk::UInt32 offset = 0;
    for (int i = 0; i < kEntries; ++i) {
      const std::string name = "folder" + std::to_string(i % 50) + "/file" + std::to_string(i) + ".txt";
      const std::string data = "entry " + std::to_string(i) + "\n";
      vsk::TZipLocalHeader l;
      l.Signature = 0x04034B50;
      l.VersionNeeded = 10;
      l.DosDateTime = (44u << 25) | (1u << 21) | (1u << 16);
      l.Crc32 = vsk::Crc32Of(data.data(), data.size());
      l.PackedSize = l.UnpackedSize = static_cast<vsk::UInt32>(data.size());
      l.FileNameLength = static_cast<vsk::UInt16>(name.size());
      vsk::Byte lh[30];
      l.Serialize(lh);
      out.write(reinterpret_cast<char*>(lh), 30);
      out.write(name.data(), static_cast<std::streamsize>(name.size()));
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
      vsk::TZipCentralRecord c;
      c.Signature = 0x02014B50;
      c.VersionMadeBy = 20;
      c.VersionNeeded = 10;
      c.DosDateTime = l.DosDateTime;
      c.Crc32 = l.Crc32;
      c.PackedSize = c.UnpackedSize = l.PackedSize;
      c.FileNameLength = l.FileNameLength;
      c.ExternalAttr = 0x20;
      c.LocalHeaderOffset = offset;
      vsk::Byte ch[46];
      c.Serialize(ch);
      central.insert(central.end(), ch, ch + 46);
      central.insert(central.end(), name.begin(), name.end());
      offset += static_cast<vsk::UInt32>(30 + name.size() + data.size());
    }
    out.write(reinterpret_cast<char*>(central.data()), static_cast<std::streamsize>(central.size()));
    vsk::TZipEndRecord e;
    e.Signature = 0x06054B50;
    e.EntriesOnDisk = e.EntriesTotal = 0xFFFF;  // more than 65535: the tools count records
    e.CentralDirSize = static_cast<vsk::UInt32>(central.size());
    e.CentralDirOffset = offset;
    vsk::Byte eh[22];
    e.Serialize(eh);
    out.write(reinterpret_cast<char*>(eh), 22);
    return path;
  }();
  return name;
}
// Lists every entry of an archive, touching each name; gives the count.
inline int ListAll(const std::string& Archive) {
  vsk::TVorsk v;
  v.SetArchiveFile(Archive);
  v.FileSpec = {"*.*"};
  volatile long long names = 0;
  v.OnRead = [&](vsk::TZipCommon& s, vsk::Int64, int) {
    names = names + static_cast<long long>(static_cast<vsk::TVorsk&>(s).FileName.size());
  };
  v.Activate();
  return v.NumFiles;
}

}  // namespace vskbench
