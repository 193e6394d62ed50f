// Writing cabinets: what we write is accepted by cabextract, gcab and 7z
// and restored byte for byte (text with far repeats, random bytes that
// end the folder on an odd size, one-byte and empty files); adding to a
// cabinet keeps its entries; failures leave the target as it was.

#include "archive/formats/cab/makecab.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <tuple>

#include "archive/formats/cab/cabinetlib.h"
#include "base/records/cabheader.h"
#include "platform/dynlib.h"
#include "tests/archive/formats/cab/cabrun.h"
#include "tests/support/cabbuild.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::FilesUnder;
using vsktest::WriteFile;

struct Made {
  int added = 0;
  std::vector<int> errors;
  std::map<std::string, bool> ends;
  std::map<std::string, std::string> methods;  // OnRead
};

// Adds the files of From (recursively) to Cab.
Made MakeCab(const fs::path& cab, const fs::path& from, const std::function<void(TMakeCab&)>& setup = {}) {
  Made m;
  TMakeCab w;
  w.SetArchiveFile(cab.string());
  w.FileSpec = {(from / "*.*").string()};
  w.OnError = [&m](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
    m.errors.push_back(code);
  };
  w.OnEnd = [&m](TZipCommon&, const std::string& f, bool pass) { m.ends[f] = pass; };
  w.OnRead = [&m, &w](TZipCommon&, Int64, int) { m.methods[w.FileName] = w.MethodText; };
  if (setup) setup(w);
  m.added = w.Compress();
  return m;
}

std::map<std::string, std::string> MakeSources(const fs::path& root) {
  const std::map<std::string, std::string> files = {
      {"a.txt", vsktest::TextBytes(300000, 3)},
      {"empty.bin", ""},
      {"sub/r.bin", vsktest::RandomBytes(70000, 4)},
      {"sub/deep/t.txt", vsktest::TextBytes(5000, 5)},
      {"one.txt", "x"},
      // Text that comes back 1.2 MB on, in reach of the largest window.
      {"far.txt", vsktest::TextBytes(1200000, 6) + vsktest::TextBytes(400000, 6)},
  };
  for (const auto& [name, data] : files) {
    fs::create_directories((root / name).parent_path());
    WriteFile(root / name, data);
  }
  return files;
}

UInt16 FirstFolderType(const fs::path& cab) {
  const std::string bytes = vsktest::ReadFile(cab);
  TCabHeader h;
  std::vector<TCabFolder> folders;
  const auto* p = reinterpret_cast<const Byte*>(bytes.data());
  if (!h.Parse(p, bytes.size()) ||
      !h.ParseFolders(p + h.FoldersOffset, bytes.size() - static_cast<std::size_t>(h.FoldersOffset), folders) ||
      folders.empty())
    return 0xFFFF;
  return folders[0].CompressionType;
}

