#pragma once
// Helpers of the zip writer tests: source trees, a writer that records its
// errors, a plain reading of the records written, the outside checkers and
// extraction through the library's reader.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/formats/zip/unzip.h"
#include "archive/formats/zip/zipwriter.h"
#include "tests/support/testutil.h"

namespace vsktest {

// Files by relative path ("a/b.txt"); a name ending in "/" is an empty folder.
using Tree = std::map<std::string, std::string>;

inline void MakeTree(const fs::path& root, const Tree& tree) {
  for (const auto& [name, data] : tree) {
    if (!name.empty() && name.back() == '/') {
      fs::create_directories(root / name);
      continue;
    }
    fs::create_directories((root / name).parent_path());
    WriteFile(root / name, data);
  }
}

// Text, incompressible bytes, an empty file, small files both ways, a
// nested folder and a name that is not ASCII.
inline Tree SampleTree() {
  return {
      {"readme.txt", TextBytes(20000, 3)},
      {"data.bin", RandomBytes(70000, 4)},
      {"empty.dat", ""},
      {"small-random.bin", RandomBytes(100, 5)},
      {"small-text.txt", std::string(100, 'a')},
      {"docs/deep/nested.txt", TextBytes(3000, 6)},
      {"docs/Gr\xC3\xBC\xC3\x9F" "e.txt", "non-ASCII name\n"},
  };
}

// Every file below root, by relative path.
inline Tree ReadTree(const fs::path& root) {
  Tree t;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (it->is_directory()) {
      if (fs::is_empty(it->path())) t[rel + "/"] = "";
    } else {
      t[rel] = ReadFile(it->path());
    }
  }
  return t;
}

