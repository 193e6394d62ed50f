// The ACE library, loaded by name as the reader loads it, against archives
// of the test encoder, which Debian's unace (ACE 1.0) checks first.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "libs/ace/acelib.h"
#include "platform/dynlib.h"
#include "tests/libs/ace/aceencoder.h"
#include "tests/support/testutil.h"

namespace vsktest {
namespace {

namespace fs = std::filesystem;

// What the callbacks saw, and how they answer.
struct Session {
  std::vector<std::string> started;          // names of ACE_STATE_START_FILE
  std::map<std::string, std::string> data;   // the data blocks of each file
  std::map<std::string, bool> crcOk;
  std::vector<std::pair<unsigned, std::string>> errors;
  std::vector<std::pair<int, std::string>> volumesAsked;  // number, proposal
  std::vector<std::string> exists;
  std::vector<std::string> passwordsAsked;
  std::function<int(AceCallbackVolume&)> onVolume;
  int existsAnswer = ACE_CALLBACK_OK;
  int passwordAnswer = ACE_CALLBACK_OK;
  std::function<int(const std::string&)> onStart;
  int cancelAtBlock = -1;
  int blocks = 0;
  int filesDone = 0;
};

Session& Of(AceCallbackRecord* R) { return *static_cast<Session*>(R->Head.GlobalData->Obj); }
std::string FileName(const AceFileData* F) { return F && F->Name ? F->Name : ""; }

int Info(AceCallbackRecord* R) {
  if (R->Head.Code == ACE_INFO_FILE_DONE) ++Of(R).filesDone;
  return ACE_CALLBACK_OK;
}

int Error(AceCallbackRecord* R) {
  std::string name;
  if (R->Head.StructureType == ACE_TYPE_ARCHIVEDFILE) name = FileName(R->ArchivedFile.FileData);
  if (R->Head.StructureType == ACE_TYPE_REALFILE) name = R->RealFile.FileName;
  if (R->Head.StructureType == ACE_TYPE_ARCHIVE) name = R->Archive.ArchiveData->ArchiveName;
  Of(R).errors.push_back({R->Head.Code, name});
  return ACE_CALLBACK_OK;
}

int Request(AceCallbackRecord* R) {
  Session& s = Of(R);
  switch (R->Head.Code) {
    case ACE_REQUEST_CHANGE_VOLUME:
      s.volumesAsked.push_back({R->Volume.VolumeNumber, R->Volume.NextVolume});
      return s.onVolume ? s.onVolume(R->Volume) : ACE_CALLBACK_OK;
    case ACE_REQUEST_FILE_EXISTS:
      s.exists.push_back(FileName(R->ArchivedFile.FileData));
      return s.existsAnswer;
    case ACE_REQUEST_PASSWORD:
      s.passwordsAsked.push_back(FileName(R->Password.FileData));
      R->Password.Password = "secret";
      return s.passwordAnswer;
  }
  return ACE_CALLBACK_CANCEL;
}

int State(AceCallbackRecord* R) {
  Session& s = Of(R);
  switch (R->Head.StructureType) {
    case ACE_TYPE_ARCHIVEDFILE:
      if (R->Head.Code == ACE_STATE_START_FILE) {
        const std::string name = FileName(R->ArchivedFile.FileData);
        s.started.push_back(name);
        s.data[name];
        return s.onStart ? s.onStart(name) : ACE_CALLBACK_OK;
      }
      break;
    case ACE_TYPE_PROGRESS:
      if (s.blocks++ == s.cancelAtBlock) return ACE_CALLBACK_CANCEL;
      s.data[FileName(R->Progress.FileData)].append(reinterpret_cast<const char*>(R->Progress.Block),
                                                    R->Progress.BlockSize);
      break;
    case ACE_TYPE_CRCCHECK:
      s.crcOk[FileName(R->CrcCheck.FileData)] = R->CrcCheck.CrcOk != 0;
      break;
  }
  return ACE_CALLBACK_OK;
}

// The library as the reader drives it: loaded by file name, its entry
// points looked up by name.
class AceLibrary {
 public:
  AceLibrary() : lib_(vsk::LoadLibraryQuiet("unacev2.so")) {
    init_ = reinterpret_cast<AceInitDllProc>(vsk::GetProcAddress(lib_, "ACEInitDll"));
    read_ = reinterpret_cast<AceReadArchiveDataProc>(vsk::GetProcAddress(lib_, "ACEReadArchiveData"));
    list_ = reinterpret_cast<AceListProc>(vsk::GetProcAddress(lib_, "ACEList"));
    test_ = reinterpret_cast<AceTestProc>(vsk::GetProcAddress(lib_, "ACETest"));
    extract_ = reinterpret_cast<AceExtractProc>(vsk::GetProcAddress(lib_, "ACEExtract"));
  }
  ~AceLibrary() { vsk::FreeLibrary(lib_); }
  bool Loaded() const { return init_ && read_ && list_ && test_ && extract_; }

