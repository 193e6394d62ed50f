#pragma once
// Runs the lister over an archive and keeps what its events delivered.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "archive/core/dates.h"
#include "archive/formats/lister/vorsk.h"

namespace vsktest {

struct ListedEntry {
  std::string name;
  vsk::Int64 packed = 0, unpacked = 0;
  vsk::UInt32 crc = 0;
  bool encrypted = false;
  int method = 0;
  std::string methodText;
  vsk::UInt32 attr = 0;
  vsk::UInt16 internalAttr = 0;
  vsk::UInt16 madeBy = 0, needed = 0;
  vsk::Byte host = 0;
  int ratio = 0;
  vsk::TDateTime date = 0;
  std::string volume;
  vsk::Int64 offset = 0;
  int filenum = 0;
};

struct ListResult {
  bool ok = false;
  std::vector<ListedEntry> entries;
  std::vector<int> errors;
  std::vector<std::string> errorTexts;  // the extended message of each error
  std::vector<std::string> readFile;
  std::vector<std::string> volumesAsked;
  double unpackTotal = -1, packTotal = -1;
  int numFiles = -1;

  const ListedEntry* Find(const std::string& name) const {
    for (const auto& e : entries)
      if (e.name == name) return &e;
    return nullptr;
  }
};

struct ListOptions {
  std::vector<std::string> spec{"*.*"};
  bool showDirs = false;
  // Answers OnNextVolume; without one the event stays unassigned. The
  // default answer takes the proposed volume when it exists.
  bool assignNextVolume = true;
  std::function<bool(std::string& volume, bool exists)> nextVolume;
};

inline ListResult ListArchive(vsk::TVorsk& v, const std::string& archive, const ListOptions& o = {}) {
  ListResult r;
  v.SetArchiveFile(archive);
  v.FileSpec = o.spec;
  v.ShowEmptyDirs = o.showDirs;
  v.OnRead = [&r](vsk::TZipCommon& s, vsk::Int64 offset, int filenum) {
    auto& l = static_cast<vsk::TVorsk&>(s);
    r.entries.push_back({l.FileName, l.PackedSize, l.UnpackedSize, l.CRC, l.Encrypted, l.MethodNumber, l.MethodText,
                         l.ExternalAttr, l.InternalAttr, l.VersionMadeBy, l.VersionNeeded, l.HostSystem, l.Ratio,
                         l.FileDate, l.VolumeName, offset, filenum});
  };
  v.OnReadFile = [&r](vsk::TZipCommon&, const std::string& n) { r.readFile.push_back(n); };
  v.OnError = [&r](vsk::TZipCommon&, const std::string&, const std::string& x, const std::string&, int c) {
    r.errors.push_back(c);
    r.errorTexts.push_back(x);
  };
  v.OnTotals = [&r](vsk::TZipCommon&, double u, double p, int, int n) {
    r.unpackTotal = u;
    r.packTotal = p;
    r.numFiles = n;
  };
  if (o.assignNextVolume) {
    v.OnNextVolume = [&r, &o](vsk::TZipCommon&, std::string& volume, const std::string&, bool exists, bool& cancel) {
      r.volumesAsked.push_back(volume);
      cancel = o.nextVolume ? !o.nextVolume(volume, exists) : !exists;
    };
  } else {
    v.OnNextVolume = nullptr;
  }
  r.ok = v.Activate();
  return r;
}

inline ListResult ListArchive(const std::string& archive, const ListOptions& o = {}) {
  vsk::TVorsk v;
  return ListArchive(v, archive, o);
}

// "YYYY-MM-DD hh:mm:ss".
inline std::string DateText(vsk::TDateTime d) {
  int y, m, day, h, mi, s, ms;
  vsk::DecodeDate(d, y, m, day);
  vsk::DecodeTime(d, h, mi, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, day, h, mi, s);
  return buf;
}

}  // namespace vsktest

namespace vsktest {

// A stand-in for a self-extractor's program: an MZ image of Size bytes,
// whose header says where the image ends (the archive follows it).
inline std::string SfxStub(std::size_t Size) {
  std::string stub(Size, '\0');
  stub[0] = 'M';
  stub[1] = 'Z';
  const std::size_t last = Size % 512, pages = Size / 512 + (last ? 1 : 0);
  stub[2] = static_cast<char>(last & 0xFF);
  stub[3] = static_cast<char>(last >> 8);
  stub[4] = static_cast<char>(pages & 0xFF);
  stub[5] = static_cast<char>(pages >> 8);
  return stub;
}

}  // namespace vsktest
