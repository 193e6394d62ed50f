// The RAR library as a reader drives it: loaded by file name, entry points
// looked up by name. The RAR 2.9 fixtures (no Debian tool writes RAR) come
// out byte for byte as bsdtar extracts them; RAR5 archives are built here
// with stored entries.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/records/rarheader.h"
#include "archive/formats/rar/unrarentry.h"
#include "tests/support/archivebytes.h"
#include "tests/support/rar5build.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::Le32;
using vsktest::kRar5Marker;
using vsktest::Rar5End;
using vsktest::Rar5File;
using vsktest::Rar5Main;
using vsktest::Rar5VInt;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::FolderTree;
using vsktest::WriteFile;

const std::string kFixtures = std::string(BREVANE_FIXTURES_DIR) + "/rar/";

struct TLib : TRarEntryPoints {
  TLib() : Handle(LoadLibraryQuiet("unrar3.so")) { Resolve(Handle); }
  ~TLib() { FreeLibrary(Handle); }
  bool Ok() const { return OpenArchive != nullptr; }
  TLibHandle Handle;
};

const TLib& Lib() {
  static TLib lib;
  return lib;
}

struct TEntry {
  RARHeaderData H{};
  int Result = -1;
  std::string Data;
  UInt64 Size = 0;
  uLong Crc = crc32(0, nullptr, 0);

  void Take(const char* Block, std::size_t Count) {
    if (Size + Count <= (1u << 20)) Data.append(Block, Count);
    Size += Count;
    Crc = crc32(Crc, reinterpret_cast<const Bytef*>(Block), static_cast<uInt>(Count));
  }
};

// One pass over an archive the way a reader makes it: every entry read,
// then processed with the operation Choose picks (extracting to the entry's
// name under Dest, whose folders the caller makes).
struct TRun {
  std::string Archive;
  fs::path Dest = {};
  std::function<int(const RARHeaderData&)> Choose = [](const RARHeaderData&) { return RAR_TEST; };
  std::function<int(char* Name, std::size_t Size)> OnVolume = [](char*, std::size_t) { return 0; };
  int PasswordAnswer = 0;
  std::size_t StopAfterBytes = 0;  // -1 from message 1 past this many bytes (0: never)

  int OpenResult = -1;
  int EndResult = -1;
  std::vector<TEntry> Entries = {};
  std::vector<std::string> Proposed = {};
  int PasswordAsks = 0;
  std::size_t DataBytes = 0;

  static int Callback(unsigned Msg, intptr_t UserData, intptr_t P1, intptr_t P2) {
    auto* self = reinterpret_cast<TRun*>(UserData);
    if (Msg == UCM_CHANGEVOLUME) {
      self->Proposed.push_back(reinterpret_cast<char*>(P1));
      return self->OnVolume(reinterpret_cast<char*>(P1), static_cast<std::size_t>(P2));
    }
    if (Msg == UCM_PROCESSDATA) {
      if (!self->Entries.empty())
        self->Entries.back().Take(reinterpret_cast<const char*>(P1), static_cast<std::size_t>(P2));
      self->DataBytes += static_cast<std::size_t>(P2);
      return self->StopAfterBytes && self->DataBytes > self->StopAfterBytes ? -1 : 0;
    }
    if (Msg == UCM_NEEDPASSWORD) {
      ++self->PasswordAsks;
      EXPECT_GE(P2, 64);
      std::snprintf(reinterpret_cast<char*>(P1), static_cast<std::size_t>(P2), "secret");
      return self->PasswordAnswer;
    }
    ADD_FAILURE() << "message " << Msg;
    return -1;
  }

