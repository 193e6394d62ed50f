// The writing side of the cabinet library: what it writes, cabextract,
// gcab and 7z accept and restore exactly, and so does its own reading
// side; folders, limits, and every failure reported, never a cabinet
// half written.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/dates.h"
#include "tests/libs/cabinet/cabtestlib.h"
#include "tests/support/testutil.h"

namespace vsktest {
namespace {

// What the writer's callbacks were asked.
struct WriterState : PosixFiles {
  long statusAnswer = 0;
  int statusCalls = 0;
  std::vector<std::string> placed;
  std::string nextName;  // get-next-cabinet's answer
};

int Placed(PCCAB, const char* file, int64_t, int, void* pv) {
  static_cast<WriterState*>(static_cast<PosixFiles*>(pv))->placed.push_back(file);
  return 0;
}

long Status(unsigned int, uint32_t, uint32_t, void* pv) {
  auto* s = static_cast<WriterState*>(static_cast<PosixFiles*>(pv));
  ++s->statusCalls;
  return s->statusAnswer;
}

int NextCabinet(PCCAB cab, uint32_t, void* pv) {
  auto* s = static_cast<WriterState*>(static_cast<PosixFiles*>(pv));
  if (s->nextName.empty()) return 0;
  std::strcpy(cab->szCab, s->nextName.c_str());
  return 1;
}

// One FCI context writing the cabinet Cab, its temporary files in Temp.
class Writer {
 public:
  Writer(const CabinetLib& lib, const fs::path& cab, const fs::path& temp, const CCAB& base = {}) : lib_(lib) {
    fs::create_directories(temp);
    state.tempDir = temp.string();
    ccab = base;
    const std::string dir = cab.parent_path().string() + "/", name = cab.filename().string();
    std::strcpy(ccab.szCabPath, dir.c_str());
    std::strcpy(ccab.szCab, name.c_str());
    fci_ = lib.FCICreate(&erf, Placed, CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, CabDelete,
                         CabGetTempFile, &ccab, static_cast<PosixFiles*>(&state));
  }
  ~Writer() {
    if (fci_) {
      EXPECT_EQ(lib_.FCIDestroy(fci_), 1);
    }
    EXPECT_EQ(state.openHandles, 0) << "a handle was left open";
    if (!state.tempDir.empty()) {
      EXPECT_TRUE(fs::is_empty(state.tempDir)) << "a temporary file was left";
    }
  }

  bool ok() const { return fci_ != nullptr; }
  bool Add(const fs::path& source, const std::string& name, TCOMP type = tcompTYPE_MSZIP, bool execute = false) {
    return lib_.FCIAddFile(fci_, source.c_str(), name.c_str(), execute, NextCabinet, Status, CabGetOpenInfo, type) != 0;
  }
  bool FlushFolder() { return lib_.FCIFlushFolder(fci_, NextCabinet, Status) != 0; }
  bool Flush(bool getNext = false) { return lib_.FCIFlushCabinet(fci_, getNext, NextCabinet, Status) != 0; }

  WriterState state;
  CCAB ccab{};
  ERF erf{};

