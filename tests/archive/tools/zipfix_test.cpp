// Repairing ZIP archives written by zip and bsdtar and then damaged; the
// results must pass unzip's own test and extract byte for byte.

#include "archive/tools/zipfix.h"

#include "base/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::WriteFile;

class ZipFixTest : public ::testing::Test {
 protected:
  // Files a.txt, b.bin and sub/c.txt packed by Command ("{out}" the archive).
  std::string Pack(const std::string& Name, const std::string& Command) {
    const fs::path src = dir / ("src-" + Name);
    fs::create_directories(src / "sub");
    WriteFile(src / "a.txt", vsktest::TextBytes(40000, 1));
    WriteFile(src / "b.bin", vsktest::RandomBytes(30000, 2));
    WriteFile(src / "sub/c.txt", vsktest::TextBytes(5000, 3));
    const std::string out = (dir / Name).string();
    std::string cmd = Command;
    cmd.replace(cmd.find("{out}"), 5, ShellQuote(out));
    const auto r = RunTool(cmd, src);
    EXPECT_EQ(r.exitCode, 0) << cmd << "\n" << r.output;
    return out;
  }
  // The archive cut just before its directory.
  static void DropDirectory(const std::string& Zip) {
    const std::string bytes = ReadFile(Zip);
    const auto central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    WriteFile(Zip, bytes.substr(0, central));
  }
  ::testing::AssertionResult UnzipRestores(const std::string& Zip, const std::string& Password = {}) {
    const std::string pw = Password.empty() ? "" : "-P " + Password + " ";
    const auto t = RunTool("unzip -t " + pw + ShellQuote(Zip));
    if (t.exitCode != 0) return ::testing::AssertionFailure() << t.output;
    const fs::path out = dir / ("x-" + std::to_string(++extractions));
    const auto x = RunTool("unzip -q " + pw + ShellQuote(Zip) + " -d " + ShellQuote(out.string()));
    if (x.exitCode != 0) return ::testing::AssertionFailure() << x.output;
    if (ReadFile(out / "a.txt") != vsktest::TextBytes(40000, 1) || ReadFile(out / "b.bin") != vsktest::RandomBytes(30000, 2) ||
        ReadFile(out / "sub/c.txt") != vsktest::TextBytes(5000, 3))
      return ::testing::AssertionFailure() << "contents differ";
    return ::testing::AssertionSuccess();
  }

  vsktest::TempDir dir;
  int extractions = 0;
};

TEST_F(ZipFixTest, RebuildsTheDirectoryOfArchivesFromZipAndBsdtar) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("unzip") && vsktest::HaveTool("bsdtar"));
  for (const char* cmd : {"zip -q -r -X {out} a.txt b.bin sub", "zip -q -r -0 -X {out} a.txt b.bin sub",
                          "bsdtar -c --format zip -f {out} a.txt b.bin sub/c.txt"}) {
    SCOPED_TRACE(cmd);
    const std::string zip = Pack("set.zip", cmd);
    DropDirectory(zip);
    ASSERT_NE(RunTool("unzip -t " + ShellQuote(zip)).exitCode, 0);
    TZipFix fix;
    std::vector<std::pair<std::string, bool>> found;
    fix.OnFileFound = [&](TZipFix&, const std::string& Name, bool Ok) { found.emplace_back(Name, Ok); };
    const std::string fixed = (dir / "fixed.zip").string();
    EXPECT_GE(fix.FixFile(zip, fixed), 3);
    EXPECT_TRUE(UnzipRestores(fixed));
    EXPECT_NE(std::find(found.begin(), found.end(), std::make_pair(std::string("sub/c.txt"), true)), found.end());
    fs::remove(zip);
  }
  // The output is the input, by its name or another: refused, the input
  // stays as it was.
  const std::string zip = Pack("desc.zip", "zip -q -r -X {out} a.txt b.bin sub");
  DropDirectory(zip);
  const std::string before = ReadFile(zip);
  fs::create_hard_link(zip, dir / "other-name.zip");
  TZipFix fix;
  for (const std::string& out : {zip, (dir / "other-name.zip").string()}) {
    try {
      fix.FixFile(zip, out);
      ADD_FAILURE() << "no exception";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Code, 25191);
    }
  }
  EXPECT_EQ(ReadFile(zip), before);
}