  TRun& Go() {
    if (!Dest.empty()) fs::create_directories(Dest);
    RAROpenArchiveData o{};
    o.ArcName = Archive.c_str();
    o.OpenMode = RAR_OM_EXTRACT;
    RARHANDLE h = Lib().OpenArchive(&o);
    OpenResult = static_cast<int>(o.OpenResult);
    if (!h) return *this;
    Lib().SetCallback(h, Callback, reinterpret_cast<intptr_t>(this));
    for (;;) {
      TEntry e;
      EndResult = Lib().ReadHeader(h, &e.H);
      if (EndResult != ERAR_SUCCESS) break;
      Entries.push_back(e);
      const int op = Choose(Entries.back().H);
      std::string out;
      if (op == RAR_EXTRACT) {
        out = (Dest / Entries.back().H.FileName).string();
        fs::create_directories(fs::path(out).parent_path());
      }
      Entries.back().Result = Lib().ProcessFile(h, op, nullptr, op == RAR_EXTRACT ? out.c_str() : nullptr);
    }
    EXPECT_EQ(Lib().CloseArchive(h), 0);
    return *this;
  }

  const TEntry& Find(const std::string& Name) const {
    for (const auto& e : Entries)
      if (Name == e.H.FileName) return e;
    static const TEntry none;
    ADD_FAILURE() << "no entry " << Name;
    return none;
  }
};

int ExtractAll(const RARHeaderData& H) { return H.RedirType != RAR_REDIR_NONE ? RAR_TEST : RAR_EXTRACT; }