 private:
  const CabinetLib& lib_;
  HFCI fci_ = nullptr;
};

FDICABINETINFO Info(const CabinetLib& lib, const fs::path& cab) {
  PosixFiles files;
  ERF erf{};
  FDICABINETINFO info{};
  HFDI fdi = MakeFdi(lib, erf, files);
  int err = 0;
  const intptr_t h = CabOpen(cab.c_str(), CAB_O_RDONLY, 0, &err, &files);
  EXPECT_NE(h, -1);
  EXPECT_EQ(lib.FDIIsCabinet(fdi, h, &info), 1) << cab;
  CabClose(h, &err, &files);
  lib.FDIDestroy(fdi);
  return info;
}

std::map<std::string, std::string> ReadBack(const CabinetLib& lib, const fs::path& cab, const fs::path& into) {
  Extraction x;
  x.outDir = into;
  Extract(lib, cab, x);
  EXPECT_TRUE(x.ok) << x.erf.erfOper;
  return FilesUnder(into);
}

TEST(Fci, CabinetsTheToolsRead) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk() && lib.writerOk());
  ASSERT_TRUE(HaveTool("cabextract") && HaveTool("gcab") && HaveTool("7z"));
  TempDir dir;
  std::map<std::string, std::string> src;
  for (int i = 0; i < 40; ++i) src["small" + std::to_string(i) + ".txt"] = TextBytes(100 + 37 * i, i + 1);
  src["empty.txt"] = "";
  src["large.bin"] = TextBytes(70000, 50) + RandomBytes(50000, 51);  // spans data blocks
  src["sub/Grüße.txt"] = TextBytes(3000, 52);
  for (const auto& [name, data] : src) WriteFile(dir / "src" / name, data);

  for (TCOMP type : {TCOMP{tcompTYPE_NONE}, TCOMP{tcompTYPE_MSZIP}}) {
    SCOPED_TRACE(type);
    const std::string tag = type == tcompTYPE_NONE ? "stored" : "mszip";
    const fs::path cab = dir / (tag + ".cab");
    {
      Writer w(lib, cab, dir / "tmp");
      ASSERT_TRUE(w.ok());
      for (const auto& [name, data] : src) {
        std::string stored = name;
        std::replace(stored.begin(), stored.end(), '/', '\\');
        ASSERT_TRUE(w.Add(dir / "src" / name, stored, type, name == "large.bin")) << name << " " << w.erf.erfOper;
      }
      ASSERT_TRUE(w.Flush()) << w.erf.erfOper;
      EXPECT_EQ(w.state.placed.size(), src.size());
      EXPECT_GT(w.state.statusCalls, 0);
    }
    const auto info = Info(lib, cab);
    EXPECT_EQ(info.cFiles, src.size());
    EXPECT_EQ(info.cFolders, 1);
    EXPECT_EQ(info.cbCabinet, static_cast<int64_t>(fs::file_size(cab)));

    const auto test = RunTool("cabextract -t " + ShellQuote(cab.string()));
    EXPECT_EQ(test.exitCode, 0) << test.output;
    EXPECT_NE(test.output.find("All done, no errors."), std::string::npos) << test.output;
    EXPECT_EQ(Cabextract(cab, dir / (tag + ".cabextract")), src);
    const auto seven = RunTool("7z t " + ShellQuote(cab.string()));
    EXPECT_EQ(seven.exitCode, 0) << seven.output;
    const auto list = RunTool("gcab -l " + ShellQuote(cab.string()));
    EXPECT_EQ(list.exitCode, 0) << list.output;
    EXPECT_NE(list.output.find("Grüße.txt"), std::string::npos) << list.output;
    fs::create_directories(dir / (tag + ".gcab"));
    const auto x = RunTool("gcab -x " + ShellQuote(cab.string()), dir / (tag + ".gcab"));
    EXPECT_EQ(x.exitCode, 0) << x.output;
    EXPECT_EQ(FilesUnder(dir / (tag + ".gcab")), src);

    // Our reading side agrees, and sees the records as written.
    Extraction back;
    back.outDir = dir / (tag + ".back");
    Extract(lib, cab, back);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(FilesUnder(back.outDir), src);
    const Event* large = back.Closed("large.bin");
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(large->cb, 1);  // to be run
    EXPECT_EQ(large->attribs, CAB_A_ARCH | CAB_A_EXEC);
    struct stat st;
    ASSERT_EQ(::stat((dir / "src/large.bin").c_str(), &st), 0);
    const vsk::UInt32 dos = vsk::FileTimeToLocalDos(st.st_mtim);
    EXPECT_EQ(large->date, dos >> 16);
    EXPECT_EQ(large->time, dos & 0xFFFF);
    EXPECT_EQ(back.Closed("sub\\Grüße.txt")->attribs, CAB_A_ARCH | CAB_A_NAME_IS_UTF);
  }
  EXPECT_LT(fs::file_size(dir / "mszip.cab"), fs::file_size(dir / "stored.cab") * 3 / 4);
}

