#pragma once
// Runs the lister over an archive and keeps everything it reported.

#include <string>
#include <vector>

#include "archive/core/dates.h"
#include "archive/formats/lister/vorsk.h"

namespace vsk::lhatest {

struct Listed {
  std::string name;
  Int64 packed = 0, unpacked = 0;
  UInt32 crc = 0;
  bool encrypted = false;
  UInt16 methodNumber = 0;
  std::string method;
  UInt32 attr = 0;
  UInt16 internalAttr = 0;
  UInt16 madeBy = 0, needed = 0;
  Byte ratio = 0;
  TDateTime date = 0;
  Int64 offset = 0;
  int filenum = 0;
};

struct Result {
  bool ok = false;
  TArcType type = atNA;
  std::vector<Listed> entries;
  std::vector<int> errors;
  std::vector<std::string> readFile;
  double unpackTotal = -1, packTotal = -1;
  int ratio = -1, numFiles = -1;

  const Listed* Find(const std::string& name) const {
    for (const auto& e : entries)
      if (e.name == name) return &e;
    return nullptr;
  }
};

inline Result List(const std::string& archive, std::vector<std::string> spec = {"*.*"}, bool showDirs = false) {
  Result r;
  TVorsk v;
  v.SetArchiveFile(archive);
  r.type = v.ArcType();
  v.FileSpec = std::move(spec);
  v.ShowEmptyDirs = showDirs;
  v.OnRead = [&](TZipCommon& s, Int64 offset, int filenum) {
    auto& l = static_cast<TVorsk&>(s);
    r.entries.push_back({l.FileName, l.PackedSize, l.UnpackedSize, l.CRC, l.Encrypted, l.MethodNumber, l.MethodText,
                         l.ExternalAttr, l.InternalAttr, l.VersionMadeBy, l.VersionNeeded, l.Ratio, l.FileDate, offset,
                         filenum});
  };
  v.OnReadFile = [&](TZipCommon&, const std::string& n) { r.readFile.push_back(n); };
  v.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
    r.errors.push_back(c);
  };
  v.OnTotals = [&](TZipCommon&, double u, double p, int ratio, int n) {
    r.unpackTotal = u;
    r.packTotal = p;
    r.ratio = ratio;
    r.numFiles = n;
  };
  r.ok = v.Activate();
  return r;
}

// "2019-03-14 10:22:36" in local time.
inline std::string DateText(TDateTime d) {
  int y, m, day, h, mi, s, ms;
  DecodeDate(d, y, m, day);
  DecodeTime(d, h, mi, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, day, h, mi, s);
  return buf;
}

}  // namespace vsk::lhatest