TEST(MakeCab, PeersAcceptWhatWeWrite) {
  for (const char* tool : {"cabextract", "gcab", "7z"}) ASSERT_TRUE(vsktest::HaveTool(tool)) << tool;
  TempDir dir;
  const auto files = MakeSources(dir / "src");
  struct Case {
    const char* name;
    TCompressMethod method;
    int lzx;
    UInt16 folderType;
    const char* text;
  };
  const Case cases[] = {{"stored", cmStore, 21, 0x0000, "Stored"}, {"mszip", cmMsZip, 21, 0x0001, "MsZIP"},
                        {"lzx15", cmLzx, 15, 0x0F03, "Lzx"},       {"lzx18", cmLzx, 18, 0x1203, "Lzx"},
                        {"lzx21", cmLzx, 30, 0x1503, "Lzx"}};
  std::map<std::string, std::uintmax_t> sizes;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path cab = dir / (std::string(c.name) + ".cab");
    const Made m = MakeCab(cab, dir / "src", [&](TMakeCab& w) {
      ASSERT_TRUE(w.SetCompressMethod(c.method));
      w.SetLzxLevel(c.lzx);
    });
    EXPECT_TRUE(m.errors.empty());
    EXPECT_EQ(m.added, 6);
    EXPECT_EQ(m.ends.size(), 6u);
    for (const auto& [name, pass] : m.ends) EXPECT_TRUE(pass) << name;
    EXPECT_EQ(m.methods.at("sub/r.bin"), c.text);
    EXPECT_EQ(FirstFolderType(cab), c.folderType);

    const auto t = RunTool("cabextract -t " + ShellQuote(cab.string()));
    EXPECT_EQ(t.exitCode, 0) << t.output;
    const auto l = RunTool("gcab -l " + ShellQuote(cab.string()));
    EXPECT_EQ(l.exitCode, 0) << l.output;
    EXPECT_NE(l.output.find("sub\\deep\\t.txt"), std::string::npos) << l.output;
    const auto z = RunTool("7z t " + ShellQuote(cab.string()));
    EXPECT_EQ(z.exitCode, 0) << z.output;
    EXPECT_EQ(vsktest::Cabextract(cab, dir / (std::string(c.name) + ".x")), files);
    EXPECT_EQ(FilesUnder(dir / (std::string(c.name) + ".x")), files);
    const auto x = vsktest::RunUnCab(cab, dir / (std::string(c.name) + ".ours"));
    EXPECT_TRUE(x.errors.empty());
    EXPECT_EQ(FilesUnder(dir / (std::string(c.name) + ".ours")), files);
    sizes[c.name] = fs::file_size(cab);
  }
  EXPECT_LT(sizes["lzx21"], sizes["mszip"]);
  EXPECT_LT(sizes["lzx21"], sizes["lzx15"]);

  // The Quantum setting writes what its word selects: LZX with the memory as window.
  TMakeCab q;
  ASSERT_TRUE(q.SetCompressMethod(cmQuantum));
  q.QuantumType = ctLzx;
  EXPECT_EQ(q.CompressionWord(), 0x1573);
  q.SetQuantumMemory(5);
  EXPECT_EQ(q.QuantumMemory(), 10);
  const Made m = MakeCab(dir / "q.cab", dir / "src", [](TMakeCab& w) {
    w.SetCompressMethod(cmQuantum);
    w.QuantumType = ctLzx;
    w.SetQuantumMemory(16);
  });
  EXPECT_EQ(m.added, 6);
  EXPECT_EQ(m.methods.at("a.txt"), "Lzx");
  EXPECT_EQ(FirstFolderType(dir / "q.cab") & 0x1F0F, 0x1003);
  EXPECT_EQ(vsktest::Cabextract(dir / "q.cab", dir / "q.x"), files);
  // A Quantum memory below the LZX windows makes the smallest window.
  const Made small = MakeCab(dir / "q12.cab", dir / "src", [](TMakeCab& w) {
    w.SetCompressMethod(cmQuantum);
    w.QuantumType = ctLzx;
    w.SetQuantumMemory(12);
  });
  EXPECT_TRUE(small.errors.empty());
  EXPECT_EQ(small.added, 6);
  for (const auto& [name, pass] : small.ends) EXPECT_TRUE(pass) << name;
  EXPECT_EQ(FirstFolderType(dir / "q12.cab") & 0x1F0F, 0x0F03);
  EXPECT_EQ(vsktest::Cabextract(dir / "q12.cab", dir / "q12.x"), files);
}

// The attribute word of the file record that names Name, or -1.
int StoredAttributes(const fs::path& cab, const std::string& Name) {
  const std::string bytes = vsktest::ReadFile(cab);
  const auto at = bytes.find(Name + '\0');
  if (at == std::string::npos || at < 2) return -1;
  return static_cast<Byte>(bytes[at - 2]) | static_cast<Byte>(bytes[at - 1]) << 8;
}

// Rebuilt with TranslateOemChar off, kept entries keep their bytes and the
// flag they had; a new UTF-8 name is flagged. Peers list every name as
// they did before.
TEST(MakeCab, KeptNamesKeepTheirCodePage) {
  ASSERT_TRUE(vsktest::HaveTool("cabextract"));
  TempDir dir;
  vsktest::CabSpec c;
  c.folders = {{"abcdefgh"}};
  const std::string oem = "gr\x81n.txt", utf8 = "caf\xC3\xA9.txt";
  c.files = {{oem, 3, 0, 0}, {utf8, 5, 3, 0, 0x20 | kCabAttrNameIsUtf8}};
  const fs::path cab = dir / "n.cab";
  WriteFile(cab, vsktest::BuildCab(c));
  const auto names = [&] {
    const std::string out = RunTool("cabextract -l " + ShellQuote(cab.string())).output;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
      if (out.find(".txt", at) < end) lines.push_back(out.substr(at, end - at));
    return lines;
  };
  const auto before = names();
  ASSERT_EQ(before.size(), 2u);

  fs::create_directories(dir / "new");
  WriteFile(dir / "new" / "neu\xC3\xA4.txt", "new\n");
  const Made m = MakeCab(cab, dir / "new", [](TMakeCab& w) {
    w.Switch = swAdd;
    w.TranslateOemChar = false;
  });
  EXPECT_TRUE(m.errors.empty());
  EXPECT_EQ(m.added, 1);
  EXPECT_EQ(StoredAttributes(cab, oem) & kCabAttrNameIsUtf8, 0);
  EXPECT_NE(StoredAttributes(cab, utf8) & kCabAttrNameIsUtf8, 0);
  EXPECT_NE(StoredAttributes(cab, "neu\xC3\xA4.txt") & kCabAttrNameIsUtf8, 0);
  auto after = names();
  ASSERT_EQ(after.size(), 3u);
  after.erase(std::remove_if(after.begin(), after.end(), [](const std::string& l) { return l.find("neu") != std::string::npos; }),
              after.end());
  EXPECT_EQ(after, before);
}

