#pragma once
// Shared by the listing tests of the formats no Debian tool writes: running
// the lister and keeping what it reported, building archive bytes by hand,
// and reading what `lsar -j` says about an archive.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "archive/core/dates.h"
#include "archive/formats/lister/vorsk.h"
#include "tests/support/testutil.h"

namespace vsk::walktest {

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
  std::string comment;
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
  bool deactivated = false;
  // The comment buffer after the walk.
  std::string lastComment;

  const Listed* Find(const std::string& name) const {
    for (const auto& e : entries)
      if (e.name == name) return &e;
    return nullptr;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> n;
    for (const auto& e : entries) n.push_back(e.name);
    return n;
  }
};

struct Options {
  std::vector<std::string> spec = {"*.*"};
  bool showDirs = false;
  bool translateOem = true;
};

inline Result List(const std::string& archive, const Options& o = {}) {
  Result r;
  TVorsk v;
  v.SetArchiveFile(archive);
  r.type = v.ArcType();
  v.FileSpec = o.spec;
  v.ShowEmptyDirs = o.showDirs;
  v.TranslateOemChar = o.translateOem;
  v.OnRead = [&](TZipCommon& s, Int64 offset, int filenum) {
    auto& l = static_cast<TVorsk&>(s);
    r.entries.push_back({l.FileName, l.PackedSize, l.UnpackedSize, l.CRC, l.Encrypted, l.MethodNumber,
                         l.MethodText, l.ExternalAttr, l.InternalAttr, l.VersionMadeBy, l.VersionNeeded, l.Ratio,
                         l.FileComment, l.FileDate, offset, filenum});
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
  v.OnDeactivate = [&](TZipCommon&) { r.deactivated = true; };
  r.ok = v.Activate();
  r.lastComment = v.FileComment;
  return r;
}

// "2019-03-14 10:22:36".
inline std::string DateText(TDateTime d) {
  int y, m, day, h, mi, s, ms;
  DecodeDate(d, y, m, day);
  DecodeTime(d, h, mi, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, day, h, mi, s);
  return buf;
}

inline UInt16 DosDate(int y, int m, int d) { return static_cast<UInt16>((y - 1980) << 9 | m << 5 | d); }
inline UInt16 DosTime(int h, int mi, int s) { return static_cast<UInt16>(h << 11 | mi << 5 | s / 2); }

// Little-endian archive bytes.
class Bytes {
 public:
  Bytes& U8(unsigned v) {
    s_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& U16(unsigned v) { return U8(v & 0xFF).U8(v >> 8 & 0xFF); }
  Bytes& U32(UInt32 v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& Raw(const std::string& v) {
    s_ += v;
    return *this;
  }
  // Text padded with NULs (or cut) to Width bytes.
  Bytes& Field(const std::string& v, std::size_t Width) {
    std::string f = v.substr(0, Width);
    f.resize(Width, '\0');
    return Raw(f);
  }
  Bytes& Fill(std::size_t n, char c = '\0') {
    s_.append(n, c);
    return *this;
  }
  // Overwrites 32 bits at Pos.
  void PutU32(std::size_t Pos, UInt32 v) {
    for (int i = 0; i < 4; ++i) s_[Pos + i] = static_cast<char>(v >> (8 * i));
  }
  std::size_t size() const { return s_.size(); }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

// One file entry as `lsar -j` reports it.
struct LsarEntry {
  std::string name;
  Int64 size = -1, compressed = -1;
  std::string comment;
  bool directory = false;
};

// The value after `"Key": ` on a line of lsar's JSON, unquoted.
inline bool JsonValue(const std::string& line, const std::string& key, std::string& value) {
  const std::string k = "\"" + key + "\": ";
  const auto p = line.find(k);
  if (p == std::string::npos) return false;
  std::string v = line.substr(p + k.size());
  if (!v.empty() && v.back() == ',') v.pop_back();
  if (v.size() >= 2 && v.front() == '"') {
    std::string out;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
      if (v[i] == '\\' && i + 2 < v.size()) {
        const char c = v[++i];
        if (c == 'u' && i + 4 < v.size()) {
          out += static_cast<char>(std::stoi(v.substr(i + 1, 4), nullptr, 16));
          i += 4;
        } else {
          out += c == 'n' ? '\n' : c;
        }
      } else {
        out += v[i];
      }
    }
    v = out;
  }
  value = v;
  return true;
}

// The entries `lsar -j` lists; fails the test when lsar does not read it.
inline std::vector<LsarEntry> LsarList(const std::string& archive) {
  EXPECT_TRUE(vsktest::HaveTool("lsar")) << "lsar (package unar) is needed";
  const auto out = vsktest::RunTool("lsar -j " + vsktest::ShellQuote(archive));
  std::vector<LsarEntry> entries;
  std::istringstream in(out.output);
  std::string line, v;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line == "    {") {
      entries.emplace_back();
      inside = true;
    } else if (line == "    }" || line == "    },") {
      inside = false;
    } else if (inside) {
      auto& e = entries.back();
      if (JsonValue(line, "XADFileName", v)) e.name = v;
      if (JsonValue(line, "XADFileSize", v)) e.size = std::stoll(v);
      if (JsonValue(line, "XADCompressedSize", v)) e.compressed = std::stoll(v);
      if (JsonValue(line, "XADComment", v)) e.comment = v;
      if (JsonValue(line, "XADIsDirectory", v)) e.directory = v == "1";
    }
  }
  EXPECT_EQ(out.exitCode, 0) << out.output;
  EXPECT_EQ(out.output.find("lsarError"), std::string::npos) << out.output;
  return entries;
}

// Lists every variant of a damaged archive: under the sanitizers a crash,
// an overrun or a walk that does not end fails the test.
inline void ListVariants(const std::string& path, const std::function<std::string(std::size_t)>& variant,
                         std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    vsktest::WriteFile(path, variant(i));
    const auto r = List(path);
    EXPECT_TRUE(r.deactivated) << "variant " << i;
  }
}

}  // namespace vsk::walktest