UInt32 Crc(const std::string& s) {
  return static_cast<UInt32>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// bsdtar's extraction into Dir of the archive bytes that Source prints;
// true when bsdtar reports no error.
bool Bsdtar(const std::string& Source, const fs::path& Dir, const std::string& Args = {}) {
  fs::create_directories(Dir);
  return RunTool(Source + " | bsdtar -xf - -C " + ShellQuote(Dir.string()) + " " + Args).exitCode == 0;
}

// bsdtar's tree without its links, which the library reports but never
// makes; the links with their targets go to Links.
std::map<std::string, std::string> WithoutLinks(std::map<std::string, std::string> T,
                                                std::map<std::string, std::string>& Links) {
  for (auto it = T.begin(); it != T.end();) {
    if (it->first.back() == '@') {
      Links[it->first.substr(0, it->first.size() - 1)] = it->second;
      it = T.erase(it);
    } else {
      ++it;
    }
  }
  return T;
}

// The archive comment as opening gives it into a buffer of Size bytes.
std::string OpenComment(const std::string& Archive, std::size_t Size, unsigned& State) {
  std::vector<char> buffer(Size);
  RAROpenArchiveData o{};
  o.ArcName = Archive.c_str();
  o.OpenMode = RAR_OM_EXTRACT;
  o.CmtBuf = buffer.data();
  o.CmtBufSize = static_cast<unsigned>(Size);
  RARHANDLE h = Lib().OpenArchive(&o);
  State = o.CmtState;
  if (h == nullptr) return "(not opened)";
  Lib().CloseArchive(h);
  EXPECT_EQ(o.CmtSize, State == 1 ? std::strlen(buffer.data()) + 1 : 0);
  return buffer.data();
}

TEST(UnrarLib, ExportsTheEntryPoints) {
  ASSERT_TRUE(Lib().Ok());
  TRun missing{.Archive = "/nonexistent/x.rar"};
  EXPECT_EQ(missing.Go().OpenResult, ERAR_EOPEN);

  TempDir dir;
  WriteFile(dir / "plain.rar", "this is not an archive at all");
  TRun plain{.Archive = (dir / "plain.rar").string()};
  EXPECT_EQ(plain.Go().OpenResult, ERAR_BAD_ARCHIVE);
}

// Every single-volume fixture extracts as bsdtar extracts it; links are
// reported with their targets and never made; message 1 carries exactly
// the data whose CRC the header gives.
TEST(UnrarLib, FixturesExtractLikeBsdtar) {
  ASSERT_TRUE(Lib().Ok());
  ASSERT_TRUE(vsktest::HaveTool("bsdtar"));
  for (const char* name : {"rar.rar", "rar_compress_normal.rar", "rar_binary_data.rar", "rar_sfx.exe"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    ASSERT_TRUE(Bsdtar("cat " + ShellQuote(kFixtures + name), dir / "bsdtar"));
    std::map<std::string, std::string> links;
    const auto expected = WithoutLinks(FolderTree(dir / "bsdtar"), links);
    TRun run{.Archive = kFixtures + name, .Dest = dir / "ours", .Choose = ExtractAll};
    run.Go();
    ASSERT_EQ(run.OpenResult, 0);
    EXPECT_EQ(run.EndResult, ERAR_END_ARCHIVE);
    EXPECT_EQ(FolderTree(run.Dest), expected);
    std::map<std::string, std::string> reported;
    for (const auto& e : run.Entries) {
      SCOPED_TRACE(e.H.FileName);
      EXPECT_EQ(e.Result, 0);
      EXPECT_EQ(std::string(e.H.ArcName), kFixtures + name);
      if (e.H.RedirType != RAR_REDIR_NONE) reported[e.H.FileName] = e.H.RedirName;
      if ((e.H.Flags & RHDF_DIRECTORY) == RHDF_DIRECTORY) continue;
      EXPECT_EQ(e.Size, e.H.UnpSize);
      EXPECT_EQ(e.Crc, e.H.FileCRC);
    }
    EXPECT_EQ(reported, links);
  }

  // A self-extractor with a program too small for bsdtar to look past
  // gives what the archive alone gives.
  {
    TempDir dir;
    WriteFile(dir / "small.exe", "MZ" + std::string(4094, '\0') + ReadFile(kFixtures + "rar.rar"));
    TRun plain{.Archive = kFixtures + "rar.rar", .Dest = dir / "plain", .Choose = ExtractAll};
    TRun sfx{.Archive = (dir / "small.exe").string(), .Dest = dir / "sfx", .Choose = ExtractAll};
    plain.Go();
    sfx.Go();
    EXPECT_EQ(sfx.EndResult, ERAR_END_ARCHIVE);
    EXPECT_EQ(sfx.Entries.size(), 5u);
    EXPECT_EQ(FolderTree(sfx.Dest), FolderTree(plain.Dest));
  }

  // A comment in a service block before the first file (RAR 3.x).
  {
    TempDir dir;
    const std::string text = "the comment";
    const std::string body = Le32(text.size()) + Le32(text.size()) + "\x03" + Le32(Crc(text)) + Le32(0) + "\x1D\x30" +
                             vsktest::Le16(3) + Le32(0) + "CMT";
    const std::string head = std::string(1, static_cast<char>(kRarBlockService)) + vsktest::Le16(kRarFlagLongBlock) +
                             vsktest::Le16(static_cast<unsigned>(kRarHeadSize + body.size())) + body;
    const std::string bytes = ReadFile(kFixtures + "rar.rar");
    const std::string block =
        vsktest::Le16(RarHeaderCrc(reinterpret_cast<const Byte*>(head.data()), head.size())) + head + text;
    WriteFile(dir / "comment.rar", bytes.substr(0, 20) + block + bytes.substr(20));
    const std::string name = (dir / "comment.rar").string();
    unsigned state = 0;
    EXPECT_EQ(OpenComment(name, 8, state), "the com");
    EXPECT_EQ(state, 1u);
    TRun run{.Archive = name};
    EXPECT_EQ(run.Go().Entries.size(), 5u);
    EXPECT_EQ(run.EndResult, ERAR_END_ARCHIVE);
  }

  // The stored fields of rar.rar, and a link refused for extraction.
  TempDir dir;
  TRun run{
      .Archive = kFixtures + "rar.rar", .Dest = dir.path(), .Choose = [](const RARHeaderData&) { return RAR_EXTRACT; }};
  run.Go();
  ASSERT_EQ(run.Entries.size(), 5u);
  const auto& file = run.Find("test.txt");
  EXPECT_EQ(file.H.FileCRC, 0xBEC8A242u);
  EXPECT_EQ(file.H.HostOS, 3u);
  EXPECT_EQ(file.H.FileAttr, 0x81A4u);
  EXPECT_EQ(file.H.UnpVer, 20u);
  EXPECT_EQ(file.H.Method, 0x30u);
  EXPECT_EQ(file.H.PackSize, 20u);
  EXPECT_EQ(file.H.FileTime >> 25, 2011u - 1980u);
  const auto& link = run.Find("testlink");
  EXPECT_EQ(link.H.RedirType, static_cast<unsigned>(RAR_REDIR_UNIXSYMLINK));
  EXPECT_EQ(link.H.FileAttr & 0xF000, 0xA000u);
  EXPECT_EQ(link.Result, ERAR_ECREATE);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "testlink")));
  EXPECT_EQ(run.Find("testdir/test.txt").Result, 0);
  const auto& folder = run.Find("testemptydir");
  EXPECT_EQ(folder.H.Flags & RHDF_DIRECTORY, static_cast<unsigned>(RHDF_DIRECTORY));
  EXPECT_EQ(folder.Result, 0);
  EXPECT_TRUE(fs::is_directory(dir / "testemptydir"));
}