TEST_F(ZipFixTest, OneDamagedSizeAndDataThatCannotBeChecked) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("unzip"));
  // Five stored entries; the second one's packed size is made larger (but
  // still inside the file): the three behind it are found all the same.
  const fs::path five = dir / "five";
  for (int i = 0; i < 5; ++i) WriteFile(five / ("f" + std::to_string(i)), vsktest::RandomBytes(2000, 10 + i));
  ASSERT_EQ(RunTool("zip -q -0 -X ../five.zip f0 f1 f2 f3 f4", five).exitCode, 0);
  std::string bytes = ReadFile((dir / "five.zip").string());
  const auto second = bytes.find("PK\x03\x04", 4);
  bytes[second + 18 + 1] = static_cast<char>(bytes[second + 18 + 1] ^ 0x10);  // packed size + 4096
  WriteFile(dir / "five.zip", bytes);
  TZipFix fix;
  std::vector<std::pair<std::string, bool>> found;
  fix.OnFileFound = [&](TZipFix&, const std::string& Name, bool Ok) { found.emplace_back(Name, Ok); };
  EXPECT_EQ(fix.FixFile((dir / "five.zip").string(), (dir / "five-fixed.zip").string()), 4);
  EXPECT_EQ(std::count(found.begin(), found.end(), std::make_pair(std::string("f1"), false)), 1);
  EXPECT_EQ(RunTool("unzip -t " + ShellQuote((dir / "five-fixed.zip").string())).exitCode, 0);

  // Data of a method this cannot decode, and enciphered data, are kept but
  // never reported as recovered.
  const std::string bz = Pack("bz.zip", "zip -q -r -Z bzip2 -X {out} a.txt b.bin sub");
  const std::string enc = Pack("enc.zip", "zip -q -r -P pw -X {out} a.txt b.bin sub");
  for (const std::string& zip : {bz, enc}) {
    SCOPED_TRACE(zip);
    std::vector<std::string> unchecked;
    found.clear();
    fix.OnFileUnchecked = [&](TZipFix&, const std::string& Name) { unchecked.push_back(Name); };
    EXPECT_EQ(fix.FixFile(zip, zip + ".fixed"), 4);
    EXPECT_EQ(unchecked.size(), 3u);  // the folder entry has no data
    EXPECT_TRUE(std::none_of(found.begin(), found.end(), [](const auto& f) { return f.second && f.first != "sub/"; }));
  }
}

TEST_F(ZipFixTest, GarbageEncryptionAndLongNames) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("unzip"));
  // Garbage between two intact entries, and a false signature inside it.
  const std::string zip = Pack("g.zip", "zip -q -r -X {out} a.txt b.bin sub");
  std::string bytes = ReadFile(zip);
  const auto second = bytes.find("PK\x03\x04", 4);
  bytes.insert(second, std::string("junk PK\x03\x04 more junk") + std::string(300, 'Z'));
  WriteFile(zip, bytes.substr(0, bytes.find("PK\x01\x02")));
  TZipFix fix;
  int rejected = 0;
  fix.OnFileFound = [&](TZipFix&, const std::string&, bool Ok) { rejected += Ok ? 0 : 1; };
  EXPECT_EQ(fix.FixFile(zip, (dir / "g-fixed.zip").string()), 4);
  EXPECT_GE(rejected, 1);
  EXPECT_TRUE(UnzipRestores((dir / "g-fixed.zip").string()));

  // A stored entry with traditional encryption is 12 bytes larger than its
  // data: it is kept.
  const std::string enc = Pack("e.zip", "zip -q -r -0 -P secret -X {out} a.txt b.bin sub");
  DropDirectory(enc);
  EXPECT_EQ(fix.FixFile(enc, (dir / "e-fixed.zip").string()), 4);
  EXPECT_TRUE(UnzipRestores((dir / "e-fixed.zip").string(), "secret"));

  // Names of today's length are kept; a name with control bytes is not.
  const fs::path deep = dir / "deep";
  const std::string longName = std::string(120, 'n') + ".txt";
  WriteFile(deep / longName, "long name");
  WriteFile(deep / "ok.txt", "fine");
  ASSERT_EQ(RunTool("zip -q -X ../deep.zip " + ShellQuote(longName) + " ok.txt", deep).exitCode, 0);
  std::string d = ReadFile((dir / "deep.zip").string());
  d = d.substr(0, d.find("PK\x01\x02"));
  const auto ok = d.find("ok.txt");
  ASSERT_NE(ok, std::string::npos);
  d[ok] = '\x01';
  WriteFile(dir / "deep.zip", d);
  std::vector<std::string> kept;
  fix.OnFileFound = [&](TZipFix&, const std::string& Name, bool Ok) {
    if (Ok) kept.push_back(Name);
  };
  EXPECT_EQ(fix.FixFile((dir / "deep.zip").string(), (dir / "deep-fixed.zip").string()), 1);
  EXPECT_EQ(kept, std::vector<std::string>{longName});
}

// zipinfo's line of each entry (mode, version and system made by, sizes,
// extra fields, method, name), by name.
std::map<std::string, std::string> ZipInfoLines(const std::string& Zip) {
  std::map<std::string, std::string> lines;
  std::istringstream in(RunTool("LC_ALL=C.UTF-8 zipinfo " + ShellQuote(Zip)).output);
  for (std::string line; std::getline(in, line);) {
    const auto name = line.rfind(' ');
    if (line.size() > 10 && (line[0] == '-' || line[0] == 'd') && name != std::string::npos)
      lines[line.substr(name + 1)] = line;
  }
  return lines;
}