  int Init(Session& S) {
    AceGlobalData g{};
    g.Obj = &S;
    g.MaxArchiveTestBytes = 0x1FFFF;
    g.MaxFileBufferSize = 0x2FFFF;
    g.Comment = {comment_, sizeof comment_, 0};
    g.TempDir = "/tmp";
    g.InfoCallback = Info;
    g.ErrorCallback = Error;
    g.RequestCallback = Request;
    g.StateCallback = State;
    return init_(&g);
  }
  int Test(Session& S, const std::string& Archive) {
    EXPECT_EQ(Init(S), ACE_OK);
    AceTestRecord t{};
    t.Files = {"", "", "", -1};
    t.DecryptPassword = "";
    return test_(Archive.c_str(), &t);
  }
  int Extract(Session& S, const std::string& Archive, const std::string& Dir, bool ExcludePath = false) {
    EXPECT_EQ(Init(S), ACE_OK);
    AceExtractRecord x{};
    x.Files = {"", "", "", -1};
    x.DestinationDir = Dir.c_str();
    x.ExcludePath = ExcludePath ? -1 : 0;
    x.DecryptPassword = "";
    return extract_(Archive.c_str(), &x);
  }
  int List(Session& S, const std::string& Archive) {
    EXPECT_EQ(Init(S), ACE_OK);
    AceListRecord l{};
    return list_(Archive.c_str(), &l);
  }
  int Read(const std::string& Archive, AceArchiveData& D) { return read_(Archive.c_str(), &D); }