// The four volumes through message 0: the library proposes each next name,
// the caller may rename or decline. The entries agree with bsdtar reading
// the volumes one after another.
TEST(UnrarLib, VolumeSetThroughTheCallback) {
  ASSERT_TRUE(Lib().Ok());
  ASSERT_TRUE(vsktest::HaveTool("bsdtar"));
  const std::string base = kFixtures + "rar_multivolume.part000";
  std::string volumes = "cat";
  for (int i = 1; i <= 4; ++i) volumes += " " + ShellQuote(base + std::to_string(i) + ".rar");
  const std::string big = "ppmd_lzss_conversion_test.txt";
  TempDir dir;
  // bsdtar stops at a file it finds damaged: the big file on its own.
  EXPECT_TRUE(Bsdtar(volumes, dir / "rest", "--exclude " + big));
  std::map<std::string, std::string> links;
  const auto rest = WithoutLinks(FolderTree(dir / "rest"), links);
  EXPECT_EQ(links.size(), 1u);
  // The big file's CRC as bsdtar decodes it, without keeping its 240 MB.
  uLong bigCrc = crc32(0, nullptr, 0);
  UInt64 bigSize = 0;
  FILE* pipe = popen((volumes + " | bsdtar -xOf - " + big + " 2>/dev/null").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::vector<char> block(1 << 20);
  for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), pipe)) > 0; bigSize += n)
    bigCrc = crc32(bigCrc, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(n));
  const bool bigClean = pclose(pipe) == 0;
  EXPECT_EQ(bigSize, 241647978u);

  // The big file is tested, the others extracted.
  TRun run{.Archive = base + "1.rar", .Dest = dir / "ours", .Choose = [&](const RARHeaderData& H) {
             return H.FileName == big ? RAR_TEST : ExtractAll(H);
           }};
  run.Go();
  ASSERT_EQ(run.OpenResult, 0);
  EXPECT_EQ(run.EndResult, ERAR_END_ARCHIVE);
  const std::vector<std::string> proposed = {base + "2.rar", base + "3.rar", base + "4.rar"};
  EXPECT_EQ(run.Proposed, proposed);
  ASSERT_EQ(run.Entries.size(), 7u);
  // The big file is checked against the CRC of its last part: where
  // bsdtar finds it damaged, it fails.
  const auto& first = run.Entries[0];
  EXPECT_EQ(first.H.FileName, big);
  EXPECT_EQ(first.H.Flags & (RHDF_SPLITBEFORE | RHDF_SPLITAFTER), static_cast<unsigned>(RHDF_SPLITAFTER));
  EXPECT_EQ(first.H.UnpSize, 241647978u);
  EXPECT_EQ(first.Size, 241647978u);
  EXPECT_EQ(first.Crc, bigCrc);
  EXPECT_EQ(first.Result, bigClean ? ERAR_SUCCESS : ERAR_BAD_DATA);
  const auto& html = run.Entries[1];
  EXPECT_EQ(std::string(html.H.ArcName), base + "3.rar");
  EXPECT_EQ(html.H.Flags & RHDF_SPLITAFTER, static_cast<unsigned>(RHDF_SPLITAFTER));
  EXPECT_EQ(html.Result, 0);
  EXPECT_EQ(FolderTree(run.Dest), rest);

  // Volumes under other names: the caller writes the name to open.
  TempDir renamed;
  for (int i = 1; i <= 4; ++i)
    fs::create_symlink(base + std::to_string(i) + ".rar", renamed / ("vol" + std::to_string(i)));
  int next = 2;
  TRun other{.Archive = (renamed / "vol1").string(), .OnVolume = [&](char* Name, std::size_t Size) {
               std::snprintf(Name, Size, "%s/vol%d", renamed.str().c_str(), next++);
               return 0;
             }};
  other.Choose = [](const RARHeaderData& H) {
    return H.FileName == std::string("LibarchiveAddingTest.html") ? RAR_TEST : RAR_SKIP;
  };
  other.Go();
  EXPECT_EQ(other.Proposed.front(), (renamed / "vol1.r00").string());
  ASSERT_EQ(other.Entries.size(), 7u);
  EXPECT_EQ(other.EndResult, ERAR_END_ARCHIVE);
  EXPECT_EQ(other.Entries[1].Result, 0);
  EXPECT_EQ(other.Entries[1].Crc, Crc(ReadFile(dir / "rest" / "LibarchiveAddingTest.html")));

  // Declined: the entry and the run stop, nothing is left behind.
  TempDir declined;
  TRun stop{
      .Archive = base + "1.rar", .Dest = declined.path(), .Choose = ExtractAll, .OnVolume = [](char*, std::size_t) {
        return -1;
      }};
  stop.Go();
  ASSERT_EQ(stop.Entries.size(), 1u);
  EXPECT_EQ(stop.Entries[0].Result, ERAR_VOLUME_BROKEN);
  EXPECT_EQ(stop.EndResult, ERAR_VOLUME_BROKEN);
  EXPECT_TRUE(fs::is_empty(declined.path()));
  // A next volume that is not there breaks the chain the same way.
  TRun lost{.Archive = base + "1.rar", .OnVolume = [](char* Name, std::size_t Size) {
              std::snprintf(Name, Size, "/nonexistent/part2.rar");
              return 0;
            }};
  EXPECT_EQ(lost.Go().Entries.at(0).Result, ERAR_VOLUME_BROKEN);
}