TEST_F(ZipFixTest, DamagedDataCountAsDamagedAndTheDirectoryKeepsWhatItSaid) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("unzip") && vsktest::HaveTool("zipinfo"));
  const std::string unicode = "tree/\u00dcn\u00efc\u00f8d\u00e9/caf\u00e9.txt";
  WriteFile(dir / "src-u.zip" / "tree/\u00dcn\u00efc\u00f8d\u00e9/caf\u00e9.txt", "caf\u00e9\n");
  const std::string zip = Pack("u.zip", "LC_ALL=C.UTF-8 zip -q -r {out} a.txt b.bin sub tree");
  const std::map<std::string, std::string> original = ZipInfoLines(zip);
  ASSERT_EQ(original.size(), 7u);
  ASSERT_EQ(original.count(unicode), 1u);

  // Four bytes overwritten inside the data of b.bin.
  std::string bytes = ReadFile(zip);
  const auto name = bytes.find("b.bin");
  ASSERT_NE(name, std::string::npos);
  const auto extra = static_cast<unsigned char>(bytes[name - 2]) | static_cast<unsigned char>(bytes[name - 1]) << 8;
  bytes.replace(name + 5 + extra + 1000, 4, "DAMN");
  WriteFile(zip, bytes);
  ASSERT_NE(RunTool("unzip -t " + ShellQuote(zip)).exitCode, 0);

  for (const bool withDirectory : {true, false}) {
    SCOPED_TRACE(withDirectory ? "directory kept" : "directory lost");
    if (!withDirectory) DropDirectory(zip);
    TZipFix fix;
    std::map<std::string, bool> found;
    fix.OnFileFound = [&](TZipFix&, const std::string& Name, bool Ok) { found[Name] = Ok; };
    const std::string fixed = (dir / (withDirectory ? "u1.zip" : "u2.zip")).string();
    EXPECT_EQ(fix.FixFile(zip, fixed), 6);
    EXPECT_EQ(found.size(), 7u);
    EXPECT_FALSE(found["b.bin"]);
    EXPECT_EQ(std::count_if(found.begin(), found.end(), [](const auto& f) { return f.second; }), 6);
    const auto t = RunTool("LC_ALL=C.UTF-8 unzip -t " + ShellQuote(fixed));
    EXPECT_EQ(t.exitCode, 0) << t.output;
    EXPECT_NE(RunTool("LC_ALL=C.UTF-8 unzip -l " + ShellQuote(fixed)).output.find(unicode), std::string::npos);
    const auto x = RunTool("LC_ALL=C.UTF-8 unzip -q " + ShellQuote(fixed) + " -d " + ShellQuote(fixed + ".x"));
    EXPECT_EQ(ReadFile(fs::path(fixed + ".x") / unicode), "caf\u00e9\n") << x.output;
    std::map<std::string, std::string> lines = ZipInfoLines(fixed);
    if (withDirectory) {
      std::map<std::string, std::string> want = original;
      want.erase("b.bin");
      EXPECT_EQ(lines, want);
    } else {
      for (const auto& [entry, line] : lines) EXPECT_NE(line.find(" unx "), std::string::npos) << line;
    }
  }
}

TEST_F(ZipFixTest, NothingToSaveAndMissingStreams) {
  const std::string text = (dir / "text.zip").string();
  WriteFile(text, "no archive here at all");
  TZipFix fix;
  // A new output is created empty; an existing one is left as it was.
  EXPECT_EQ(fix.FixFile(text, (dir / "empty.zip").string()), 0);
  EXPECT_TRUE(fs::exists(dir / "empty.zip"));
  EXPECT_EQ(fs::file_size(dir / "empty.zip"), 0u);
  WriteFile(dir / "kept.zip", "the user's");
  EXPECT_EQ(fix.FixFile(text, (dir / "kept.zip").string()), 0);
  EXPECT_EQ(ReadFile((dir / "kept.zip").string()), "the user's");
  EXPECT_THROW(fix.FixFile((dir / "missing.zip").string(), (dir / "out.zip").string()), EFOpenError);

  TMemoryStream32 out;
  try {
    fix.FixStream(nullptr, &out);
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "No input or no output stream has been defined");
  }
  // A header whose sizes run past the end, or claim more than data can
  // grow to, is no entry.
  std::string fake = "PK\x03\x04";
  fake += std::string(14, '\0');
  fake += std::string("\x00\x04\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00", 12);  // packed 1024, unpacked 1
  fake += "x" + std::string(1100, '-');
  TCustomMemoryStream32 in;
  in.SetPointer(fake.data(), static_cast<Int64>(fake.size()));
  EXPECT_EQ(fix.FixStream(&in, &out), 0);
  EXPECT_EQ(out.GetSize(), 0);
}

}  // namespace
}  // namespace vsk