TEST(MakeCab, AddingKeepsTheOldEntries) {
  TempDir dir;
  fs::create_directories(dir / "old");
  WriteFile(dir / "old" / "a.txt", vsktest::TextBytes(40000, 1));
  WriteFile(dir / "old" / "b.bin", vsktest::RandomBytes(50000, 2));
  const fs::path cab = dir / "t.cab";
  ASSERT_EQ(RunTool("gcab -cz " + ShellQuote(cab.string()) + " a.txt b.bin", dir / "old").exitCode, 0);
  fs::create_directories(dir / "new");
  WriteFile(dir / "new" / "c.txt", "the new one\n");
  WriteFile(dir / "new" / "gone.txt", "removed before it is read\n");

  const auto listing = [&](const char* name) {
    const std::string out = RunTool("cabextract -l " + ShellQuote(cab.string())).output;
    const auto at = out.find(name);
    return at == std::string::npos ? std::string() : out.substr(out.rfind('\n', at) + 1, at - out.rfind('\n', at) - 1);
  };
  const std::string oldA = listing("a.txt");
  ASSERT_FALSE(oldA.empty());

  // A source that disappears fails its entry alone.
  const Made m = MakeCab(cab, dir / "new", [&](TMakeCab& w) {
    w.Switch = swAdd;
    w.OnBegin = [&](TZipCommon&, const std::string& f, int, bool&) {
      if (f == "gone.txt") fs::remove(dir / "new" / "gone.txt");
    };
  });
  EXPECT_EQ(m.added, 1);
  EXPECT_EQ(m.errors, std::vector<int>{25235});
  EXPECT_EQ(m.ends, (std::map<std::string, bool>{{"c.txt", true}, {"gone.txt", false}}));
  const auto got = vsktest::Cabextract(cab, dir / "x");
  EXPECT_EQ(got, (std::map<std::string, std::string>{{"a.txt", vsktest::TextBytes(40000, 1)},
                                                     {"b.bin", vsktest::RandomBytes(50000, 2)},
                                                     {"c.txt", "the new one\n"}}));
  // The old entries keep their sizes and dates.
  EXPECT_EQ(listing("a.txt"), oldA);
}

// A cabinet library whose writer fails with Oper: at FCICreate for an
// allocation failure, else at the first FCIAddFile; its reader is the real
// library's.
struct TFailingFci {
  static inline int Oper = FCIERR_NONE;
  static inline PERF Erf = nullptr;
  static inline int Context = 0;
  static void Fail() { *Erf = ERF{Oper, 0, 1}; }
  static HFCI Create(PERF Perf, PFNFCIFILEPLACED, PFNCABALLOC, PFNCABFREE, PFNCABOPEN, PFNCABREAD, PFNCABWRITE,
                     PFNCABCLOSE, PFNCABSEEK, PFNCABDELETE, PFNFCIGETTEMPFILE, PCCAB, void*) {
    Erf = Perf;
    *Erf = ERF{};
    if (Oper != FCIERR_ALLOC_FAIL) return &Context;
    Fail();
    return nullptr;
  }
  static int AddFile(HFCI, const char*, const char*, int, PFNFCIGETNEXTCABINET, PFNFCISTATUS, PFNFCIGETOPENINFO,
                     TCOMP) {
    Fail();
    return 0;
  }
  static int Flush(HFCI, int, PFNFCIGETNEXTCABINET, PFNFCISTATUS) {
    Fail();
    return 0;
  }
  static int Destroy(HFCI) { return 1; }
  static void* Lookup(const char* Name) {
    const std::string name = Name;
    if (name == "FCICreate") return reinterpret_cast<void*>(&Create);
    if (name == "FCIAddFile") return reinterpret_cast<void*>(&AddFile);
    if (name == "FCIFlushCabinet") return reinterpret_cast<void*>(&Flush);
    if (name == "FCIDestroy") return reinterpret_cast<void*>(&Destroy);
    // The writer needs the reader too: that of the real library.
    static const TLibHandle real = LoadLibraryQuiet("cabinet.so");
    return GetProcAddress(real, Name);
  }
};