TEST(Fci, FoldersAndDamage) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk() && lib.writerOk());
  TempDir dir;
  const std::map<std::string, std::string> src = {
      {"a.txt", TextBytes(40000, 1)}, {"b.txt", TextBytes(5000, 2)}, {"c.txt", TextBytes(9000, 3)}};
  for (const auto& [name, data] : src) WriteFile(dir / name, data);
  // A new folder for a new compression word and after a flush; reserved
  // areas in header, folder records and data blocks.
  CCAB reserve{};
  reserve.cbReserveCFHeader = 10;
  reserve.cbReserveCFFolder = 5;
  reserve.cbReserveCFData = 3;
  {
    Writer w(lib, dir / "three.cab", dir / "tmp", reserve);
    ASSERT_TRUE(w.Add(dir / "a.txt", "a.txt", tcompTYPE_NONE));
    ASSERT_TRUE(w.Add(dir / "b.txt", "b.txt", tcompTYPE_MSZIP));
    ASSERT_TRUE(w.FlushFolder());
    ASSERT_TRUE(w.Add(dir / "c.txt", "c.txt", tcompTYPE_MSZIP));
    ASSERT_TRUE(w.Flush());
  }
  EXPECT_EQ(Info(lib, dir / "three.cab").cFolders, 3);
  EXPECT_TRUE(Info(lib, dir / "three.cab").fReserve);
  ASSERT_EQ(RunTool("cabextract -t " + ShellQuote((dir / "three.cab").string())).exitCode, 0);
  EXPECT_EQ(ReadBack(lib, dir / "three.cab", dir / "three.out"), src);

  // A damaged block fails its file; the files of the other folders come
  // out whole.
  std::string bad = ReadFile(dir / "three.cab");
  const std::size_t second = 36 + 4 + 10 + (8 + 5);  // b's folder record
  const std::size_t at = static_cast<unsigned char>(bad[second]) | static_cast<unsigned char>(bad[second + 1]) << 8;
  ASSERT_EQ(bad.substr(at + 8 + 3, 2), "CK");
  bad[at + 8 + 3 + 100] ^= 0x5A;
  WriteFile(dir / "bad.cab", bad);
  Extraction x;
  x.outDir = dir / "bad.out";
  Extract(lib, dir / "bad.cab", x);
  EXPECT_EQ(x.erf.erfOper, FDIERROR_CORRUPT_CABINET);
  EXPECT_EQ(x.Closed("a.txt")->fdie, 0);
  EXPECT_EQ(x.Closed("b.txt")->fdie, FDIERROR_CORRUPT_CABINET);
  EXPECT_EQ(x.Closed("c.txt")->fdie, 0);
  EXPECT_EQ(ReadFile(x.outDir / "a.txt"), src.at("a.txt"));
  EXPECT_EQ(ReadFile(x.outDir / "c.txt"), src.at("c.txt"));

  // A cabinet of one empty file, and one of none (a bare header, which
  // cabextract alone refuses: it wants files).
  WriteFile(dir / "empty", "");
  {
    Writer w(lib, dir / "emptyfile.cab", dir / "tmp");
    ASSERT_TRUE(w.Add(dir / "empty", "empty"));
    ASSERT_TRUE(w.Flush());
  }
  {
    Writer w(lib, dir / "nofiles.cab", dir / "tmp");
    ASSERT_TRUE(w.Flush());
  }
  EXPECT_EQ(fs::file_size(dir / "nofiles.cab"), 36u);
  for (const char* name : {"emptyfile.cab", "nofiles.cab"}) {
    const std::string cab = ShellQuote((dir / name).string());
    EXPECT_EQ(RunTool("gcab -l " + cab).exitCode, 0) << name;
    EXPECT_EQ(RunTool("7z t " + cab).exitCode, 0) << name;
  }
  EXPECT_EQ(RunTool("cabextract -t " + ShellQuote((dir / "emptyfile.cab").string())).exitCode, 0);
  EXPECT_EQ(ReadBack(lib, dir / "emptyfile.cab", dir / "emptyfile.out"),
            (std::map<std::string, std::string>{{"empty", ""}}));
  EXPECT_TRUE(ReadBack(lib, dir / "nofiles.cab", dir / "nofiles.out").empty());

  // After a flush the context writes the next cabinet it is told of.
  {
    Writer w(lib, dir / "first.cab", dir / "tmp");
    w.state.nextName = "second.cab";
    ASSERT_TRUE(w.Add(dir / "a.txt", "a.txt"));
    ASSERT_TRUE(w.Flush(true));
    EXPECT_EQ(w.ccab.iCab, 0);  // the caller's record is its own
    ASSERT_TRUE(w.Add(dir / "b.txt", "b.txt"));
    ASSERT_TRUE(w.Flush());
  }
  EXPECT_EQ(ReadBack(lib, dir / "first.cab", dir / "first.out").size(), 1u);
  EXPECT_EQ(ReadBack(lib, dir / "second.cab", dir / "second.out"),
            (std::map<std::string, std::string>{{"b.txt", src.at("b.txt")}}));
  EXPECT_EQ(Info(lib, dir / "second.cab").iCabinet, 1);
}