// Encrypted data asks for the password and then fails: the library cannot
// decrypt. Nothing is written. Encrypted headers do not open.
TEST(UnrarLib, EncryptedEntriesAndHeaders) {
  ASSERT_TRUE(Lib().Ok());
  TempDir dir;
  TRun run{.Archive = kFixtures + "rar_encryption_data.rar", .Dest = dir.path(), .Choose = [](const RARHeaderData& H) {
             return H.FileName == std::string("foo.txt") ? RAR_EXTRACT : RAR_TEST;
           }};
  run.Go();
  ASSERT_EQ(run.Entries.size(), 2u);
  EXPECT_EQ(run.EndResult, ERAR_END_ARCHIVE);
  EXPECT_EQ(run.PasswordAsks, 2);
  for (const auto& e : run.Entries) {
    EXPECT_EQ(e.H.Flags & RHDF_ENCRYPTED, static_cast<unsigned>(RHDF_ENCRYPTED));
    EXPECT_EQ(e.Result, ERAR_BAD_PASSWORD);
    EXPECT_EQ(e.Size, 0u);
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
  TRun refused{.Archive = kFixtures + "rar_encryption_data.rar", .PasswordAnswer = -1};
  EXPECT_EQ(refused.Go().Entries.at(0).Result, ERAR_VOLUME_BROKEN);

  // rar.rar with the main header's encrypted-headers flag (and its CRC).
  std::string bytes = ReadFile(kFixtures + "rar.rar");
  bytes[7 + 3] = static_cast<char>(bytes[7 + 3] | 0x80);
  const UInt16 crc = RarHeaderCrc(reinterpret_cast<const Byte*>(bytes.data()) + 9, 11);
  bytes[7] = static_cast<char>(crc & 0xFF);
  bytes[8] = static_cast<char>(crc >> 8);
  WriteFile(dir / "hidden.rar", bytes);
  TRun hidden{.Archive = (dir / "hidden.rar").string()};
  EXPECT_EQ(hidden.Go().OpenResult, ERAR_BAD_ARCHIVE);
}

// A callback stop, a CRC failure and unsafe destinations: each fails its
// entry alone and leaves no output behind.
TEST(UnrarLib, FailuresLeaveNothingBehind) {
  ASSERT_TRUE(Lib().Ok());
  TempDir dir;
  TRun cancel{.Archive = kFixtures + "rar_binary_data.rar",
              .Dest = dir / "cancel",
              .Choose = ExtractAll,
              .StopAfterBytes = 100000};
  cancel.Go();
  ASSERT_GE(cancel.Entries.size(), 1u);
  EXPECT_EQ(cancel.Entries[0].Result, ERAR_VOLUME_BROKEN);
  EXPECT_LT(cancel.Entries[0].Size, 1048576u);
  EXPECT_FALSE(fs::exists(cancel.Dest / "random_data.bin"));

  // One byte of test.txt's stored data changed: that entry fails its CRC,
  // the next ones are read as before.
  std::string bytes = ReadFile(kFixtures + "rar.rar");
  const auto at = bytes.find("test text document");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'T';
  WriteFile(dir / "bad.rar", bytes);
  TRun bad{.Archive = (dir / "bad.rar").string(), .Dest = dir / "bad", .Choose = ExtractAll};
  bad.Go();
  ASSERT_EQ(bad.Entries.size(), 5u);
  EXPECT_EQ(bad.Entries[0].Result, ERAR_BAD_DATA);
  EXPECT_NE(bad.Entries[0].Crc, bad.Entries[0].H.FileCRC);
  EXPECT_FALSE(fs::exists(bad.Dest / "test.txt"));
  EXPECT_EQ(bad.Find("testdir/test.txt").Result, 0);

  // Every cut of the archive ends with a code of the list, whatever it is.
  auto listed = [](int Code) { return Code == 0 || (Code >= 10 && Code <= 19) || Code == 21 || Code == 22; };
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    WriteFile(dir / "cut.rar", bytes.substr(0, cut));
    TRun run{.Archive = (dir / "cut.rar").string()};
    run.Go();
    EXPECT_TRUE(listed(run.OpenResult)) << cut;
    if (run.OpenResult == 0) {
      EXPECT_TRUE(listed(run.EndResult) && run.EndResult != 0) << cut;
    }
    for (const auto& e : run.Entries) EXPECT_TRUE(listed(e.Result)) << cut;
    // Cut inside the first entry's head or data: the archive ends early.
    if (cut >= 20 && cut < 90) {
      EXPECT_EQ(run.Entries.empty() ? run.EndResult : run.Entries[0].Result, ERAR_EREAD) << cut;
    }
  }

  // The output is never a link, a folder the caller did not make, or the
  // archive itself.
  fs::create_directories(dir / "out");
  WriteFile(dir / "outside.txt", "keep");
  fs::create_symlink(dir / "outside.txt", dir / "out" / "test.txt");
  const std::string archive = (dir / "bad.rar").string();
  const std::vector<std::string> names = {(dir / "out" / "test.txt").string(), (dir / "none" / "x").string(), archive};
  for (const std::string& target : names) {
    SCOPED_TRACE(target);
    RAROpenArchiveData o{};
    o.ArcName = archive.c_str();
    o.OpenMode = RAR_OM_EXTRACT;
    RARHANDLE h = Lib().OpenArchive(&o);
    ASSERT_NE(h, nullptr);
    RARHeaderData hd{};
    ASSERT_EQ(Lib().ReadHeader(h, &hd), 0);
    EXPECT_EQ(Lib().ProcessFile(h, RAR_EXTRACT, nullptr, target.c_str()), ERAR_ECREATE);
    Lib().CloseArchive(h);
  }
  EXPECT_EQ(ReadFile(dir / "outside.txt"), "keep");
  EXPECT_FALSE(fs::exists(dir / "none"));
  EXPECT_EQ(ReadFile(archive), bytes);

  // A file at the name, hard-linked to one elsewhere: a sound entry takes
  // the name and leaves the other file as it was; a cancelled or damaged
  // one leaves the name as it stood.
  const auto planted = [&](const fs::path& Dest, const std::string& Name) {
    fs::create_directories(Dest);
    WriteFile(dir / ("linked-" + Name), "old");
    fs::create_hard_link(dir / ("linked-" + Name), Dest / Name);
  };
  planted(dir / "good", "test.txt");
  TRun good{.Archive = kFixtures + "rar.rar", .Dest = dir / "good", .Choose = ExtractAll};
  good.Go();
  EXPECT_EQ(good.Find("test.txt").Result, 0);
  EXPECT_EQ(ReadFile(dir / "good/test.txt"), good.Find("test.txt").Data);
  EXPECT_EQ(ReadFile(dir / "linked-test.txt"), "old");
  planted(dir / "cancel2", "random_data.bin");
  TRun cancelled{.Archive = kFixtures + "rar_binary_data.rar",
                 .Dest = dir / "cancel2",
                 .Choose = ExtractAll,
                 .StopAfterBytes = 100000};
  cancelled.Go();
  EXPECT_EQ(cancelled.Entries.at(0).Result, ERAR_VOLUME_BROKEN);
  EXPECT_EQ(ReadFile(dir / "cancel2/random_data.bin"), "old");
  EXPECT_EQ(ReadFile(dir / "linked-random_data.bin"), "old");
  fs::remove(dir / "linked-test.txt");
  planted(dir / "bad2", "test.txt");
  TRun damaged{.Archive = archive, .Dest = dir / "bad2", .Choose = ExtractAll};
  damaged.Go();
  EXPECT_EQ(damaged.Entries.at(0).Result, ERAR_BAD_DATA);
  EXPECT_EQ(ReadFile(dir / "bad2/test.txt"), "old");
  EXPECT_EQ(ReadFile(dir / "linked-test.txt"), "old");
  // Nothing staged is left beside it.
  for (const auto& e : fs::recursive_directory_iterator(dir / "bad2"))
    EXPECT_NE(e.path().filename().string().rfind(".vsk-", 0), 0u) << e.path();

  // A file of the caller's without a name is written in place.
  const int unnamed = ::open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600);
  ASSERT_GE(unnamed, 0);
  const std::string through = "/proc/self/fd/" + std::to_string(unnamed);
  const std::string plain = kFixtures + "rar.rar";
  RAROpenArchiveData o{};
  o.ArcName = plain.c_str();
  o.OpenMode = RAR_OM_EXTRACT;
  RARHANDLE h = Lib().OpenArchive(&o);
  ASSERT_NE(h, nullptr);
  RARHeaderData hd{};
  ASSERT_EQ(Lib().ReadHeader(h, &hd), 0);
  EXPECT_EQ(Lib().ProcessFile(h, RAR_EXTRACT, nullptr, through.c_str()), 0);
  Lib().CloseArchive(h);
  EXPECT_EQ(lseek(unnamed, 0, SEEK_END), static_cast<off_t>(hd.UnpSize));
  ::close(unnamed);
}