 private:
  vsk::TLibHandle lib_;
  AceInitDllProc init_ = nullptr;
  AceReadArchiveDataProc read_ = nullptr;
  AceListProc list_ = nullptr;
  AceTestProc test_ = nullptr;
  AceExtractProc extract_ = nullptr;
  char comment_[8192] = {};
};

const std::string kText = TextBytes(30000, 11);
const std::string kBinary = RandomBytes(20000, 12);
const std::string kLarge = TextBytes(300000, 13) + RandomBytes(5000, 14) + std::string(70000, 'z');

std::vector<AceEntry> Sample() {
  return {{.name = "docs", .folder = true},
          {.name = "docs/text.txt", .data = kText},
          {.name = "binary.bin", .data = kBinary},
          {.name = "empty.txt", .data = ""},
          {.name = "stored.txt", .data = kText.substr(0, 5000), .lz77 = false},
          {.name = "docs/large.dat", .data = kLarge},
          {.name = "again.txt", .data = kText.substr(100, 20000)}};
}

// unace tests and extracts the set whole and byte for byte.
void ExpectUnaceRestores(const std::string& Archive, const std::vector<AceEntry>& Entries) {
  const auto t = RunTool("unace t -y " + ShellQuote(Archive) + " </dev/null");
  EXPECT_EQ(t.exitCode, 0) << t.output;
  EXPECT_EQ(t.output.find("error"), std::string::npos) << t.output;
  TempDir out;
  const auto x = RunTool("unace x -y " + ShellQuote(fs::absolute(Archive).string()) + " </dev/null", out.path());
  EXPECT_EQ(x.exitCode, 0) << x.output;
  for (const auto& e : Entries) {
    if (e.folder) EXPECT_TRUE(fs::is_directory(out / e.name)) << e.name;
    else EXPECT_EQ(ReadFile(out / e.name), e.data) << e.name;
  }
}

// Our library tests and extracts the same, byte for byte.
void ExpectLibraryRestores(const std::string& Archive, const std::vector<AceEntry>& Entries) {
  AceLibrary lib;
  ASSERT_TRUE(lib.Loaded());
  Session test;
  EXPECT_EQ(lib.Test(test, Archive), ACE_OK);
  EXPECT_TRUE(test.errors.empty());
  TempDir out;
  Session x;
  EXPECT_EQ(lib.Extract(x, Archive, out.str()), ACE_OK);
  EXPECT_TRUE(x.errors.empty());
  for (const auto& e : Entries) {
    EXPECT_TRUE(test.crcOk[e.name]) << e.name;
    EXPECT_TRUE(x.crcOk[e.name]) << e.name;
    if (e.folder) {
      EXPECT_TRUE(fs::is_directory(out / e.name)) << e.name;
      continue;
    }
    EXPECT_EQ(test.data[e.name], e.data) << e.name;
    EXPECT_EQ(x.data[e.name], e.data) << e.name;
    EXPECT_EQ(ReadFile(out / e.name), e.data) << e.name;
  }
  EXPECT_EQ(test.started.size(), Entries.size());
  EXPECT_EQ(x.filesDone, static_cast<int>(Entries.size()));
}

TEST(AceLib, UnaceAndTheLibraryRestoreTheEncodersArchives) {
  ASSERT_TRUE(HaveTool("unace"));
  TempDir dir;
  const auto entries = Sample();
  struct Case {
    const char* name;
    AceOptions options;
  };
  // A 1 KB dictionary is far smaller than the large file; small blocks
  // send many code tables.
  const Case cases[] = {{"plain.ace", {}},
                        {"solid.ace", {.solid = true, .dictionaryBits = 20}},
                        {"small.ace", {.dictionaryBits = 10, .blockSymbols = 700}},
                        {"volumes.ace", {.solid = true, .dictionaryBits = 16, .volumeSize = 60000}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string arc = (dir / c.name).string();
    const auto files = WriteAce(arc, entries, c.options);
    EXPECT_EQ(files.size() > 1, c.options.volumeSize != 0);
    ExpectUnaceRestores(arc, entries);
    ExpectLibraryRestores(arc, entries);
  }

  AceLibrary lib;
  AceArchiveData d{};
  const std::string solid = (dir / "solid.ace").string();
  ASSERT_EQ(lib.Read(solid, d), ACE_OK);
  EXPECT_TRUE(d.Flags & ACE_ARCHIVE_SOLID);
  EXPECT_EQ(d.VersionExtract, 10u);
  EXPECT_EQ(std::string(d.ArchiveName), solid);
  Session listed;
  EXPECT_EQ(lib.List(listed, solid), ACE_OK);
  EXPECT_EQ(listed.started.size(), entries.size());
  EXPECT_TRUE(listed.data["docs/text.txt"].empty());

  // Files skipped in a solid archive are still decoded for the ones after.
  Session some;
  some.onStart = [](const std::string& n) { return n == "again.txt" ? ACE_CALLBACK_OK : ACE_CALLBACK_SKIP; };
  EXPECT_EQ(lib.Test(some, solid), ACE_OK);
  EXPECT_EQ(some.data["again.txt"], kText.substr(100, 20000));
  EXPECT_EQ(some.crcOk.size(), 1u);

  // A self-extractor's program in front of the archive.
  const std::string sfx = (dir / "sfx.exe").string();
  WriteFile(sfx, RandomBytes(3000, 3) + ReadFile(dir / "plain.ace"));
  Session fromSfx;
  EXPECT_EQ(lib.Test(fromSfx, sfx), ACE_OK);
  EXPECT_EQ(fromSfx.data["docs/large.dat"], kLarge);
}

TEST(AceLib, VolumesAreAskedForAndMayBeRenamedOrDeclined) {
  TempDir dir;
  const std::string arc = (dir / "set.ace").string();
  const std::vector<AceEntry> entries = {{.name = "a.txt", .data = kText},
                                         {.name = "b.bin", .data = kBinary},
                                         {.name = "c.txt", .data = kText.substr(3000)}};
  const auto files = WriteAce(arc, entries, {.volumeSize = 15000});
  ASSERT_GE(files.size(), 3u);
  AceLibrary lib;

  Session all;
  TempDir out;
  EXPECT_EQ(lib.Extract(all, arc, out.str()), ACE_OK);
  ASSERT_EQ(all.volumesAsked.size(), files.size() - 1);
  EXPECT_EQ(all.volumesAsked[0].first, 1);
  EXPECT_EQ(all.volumesAsked[0].second, files[1]);
  EXPECT_EQ(all.volumesAsked[1].second, files[2]);
  EXPECT_EQ(ReadFile(out / "b.bin"), kBinary);
  EXPECT_EQ(ReadFile(out / "c.txt"), kText.substr(3000));

  // The caller points the library at a volume under another name.
  const std::string moved = (dir / "elsewhere.vol").string();
  fs::rename(files[1], moved);
  Session renamed;
  renamed.onVolume = [&](AceCallbackVolume& V) {
    // Later volumes are proposed after the renamed one's name.
    const std::string name = V.VolumeNumber == 1 ? moved : files[static_cast<std::size_t>(V.VolumeNumber)];
    std::snprintf(V.NextVolume, V.NextVolumeSize, "%s", name.c_str());
    return ACE_CALLBACK_OK;
  };
  EXPECT_EQ(lib.Test(renamed, arc), ACE_OK);
  EXPECT_EQ(renamed.data["c.txt"], kText.substr(3000));
  EXPECT_TRUE(renamed.errors.empty());

  // Declined: the split file fails, the run ends and says why.
  Session declined;
  declined.onVolume = [](AceCallbackVolume&) { return ACE_CALLBACK_CANCEL; };
  EXPECT_EQ(lib.Test(declined, arc), ACE_ERROR_USER);
  EXPECT_TRUE(declined.crcOk["a.txt"]);
  EXPECT_FALSE(declined.started.empty());
  EXPECT_EQ(declined.data.count("c.txt"), 0u);

  // Missing (no such volume): the split file fails its check.
  Session missing;
  EXPECT_EQ(lib.Test(missing, arc), ACE_ERROR_NOT_FOUND);
  EXPECT_FALSE(missing.errors.empty());
  EXPECT_EQ(missing.data.count("c.txt"), 0u);
  bool failed = false;
  for (auto& [name, ok] : missing.crcOk) failed |= !ok;
  EXPECT_TRUE(failed);
}

// The offset of the first packed byte of the file Name (the encoder puts
// four reserved bytes after each name).
std::size_t DataOffset(const std::string& Bytes, const std::string& Name) {
  const std::size_t at = Bytes.find(Name);
  EXPECT_NE(at, std::string::npos);
  return at + Name.size() + 4;
}

TEST(AceLib, DamageIsReportedWhereItIs) {
  TempDir dir;
  const std::vector<AceEntry> entries = {{.name = "a.txt", .data = kText},
                                         {.name = "b.bin", .data = kBinary},
                                         {.name = "c.txt", .data = kText.substr(0, 8000), .lz77 = false},
                                         {.name = "d.txt", .data = kText.substr(500)}};
  const std::string good = EncodeAce(entries, {})[0];
  AceLibrary lib;

  // One damaged data byte in a compressed and in a stored file: only those
  // fail their check.
  for (const std::string victim : {"b.bin", "c.txt"}) {
    std::string bad = good;
    bad[DataOffset(bad, victim) + 900] ^= 0x21;
    const std::string arc = (dir / "bad.ace").string();
    WriteFile(arc, bad);
    Session s;
    EXPECT_EQ(lib.Test(s, arc), ACE_ERROR_CRC) << victim;
    for (const auto& e : entries) EXPECT_EQ(s.crcOk[e.name], e.name != victim) << victim << " " << e.name;
    EXPECT_EQ(s.data["d.txt"], kText.substr(500));
  }

  // A damaged header ends the walk with an error; what came before stands.
  std::string bad = good;
  bad[good.find("b.bin") - 20] ^= 0x40;
  const std::string arc = (dir / "header.ace").string();
  WriteFile(arc, bad);
  Session s;
  EXPECT_EQ(lib.Test(s, arc), ACE_ERROR_BROKEN);
  EXPECT_TRUE(s.crcOk["a.txt"]);
  ASSERT_EQ(s.errors.size(), 1u);
  EXPECT_EQ(s.errors[0].first, unsigned{ACE_ERROR_CB_BROKEN});
  EXPECT_EQ(s.started, std::vector<std::string>{"a.txt"});

  // Not an archive at all.
  WriteFile(arc, RandomBytes(5000, 9));
  Session none;
  EXPECT_EQ(lib.Test(none, arc), ACE_ERROR_BROKEN);
  EXPECT_TRUE(none.started.empty());
}

TEST(AceLib, ExtractionStaysInsideTheDestination) {
  TempDir dir, outside;
  const std::string arc = (dir / "hostile.ace").string();
  const std::vector<AceEntry> entries = {{.name = "../up.txt", .data = "x"},
                                         {.name = "/abs.txt", .data = "x"},
                                         {.name = "C:\\drive.txt", .data = "x"},
                                         {.name = "deep/../../up2.txt", .data = "x"},
                                         {.name = "link/through.txt", .data = "x"},
                                         {.name = "sym.txt", .data = "x"},
                                         {.name = std::string("nul\0.txt", 8), .data = "x"},
                                         {.name = "./fine/ok.txt", .data = "ok"}};
  WriteAce(arc, entries);
  TempDir out;
  fs::create_directory_symlink(outside.path(), out / "link");
  fs::create_symlink(outside / "target.txt", out / "sym.txt");
  AceLibrary lib;
  Session s;
  EXPECT_NE(lib.Extract(s, arc, out.str()), ACE_OK);
  // Refused names are never offered; the others are, as written.
  EXPECT_EQ(s.started, (std::vector<std::string>{"link/through.txt", "sym.txt", "fine/ok.txt"}));
  EXPECT_EQ(ReadFile(out / "fine" / "ok.txt"), "ok");
  EXPECT_TRUE(fs::is_empty(outside.path()));
  EXPECT_FALSE(fs::exists(out.path().parent_path() / "up.txt"));
  EXPECT_FALSE(fs::exists(out.path().parent_path() / "up2.txt"));
  EXPECT_TRUE(fs::is_symlink(out / "sym.txt"));
  int names = 0, opens = 0;
  for (auto& [code, name] : s.errors) {
    names += code == ACE_ERROR_CB_NAME;
    opens += code == ACE_ERROR_CB_OPEN;
  }
  EXPECT_EQ(names, 5);
  EXPECT_EQ(opens, 2);
  EXPECT_EQ(s.exists, std::vector<std::string>{"sym.txt"});

  // Without folders every file lands in the destination itself.
  TempDir flat;
  Session f;
  lib.Extract(f, arc, flat.str(), true);
  EXPECT_EQ(ReadFile(flat / "ok.txt"), "ok");
  EXPECT_EQ(ReadFile(flat / "through.txt"), "x");
}

TEST(AceLib, ExistingFilesEncryptedAndUnsupportedEntriesAndCancel) {
  TempDir dir;
  const std::string arc = (dir / "mixed.ace").string();
  WriteAce(arc, {{.name = "secret.txt", .data = RandomBytes(300, 2), .flags = 0x4000},
                 {.name = "v2.bin", .data = "packed by a later version", .methodByte = 2},
                 {.name = "plain.txt", .data = kText}});
  AceLibrary lib;

  TempDir out;
  WriteFile(out / "plain.txt", "old");
  Session keep;
  keep.existsAnswer = ACE_CALLBACK_SKIP;
  keep.passwordAnswer = ACE_CALLBACK_OK;
  lib.Extract(keep, arc, out.str());
  EXPECT_EQ(keep.passwordsAsked, std::vector<std::string>{"secret.txt"});
  ASSERT_EQ(keep.errors.size(), 2u);
  EXPECT_EQ(keep.errors[0], std::make_pair(unsigned{ACE_ERROR_CB_PASSWORD}, std::string("secret.txt")));
  EXPECT_EQ(keep.errors[1], std::make_pair(unsigned{ACE_ERROR_CB_UNSUPPORTED}, std::string("v2.bin")));
  EXPECT_FALSE(fs::exists(out / "secret.txt"));
  EXPECT_FALSE(fs::exists(out / "v2.bin"));
  EXPECT_EQ(keep.exists, std::vector<std::string>{"plain.txt"});
  EXPECT_EQ(ReadFile(out / "plain.txt"), "old");

  Session over;
  over.passwordAnswer = ACE_CALLBACK_SKIP;
  lib.Extract(over, arc, out.str());
  EXPECT_EQ(ReadFile(out / "plain.txt"), kText);
  EXPECT_EQ(over.errors.size(), 1u);  // the skipped password asks no more

  // Cancel from the first data block: nothing more is reported, and the
  // file begun is not left half written.
  const std::string big = (dir / "big.ace").string();
  WriteAce(big, {{.name = "large.dat", .data = kLarge}, {.name = "after.txt", .data = kText}});
  TempDir cancelled;
  Session c;
  c.cancelAtBlock = 0;
  EXPECT_EQ(lib.Extract(c, big, cancelled.str()), ACE_ERROR_USER);
  EXPECT_EQ(c.started, std::vector<std::string>{"large.dat"});
  EXPECT_TRUE(c.crcOk.empty());
  EXPECT_TRUE(fs::is_empty(cancelled.path()));
  Session t;
  t.cancelAtBlock = 1;
  EXPECT_EQ(lib.Test(t, big), ACE_ERROR_USER);
  EXPECT_EQ(t.blocks, 2);

  // A file at the name, hard-linked to one outside the destination: a
  // sound entry takes the name and leaves the file outside as it was; a
  // cancelled or damaged one leaves the name as it stood, and nothing
  // staged beside it.
  const auto planted = [&](const fs::path& Dest, const std::string& Name) {
    fs::create_directories(Dest);
    WriteFile(dir / ("outside-" + Name), "old");
    fs::create_hard_link(dir / ("outside-" + Name), Dest / Name);
  };
  const auto staysAsItWas = [&](const fs::path& Dest, const std::string& Name) {
    EXPECT_EQ(ReadFile(Dest / Name), "old") << Name;
    EXPECT_EQ(ReadFile(dir / ("outside-" + Name)), "old") << Name;
    for (const auto& e : fs::directory_iterator(Dest))
      EXPECT_NE(e.path().filename().string().rfind(".vsk-", 0), 0u) << e.path();
  };
  planted(dir / "linked", "after.txt");
  Session sound;
  EXPECT_EQ(lib.Extract(sound, big, (dir / "linked").string()), ACE_OK);
  EXPECT_EQ(ReadFile(dir / "linked/after.txt"), kText);
  EXPECT_EQ(ReadFile(dir / "outside-after.txt"), "old");
  planted(dir / "linkcancel", "large.dat");
  Session stop;
  stop.cancelAtBlock = 1;
  EXPECT_EQ(lib.Extract(stop, big, (dir / "linkcancel").string()), ACE_ERROR_USER);
  staysAsItWas(dir / "linkcancel", "large.dat");
  std::string damaged = ReadFile(big);
  damaged[DataOffset(damaged, "after.txt") + 100] ^= 0x20;
  WriteFile(dir / "damaged.ace", damaged);
  fs::remove(dir / "outside-after.txt");
  planted(dir / "linkbad", "after.txt");
  Session bad;
  lib.Extract(bad, (dir / "damaged.ace").string(), (dir / "linkbad").string());
  EXPECT_FALSE(bad.crcOk["after.txt"]);
  staysAsItWas(dir / "linkbad", "after.txt");
}

}  // namespace
}  // namespace vsktest