TEST(Fci, FailuresAreReported) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk() && lib.writerOk());
  TempDir dir;
  WriteFile(dir / "good.txt", TextBytes(50000, 1));
  fs::create_directories(dir / "folder");

  {
    Writer w(lib, dir / "some.cab", dir / "tmp");
    // A missing source, a name too long or empty, compression words not
    // written: the file is refused, the context goes on.
    EXPECT_FALSE(w.Add(dir / "missing.txt", "missing.txt"));
    EXPECT_EQ(w.erf.erfOper, FCIERR_OPEN_SRC);
    EXPECT_EQ(w.erf.erfType, ENOENT);
    EXPECT_EQ(w.erf.fError, 1);
    EXPECT_FALSE(w.Add(dir / "good.txt", std::string(256, 'n')));
    EXPECT_EQ(w.erf.erfOper, FCIERR_CAB_FORMAT_LIMIT);
    EXPECT_FALSE(w.Add(dir / "good.txt", ""));
    EXPECT_EQ(w.erf.erfOper, FCIERR_CAB_FORMAT_LIMIT);
    for (TCOMP type : {0x1572, 0x0E03, 0x1603, 0x0004, 0x000F}) {
      EXPECT_FALSE(w.Add(dir / "good.txt", "good.txt", type)) << type;
      EXPECT_EQ(w.erf.erfOper, FCIERR_BAD_COMPR_TYPE) << type;
    }
    // A source that fails to read (a folder): its bytes are not named.
    EXPECT_TRUE(w.Add(dir / "good.txt", "first.txt"));
    EXPECT_FALSE(w.Add(dir / "folder", "folder"));
    EXPECT_EQ(w.erf.erfOper, FCIERR_READ_SRC);
    EXPECT_EQ(w.erf.erfType, EISDIR);
    // MSZIP's upper bits mean nothing to it.
    EXPECT_TRUE(w.Add(dir / "good.txt", "second.txt", 0x1571));
    EXPECT_TRUE(w.Flush());
    EXPECT_EQ(w.erf.fError, 0);
  }
  const std::string good = ReadFile(dir / "good.txt");
  EXPECT_EQ(ReadBack(lib, dir / "some.cab", dir / "some.out"),
            (std::map<std::string, std::string>{{"first.txt", good}, {"second.txt", good}}));
  EXPECT_EQ(RunTool("cabextract -t " + ShellQuote((dir / "some.cab").string())).exitCode, 0);

  // A full disk fails the flush; the device stays as it was.
  {
    Writer w(lib, "/dev/full", dir / "tmp");
    ASSERT_TRUE(w.Add(dir / "good.txt", "good.txt"));
    EXPECT_FALSE(w.Flush());
    EXPECT_EQ(w.erf.erfOper, FCIERR_CAB_FILE);
    EXPECT_EQ(w.erf.erfType, ENOSPC);
    EXPECT_EQ(w.state.deleted.back(), "/dev/full");
    // The context is spent.
    EXPECT_FALSE(w.Add(dir / "good.txt", "again.txt"));
    EXPECT_EQ(w.erf.erfOper, FCIERR_CAB_FILE);
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));

  // A cabinet that cannot be made, temporary files that cannot.
  {
    Writer w(lib, dir / "no/such/dir.cab", dir / "tmp");
    ASSERT_TRUE(w.Add(dir / "good.txt", "good.txt"));
    EXPECT_FALSE(w.Flush());
    EXPECT_EQ(w.erf.erfOper, FCIERR_CAB_FILE);
    EXPECT_EQ(w.erf.erfType, ENOENT);
  }
  {
    Writer w(lib, dir / "t.cab", dir / "tmp");
    w.state.tempDir = (dir / "no-such-dir").string();
    EXPECT_FALSE(w.Add(dir / "good.txt", "good.txt") && w.Flush());
    EXPECT_EQ(w.erf.erfOper, FCIERR_TEMP_FILE);
    w.state.tempDir.clear();
  }
  EXPECT_FALSE(fs::exists(dir / "t.cab"));

  // The status callback aborts.
  {
    Writer w(lib, dir / "abort.cab", dir / "tmp");
    w.state.statusAnswer = -1;
    EXPECT_FALSE(w.Add(dir / "good.txt", "good.txt"));
    EXPECT_EQ(w.erf.erfOper, FCIERR_USER_ABORT);
    EXPECT_FALSE(w.Flush());
  }
  EXPECT_FALSE(fs::exists(dir / "abort.cab"));

  // More than the cabinet may hold is refused, not wrapped.
  {
    CCAB small{};
    small.cb = 30000;
    Writer w(lib, dir / "small.cab", dir / "tmp", small);
    EXPECT_FALSE(w.Add(dir / "good.txt", "good.txt", tcompTYPE_NONE));
    EXPECT_EQ(w.erf.erfOper, FCIERR_CAB_FORMAT_LIMIT);
    EXPECT_FALSE(w.Flush());
  }
  EXPECT_FALSE(fs::exists(dir / "small.cab"));
}