// RAR5, built here with stored entries: a comment, a file with a Unicode
// name, a folder, a symbolic link, and a file split over two volumes.
TEST(UnrarLib, Rar5ArchivesAndVolumes) {
  ASSERT_TRUE(Lib().Ok());
  TempDir dir;
  const std::string text = vsktest::TextBytes(5000, 3);
  const std::string link = Rar5VInt(5) + Rar5VInt(1) + Rar5VInt(0) + Rar5VInt(8) + "note.txt";
  const std::string one = kRar5Marker + Rar5Main(0) + Rar5File(3, "CMT", "archive comment") +
                          Rar5File(2, "note.txt", text) + Rar5File(2, "dir", "", 0x01, 0x41ED) +
                          Rar5File(2, "dir/\xC3\xA9t\xC3\xA9.txt", "summer") +
                          Rar5File(2, "shortcut", "", 0, 0xA1FF, Rar5VInt(link.size()) + link) + Rar5End(false);
  WriteFile(dir / "one.rar", one);

  const std::string name = (dir / "one.rar").string();
  unsigned state = 0;
  EXPECT_EQ(OpenComment(name, 64, state), "archive comment");
  EXPECT_EQ(state, 1u);

  TRun run{.Archive = name, .Dest = dir / "out", .Choose = ExtractAll};
  run.Go();
  EXPECT_EQ(run.EndResult, ERAR_END_ARCHIVE);
  ASSERT_EQ(run.Entries.size(), 4u);
  const auto& note = run.Find("note.txt");
  EXPECT_EQ(note.Result, 0);
  EXPECT_EQ(note.H.HostOS, 3u);
  EXPECT_EQ(note.H.UnpVer, 50u);
  EXPECT_EQ(note.H.Method, 0x30u);
  EXPECT_EQ(note.H.FileCRC, Crc(text));
  EXPECT_EQ(note.H.FileTime >> 25, 2023u - 1980u);
  EXPECT_EQ(ReadFile(run.Dest / "note.txt"), text);
  EXPECT_EQ(run.Find("dir").H.Flags & RHDF_DIRECTORY, static_cast<unsigned>(RHDF_DIRECTORY));
  EXPECT_EQ(ReadFile(run.Dest / "dir" / "\xC3\xA9t\xC3\xA9.txt"), "summer");
  const auto& shortcut = run.Find("shortcut");
  EXPECT_EQ(shortcut.H.RedirType, static_cast<unsigned>(RAR_REDIR_UNIXSYMLINK));
  EXPECT_EQ(std::string(shortcut.H.RedirName), "note.txt");
  EXPECT_FALSE(fs::exists(fs::symlink_status(run.Dest / "shortcut")));

  // Two volumes; the split file stores its whole CRC with its last part.
  const std::string a = text.substr(0, 3000), b = text.substr(3000);
  WriteFile(dir / "set.part1.rar", kRar5Marker + Rar5Main(1) +
                                       Rar5File(2, "split.txt", a, 0, 0x81A4, {}, 0x10, text.size(), Crc(a)) +
                                       Rar5End(true));
  WriteFile(dir / "set.part2.rar", kRar5Marker + Rar5Main(3, 1) +
                                       Rar5File(2, "split.txt", b, 0, 0x81A4, {}, 0x08, text.size(), Crc(text)) +
                                       Rar5File(2, "after.txt", "after") + Rar5End(false));
  TRun set{.Archive = (dir / "set.part1.rar").string()};
  set.Go();
  EXPECT_EQ(set.Proposed, std::vector<std::string>{(dir / "set.part2.rar").string()});
  ASSERT_EQ(set.Entries.size(), 2u);
  EXPECT_EQ(set.Entries[0].Result, 0);
  EXPECT_EQ(set.Entries[0].Data, text);
  EXPECT_EQ(set.Entries[1].Data, "after");
  EXPECT_EQ(set.EndResult, ERAR_END_ARCHIVE);
}

}  // namespace
}  // namespace vsk