// A failure of the library's writer reaches OnError with a message code and
// the library's reason in words; a new cabinet is not written, an existing
// one stays as it was.
TEST(MakeCab, LibraryFailuresCarryACodeAndTheReason) {
  TempDir dir;
  WriteFile(dir / "src" / "a.txt", "a\n");
  const fs::path old = dir / "old.cab";
  WriteFile(dir / "kept" / "b.txt", "b\n");
  ASSERT_EQ(RunTool("gcab -c " + ShellQuote(old.string()) + " b.txt", dir / "kept").exitCode, 0);
  const std::string oldBytes = vsktest::ReadFile(old);
  const std::string cab = (dir / "f.cab").string(), file = (dir / "src" / "a.txt").string();
  using TReport = std::tuple<std::string, std::string, int>;
  const auto make = [&](const fs::path& Target) {
    std::vector<TReport> reports;
    const Made m = MakeCab(Target, dir / "src", [&](TMakeCab& w) {
      w.OnError = [&](TZipCommon&, const std::string& File, const std::string& Extended, const std::string&,
                      int Code) { reports.emplace_back(File, Extended, Code); };
    });
    EXPECT_EQ(m.added, 0);
    return reports;
  };
  RegisterBuiltinLibrary("failing-cabinet.so", &TFailingFci::Lookup);
  BindCabinetLibrary("failing-cabinet.so");
  for (const auto& [oper, want] : {std::pair<int, TReport>{FCIERR_ALLOC_FAIL, {cab, "out of memory", msg::OutOfMemory}},
                                   {FCIERR_MCI_FAIL, {file, "the compressor failed", msg::ErrorWritingToFile}},
                                   {42, {file, "Cabinet error 42 (type 0)", 25355}}}) {
    SCOPED_TRACE(oper);
    TFailingFci::Oper = oper;
    EXPECT_EQ(make(cab), std::vector<TReport>{want});
    EXPECT_FALSE(fs::exists(cab));
  }
  // An existing cabinet: its kept entry or the new file cannot be added.
  TFailingFci::Oper = FCIERR_MCI_FAIL;
  const auto reports = make(old);
  BindCabinetLibrary("cabinet.so");
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(std::get<1>(reports[0]), "the compressor failed");
  EXPECT_EQ(std::get<2>(reports[0]), msg::ErrorWritingToFile);
  EXPECT_EQ(vsktest::ReadFile(old), oldBytes);
}