// Equal trees, reported by name so a failure does not print the contents.
inline ::testing::AssertionResult SameTree(const Tree& got, const Tree& want) {
  std::string diff;
  for (const auto& [name, data] : want) {
    const auto it = got.find(name);
    if (it == got.end())
      diff += " missing " + name + ";";
    else if (it->second != data)
      diff += " differs " + name + " (" + std::to_string(it->second.size()) + " bytes, wanted " +
              std::to_string(data.size()) + ");";
  }
  for (const auto& [name, data] : got)
    if (!want.count(name)) diff += " extra " + name + ";";
  if (diff.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << diff;
}

// Names that are not ASCII come out right only in a UTF-8 locale.
inline std::string Tool(const std::string& command) { return "LC_ALL=C.UTF-8 " + command; }

struct ZipRecord {
  vsk::TZipCentralRecord c;
  std::string name, extra, comment;
  vsk::TZipLocalHeader l;
};

struct ZipLayout {
  bool ok = false;
  std::vector<ZipRecord> records;
  vsk::TZipEndRecord end;
  std::string comment;
  vsk::Int64 endPos = 0;
};

// Reads the plain records of an archive we trust (test output).
inline ZipLayout ParseZip(const std::string& z) {
  ZipLayout out;
  if (z.size() < 22) return out;
  std::size_t e = z.size() - 22;
  for (;; --e) {
    if (vsk::GetLE32(reinterpret_cast<const vsk::Byte*>(&z[e])) == 0x06054B50u) break;
    if (e == 0) return out;
  }
  out.end = vsk::TZipEndRecord::Parse(reinterpret_cast<const vsk::Byte*>(&z[e]));
  out.endPos = static_cast<vsk::Int64>(e);
  out.comment = z.substr(e + 22, out.end.CommentLength);
  std::size_t p = out.end.CentralDirOffset;
  for (int i = 0; i < out.end.EntriesTotal; ++i) {
    if (p + 46 > z.size()) return out;
    ZipRecord r;
    r.c = vsk::TZipCentralRecord::Parse(reinterpret_cast<const vsk::Byte*>(&z[p]));
    if (r.c.Signature != 0x02014B50u) return out;
    r.name = z.substr(p + 46, r.c.FileNameLength);
    r.extra = z.substr(p + 46 + r.c.FileNameLength, r.c.ExtraFieldLength);
    r.comment = z.substr(p + 46 + r.c.FileNameLength + r.c.ExtraFieldLength, r.c.FileCommentLength);
    if (r.c.LocalHeaderOffset + 30 <= z.size())
      r.l = vsk::TZipLocalHeader::Parse(reinterpret_cast<const vsk::Byte*>(&z[r.c.LocalHeaderOffset]));
    out.records.push_back(r);
    p += 46 + r.c.FileNameLength + r.c.ExtraFieldLength + r.c.FileCommentLength;
  }
  out.ok = true;
  return out;
}

inline const ZipRecord* FindRecord(const ZipLayout& z, const std::string& name) {
  for (const auto& r : z.records)
    if (r.name == name) return &r;
  return nullptr;
}

// A writer whose errors are kept, with the usual answers to its questions.
template <class W = vsk::TZip>
struct Writer {
  W z;
  std::vector<int> errors;
  std::vector<std::string> errorFiles, errorTexts;
  explicit Writer(const fs::path& archive) {
    z.SetArchiveFile(archive.string());
    z.OnError = [this](vsk::TZipCommon&, const std::string& f, const std::string& x, const std::string&, int c) {
      errors.push_back(c);
      errorFiles.push_back(f);
      errorTexts.push_back(x);
    };
  }
  int Add(const std::vector<std::string>& spec, vsk::TSwitch sw = vsk::swAdd) {
    z.FileSpec = spec;
    z.Switch = sw;
    return z.Compress();
  }
  bool HasError(int code) const { return std::find(errors.begin(), errors.end(), code) != errors.end(); }
};

// The four outside checkers; each must accept the archive.
inline void ExpectToolsAccept(const fs::path& archive, const std::string& password = {}) {
  ASSERT_TRUE(HaveTool("unzip")) << "unzip missing";
  ASSERT_TRUE(HaveTool("zip")) << "zip missing";
  ASSERT_TRUE(HaveTool("7z")) << "7z missing";
  ASSERT_TRUE(HaveTool("bsdtar")) << "bsdtar missing";
  const std::string a = ShellQuote(archive.string());
  const std::string pw = password.empty() ? "" : " -P " + ShellQuote(password);
  auto r = RunTool(Tool("unzip -t" + pw + " " + a));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  // zip -T hands the archive to unzip, which needs the password too. The
  // archive is named from its own folder: zip 3.0 overruns a buffer for
  // -TT with some lengths of the archive's path (31, 47, 63... bytes).
  const std::string here = ShellQuote(archive.filename().string());
  r = RunTool(password.empty() ? "zip -T " + here
                               : "zip -T -TT " + ShellQuote("unzip -tqq -P " + ShellQuote(password)) + " " + here,
              archive.parent_path());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  r = RunTool("7z t -p" + ShellQuote(password) + " " + a);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  if (password.empty()) {
    r = RunTool("bsdtar -tf " + a);
    EXPECT_EQ(r.exitCode, 0) << r.output;
  } else {
    r = RunTool("bsdtar -tf " + a + " --passphrase " + ShellQuote(password));
    EXPECT_EQ(r.exitCode, 0) << r.output;
  }
}

inline void ExpectUnzipTest(const fs::path& archive) {
  ASSERT_TRUE(HaveTool("unzip")) << "unzip missing";
  const auto r = RunTool(Tool("unzip -t " + ShellQuote(archive.string())));
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

// What unzip extracts, by relative path.
inline Tree UnzipTree(const fs::path& archive, const fs::path& into, const std::string& password = {}) {
  fs::create_directories(into);
  const std::string pw = password.empty() ? "" : " -P " + ShellQuote(password);
  const auto r =
      RunTool(Tool("unzip -qq -o" + pw + " " + ShellQuote(archive.string()) + " -d " + ShellQuote(into.string())));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadTree(into);
}

// What the library's reader extracts, by relative path.
inline Tree LibraryTree(const fs::path& archive, const fs::path& into, const std::string& password = {},
                        std::vector<int>* errors = nullptr) {
  fs::create_directories(into);
  vsk::TUnZip u;
  u.SetArchiveFile(archive.string());
  u.FileSpec = {"*.*"};
  u.SetExtractDir(into.string());
  u.CreateStoredDirs = true;
  u.Password = password;
  if (!password.empty()) u.Passwords = {password};
  u.OnError = [errors](vsk::TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
    if (errors) errors->push_back(c);
  };
  u.Extract();
  return ReadTree(into);
}

}  // namespace vsktest