TEST(Fci, CountLimits) {
  CabinetLib lib;
  ASSERT_TRUE(lib.readerOk() && lib.writerOk());
  TempDir dir;
  WriteFile(dir / "empty", "");
  {
    Writer w(lib, dir / "many.cab", dir / "tmp");
    for (int i = 0; i < 65535; ++i) ASSERT_TRUE(w.Add(dir / "empty", "f" + std::to_string(i))) << i;
    EXPECT_FALSE(w.Add(dir / "empty", "one-more"));
    EXPECT_EQ(w.erf.erfOper, FCIERR_CAB_FORMAT_LIMIT);
    EXPECT_TRUE(w.Flush());
  }
  EXPECT_EQ(Info(lib, dir / "many.cab").cFiles, 65535);

  // 65535 data blocks are the most a folder holds: zeros without end
  // reach that first.
  {
    Writer w(lib, dir / "zeros.cab", dir / "tmp");
    EXPECT_FALSE(w.Add("/dev/zero", "zeros"));
    EXPECT_EQ(w.erf.erfOper, FCIERR_CAB_FORMAT_LIMIT);
    EXPECT_FALSE(w.Flush());
  }
  EXPECT_FALSE(fs::exists(dir / "zeros.cab"));
}

}  // namespace
}  // namespace vsktest