TEST(MakeCab, FailuresLeaveTheTargetAsItWas) {
  TempDir dir;
  fs::create_directories(dir / "src");
  WriteFile(dir / "src" / "big.bin", vsktest::RandomBytes(300000, 7));
  WriteFile(dir / "src" / "small.txt", "small\n");

  // A damaged cabinet is not rebuilt: its entries would be lost.
  const fs::path cab = dir / "d.cab";
  ASSERT_EQ(RunTool("gcab -c " + ShellQuote(cab.string()) + " big.bin", dir / "src").exitCode, 0);
  std::string bytes = vsktest::ReadFile(cab);
  bytes[bytes.size() - 100] ^= 0x11;
  WriteFile(cab, bytes);
  fs::create_directories(dir / "more");
  WriteFile(dir / "more" / "m.txt", "more\n");
  Made m = MakeCab(cab, dir / "more");
  EXPECT_EQ(m.added, 0);
  EXPECT_EQ(m.errors, std::vector<int>{25140});
  EXPECT_EQ(vsktest::ReadFile(cab), bytes);

  // Without the library nothing is written.
  BindCabinetLibrary("no-such-cabinet.so");
  m = MakeCab(dir / "none.cab", dir / "src");
  BindCabinetLibrary("cabinet.so");
  EXPECT_EQ(m.errors, std::vector<int>{25261});
  EXPECT_FALSE(fs::exists(dir / "none.cab"));

  // A cancel after two files were handed to the library ends both as
  // failed; nothing is written.
  for (const char* name : {"one.txt", "two.txt", "three.txt"}) WriteFile(dir / "three" / name, name);
  int begun = 0;
  m = MakeCab(dir / "cancelled.cab", dir / "three", [&](TMakeCab& w) {
    w.OnBegin = [&](TZipCommon& Sender, const std::string&, int, bool&) {
      if (++begun == 3) Sender.SetCancel(true);
    };
  });
  EXPECT_EQ(m.added, 0);
  EXPECT_EQ(m.ends.size(), 2u);
  for (const auto& [name, pass] : m.ends) EXPECT_FALSE(pass) << name;
  EXPECT_FALSE(fs::exists(dir / "cancelled.cab"));

  // A full disk fails every entry and the run; no scratch file stays.
  fs::create_directories(dir / "small");
  if (mount("tmpfs", (dir / "small").c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "mounting a small tmpfs needs root";
  m = MakeCab(dir / "small" / "full.cab", dir / "src", [&](TMakeCab& w) {
    w.SetCompressMethod(cmStore);
    w.SetTempDir((dir / "tmp").string());
  });
  const auto left = FilesUnder(dir / "small");
  umount2((dir / "small").c_str(), MNT_DETACH);
  EXPECT_EQ(m.added, 0);
  EXPECT_EQ(m.errors, std::vector<int>{25160});
  EXPECT_EQ(m.ends, (std::map<std::string, bool>{{"big.bin", false}, {"small.txt", false}}));
  EXPECT_TRUE(left.empty());
}

TEST(MakeCab, ASourceThatChangesSizeWhileReadIsRefused) {
  ASSERT_TRUE(vsktest::HaveTool("cabextract"));
  TempDir dir;
  fs::create_directories(dir / "old");
  WriteFile(dir / "old" / "keep.txt", "kept\n");
  const fs::path cab = dir / "c.cab";
  ASSERT_EQ(MakeCab(cab, dir / "old").added, 1);
  const std::string before = vsktest::ReadFile(cab);

  fs::create_directories(dir / "src");
  WriteFile(dir / "src" / "grows.bin", vsktest::RandomBytes(300000, 8));
  WriteFile(dir / "src" / "shrinks.bin", vsktest::RandomBytes(300000, 9));
  std::set<std::string> changed;
  Made m = MakeCab(cab, dir / "src", [&](TMakeCab& w) {
    w.OnProgress = [&](TZipCommon& s, Byte, Byte) {
      const std::string name = s.CurrentFileName;
      if ((name != "grows.bin" && name != "shrinks.bin") || !changed.insert(name).second) return;
      if (name == "grows.bin")
        std::ofstream(dir / "src" / name, std::ios::app) << std::string(70000, 'g');
      else
        fs::resize_file(dir / "src" / name, 1000);
    };
  });
  EXPECT_EQ(changed, (std::set<std::string>{"grows.bin", "shrinks.bin"}));
  EXPECT_EQ(m.added, 0);
  EXPECT_EQ(m.errors, (std::vector<int>{msg::ErrorReadingFile, msg::ErrorReadingFile}));
  EXPECT_EQ(vsktest::ReadFile(cab), before);
  const auto t = RunTool("cabextract -t " + ShellQuote(cab.string()));
  EXPECT_EQ(t.exitCode, 0) << t.output;

  // Beside a file that stays as it is, the changed one is left out.
  WriteFile(dir / "src" / "shrinks.bin", vsktest::RandomBytes(300000, 9));
  changed.clear();
  WriteFile(dir / "src" / "still.txt", "still\n");
  fs::remove(dir / "src" / "grows.bin");
  m = MakeCab(cab, dir / "src", [&](TMakeCab& w) {
    w.OnProgress = [&](TZipCommon& s, Byte, Byte) {
      if (s.CurrentFileName == "shrinks.bin" && changed.insert(s.CurrentFileName).second)
        fs::resize_file(dir / "src" / "shrinks.bin", 5);
    };
  });
  EXPECT_EQ(m.added, 1);
  EXPECT_EQ(m.errors, std::vector<int>{msg::ErrorReadingFile});
  const auto l = RunTool("cabextract -t " + ShellQuote(cab.string()));
  EXPECT_EQ(l.exitCode, 0) << l.output;
  EXPECT_NE(l.output.find("keep.txt"), std::string::npos) << l.output;
  EXPECT_NE(l.output.find("still.txt"), std::string::npos) << l.output;
  EXPECT_EQ(l.output.find("shrinks.bin"), std::string::npos) << l.output;
}

}  // namespace
}  // namespace vsk
