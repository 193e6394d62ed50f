// Self-extractors made from archives our writers and Debian's archivers
// write: each stub extracts byte for byte, tests, lists and fails on
// damage; the library lists, tests and extracts the result; a ZIP
// self-extractor is itself a valid zip; hostile names stay in the folder;
// the builder never leaves a half-made program or loses an existing one.

#include "archive/tools/makesfx.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <zlib.h>

#include <cctype>
#include <tuple>

#include "archive/formats/arj/unarj.h"
#include "archive/formats/lha/bhwriter.h"
#include "archive/formats/lha/lhawriter.h"
#include "archive/tools/readers.h"
#include "archive/tools/zipcheck.h"
#include "archive/tools/ziprun.h"
#include "platform/dynlib.h"
#include "tests/archive/formats/zip/zipbuilder.h"
#include "tests/archive/formats/zip/zipwrite_support.h"
#include "tests/libs/ace/aceencoder.h"
#include "tests/support/listing.h"

namespace vsktest {
namespace {

using vsk::TArcType;
using vsk::TMakeSFX;

Tree SfxTree() {
  return {{"readme.txt", TextBytes(20000, 3)},
          {"data.bin", RandomBytes(70000, 4)},
          {"empty.dat", ""},
          {"docs/deep/nested.txt", TextBytes(3000, 6)}};
}

bool IsExecutable(const fs::path& P) {
  struct stat st;
  return ::stat(P.c_str(), &st) == 0 && (st.st_mode & 0111) == 0111;
}

class MakeSfxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeTree(dir / "src", tree);
    stubs = vsk::ProgramDataDir();
    ASSERT_FALSE(stubs.empty()) << "the build's data folder with the stubs is missing";
  }

  // A builder over the build's stubs whose errors are kept.
  void Prepare(TMakeSFX& M) {
    M.SetSfxStubDir(stubs);
    M.OnError = [this](vsk::TZipCommon&, const std::string& F, const std::string&, const std::string&, int C) {
      errors.push_back(C);
      errorFiles.push_back(F);
    };
  }

  // Makes Archive's self-extractor as Target, by default beside it
  // ("x.zip" -> "x.exe").
  fs::path Make(const fs::path& Archive, const fs::path& Target = {}) {
    TMakeSFX m;
    Prepare(m);
    m.SetTargetFile(Target.string());
    m.SetArchiveFile(Archive.string());
    EXPECT_TRUE(m.Activate()) << Archive;
    return m.TargetFile();
  }

  // Archive written in the source folder by a Debian archiver.
  fs::path Pack(const std::string& Name, std::string Command) {
    const fs::path out = dir / Name;
    Command.replace(Command.find("{out}"), 5, ShellQuote(out.string()));
    const auto r = RunTool(Command, dir / "src");
    EXPECT_EQ(r.exitCode, 0) << Command << "\n" << r.output;
    return out;
  }

  template <class W>
  fs::path Write(const std::string& Name, const std::string& Password = {}) {
    const fs::path out = dir / Name;
    Writer<W> w(out);
    w.z.Password = Password;
    EXPECT_EQ(w.Add({(dir / "src/*").string()}), static_cast<int>(tree.size())) << Name;
    EXPECT_TRUE(w.errors.empty()) << Name;
    return out;
  }

  // Runs Program with Args in Folder (made when missing), Input on its
  // standard input.
  ToolResult Run(const fs::path& Program, const std::string& Args, const fs::path& Folder,
                 const std::string& Input = {}) {
    fs::create_directories(Folder);
    return RunTool("printf %s " + ShellQuote(Input) + " | " + ShellQuote(Program.string()) + " " + Args, Folder);
  }

  fs::path Fresh(const std::string& Name) { return dir / ("out-" + Name + "-" + std::to_string(++runs)); }

  // The library's lister takes Sfx as Type with every entry of Expected,
  // and the reader of that type extracts Expected.
  void ExpectLibraryReads(const fs::path& Sfx, TArcType Type, const Tree& Expected) {
    const auto listed = ListArchive(Sfx.string());
    EXPECT_TRUE(listed.ok);
    EXPECT_EQ(listed.type, Type);
    for (const auto& [entry, data] : Expected) EXPECT_NE(listed.Find(entry), nullptr) << entry;
    auto reader = vsk::MakeReader(Type);
    ASSERT_TRUE(reader);
    reader->SetArchiveFile(Sfx.string());
    reader->FileSpec = {"*.*"};
    reader->CreateStoredDirs = true;
    const fs::path lib = Fresh("lib");
    reader->SetExtractDir(lib.string());
    reader->Extract();
    EXPECT_TRUE(SameTree(ReadTree(lib), Expected));
  }

  // Sfx with bytes in the middle of its archive (the last ArchiveSize
  // bytes) damaged: testing and extracting fail by the exit status.
  void ExpectDamageFails(const fs::path& Sfx, std::size_t ArchiveSize) {
    std::string bytes = ReadFile(Sfx);
    const std::size_t at = bytes.size() - ArchiveSize + ArchiveSize / 2;
    for (std::size_t i = 0; i < 16; ++i) bytes[at + i] = static_cast<char>(~bytes[at + i]);
    const fs::path bad = Sfx.parent_path() / ("bad-" + Sfx.filename().string());
    WriteFile(bad, bytes);
    fs::permissions(bad, fs::perms::owner_all);
    EXPECT_NE(Run(bad, "-t", Fresh("bad")).exitCode, 0);
    EXPECT_NE(Run(bad, "", Fresh("bad")).exitCode, 0);
  }

  TempDir dir;
  Tree tree = SfxTree();
  std::string stubs;
  std::vector<int> errors;
  std::vector<std::string> errorFiles;
  int runs = 0;
};

TEST_F(MakeSfxTest, EveryStubExtractsTestsAndListsWhatEveryWriterWrote) {
  ASSERT_TRUE(HaveTool("zip") && HaveTool("jlha") && HaveTool("arj")) << "zip, jlha-utils and arj are needed";
  struct TCase {
    fs::path archive;
    TArcType exeType;
  };
  const std::vector<TCase> cases = {
      {Write<vsk::TZip>("our-zip.zip"), vsk::atZipExe},
      {Write<vsk::TJar>("our-jar.jar"), vsk::atZipExe},
      {Write<vsk::TLha>("our-lha.lzh"), vsk::atLhaExe},
      {Write<vsk::TBlakHole>("our-bh.bh"), vsk::atBhExe},
      {Pack("zip.zip", "zip -q -r -X {out} ."), vsk::atZipExe},
      {Pack("jlha.lzh", "jlha a {out} readme.txt data.bin empty.dat docs > /dev/null"), vsk::atLhaExe},
      {Pack("arj.arj", "arj a -r -y {out} > /dev/null"), vsk::atArjExe},
  };
  for (const auto& c : cases) {
    const std::string name = c.archive.filename().string();
    SCOPED_TRACE(name);
    const fs::path sfx = Make(c.archive);
    ASSERT_TRUE(fs::exists(sfx));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(IsExecutable(sfx));

    // The stub: extraction byte for byte, a test, a list.
    const fs::path out = Fresh(name);
    auto r = Run(sfx, "", out);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(SameTree(ReadTree(out), tree));
    r = Run(sfx, "-t", Fresh(name));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    r = Run(sfx, "-l", Fresh(name));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("docs/deep/nested.txt"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("70000"), std::string::npos) << r.output;
    EXPECT_EQ(Run(sfx, "-x", Fresh(name)).exitCode, 2);

    // The library: the lister, the tester and the reader of the type.
    ExpectLibraryReads(sfx, c.exeType, tree);
    vsk::TZipCheck check;
    check.SetArchiveFile(sfx.string());
    check.FileSpec = {"*.*"};
    int failed = 0;
    check.OnStatus = [&](vsk::TZipCommon&, const std::string&, bool Pass) { failed += Pass ? 0 : 1; };
    EXPECT_EQ(check.Activate(), static_cast<int>(tree.size()));
    EXPECT_EQ(failed, 0);
    ExpectDamageFails(sfx, fs::file_size(c.archive));
  }
}

// The ACE and RAR stubs carry their library: alone in a folder, with no
// library folder to load from, each extracts byte for byte, tests and
// lists; damage and names leaving the folder make it fail. The library's
// readers take the self-extractors as they take the archives.
TEST_F(MakeSfxTest, AceAndRarStubsRunWithoutTheLibraries) {
  ASSERT_TRUE(HaveTool("bsdtar") && HaveTool("unace")) << "libarchive-tools and unace are needed";
  const std::string fixtures = std::string(BREVANE_FIXTURES_DIR) + "/rar/";
  const auto bsdtarTree = [&](const std::string& Archive) {
    const fs::path out = Fresh("bsdtar");
    fs::create_directories(out);
    EXPECT_EQ(RunTool("bsdtar -xf " + ShellQuote(Archive) + " -C " + ShellQuote(out.string())).exitCode, 0);
    return ReadTree(out);
  };
  std::vector<vsktest::AceEntry> aceEntries;
  for (const auto& [name, data] : tree) aceEntries.push_back({.name = name, .data = data});
  const fs::path ace = dir / "solid.ace";
  WriteAce(ace.string(), aceEntries, {.solid = true});
  EXPECT_TRUE(SameTree(ReadTree([&] {
                         const fs::path out = Fresh("unace");
                         fs::create_directories(out);
                         EXPECT_EQ(RunTool("unace x -y " + ShellQuote(ace.string()) + " </dev/null", out).exitCode, 0);
                         return out;
                       }()),
                       tree));

  // A RAR entry named to climb out of the folder (its header CRC made
  // good again), beside a plain one.
  std::string rar = ReadFile(fixtures + "rar_binary_data.rar");
  const auto at = rar.find("random_data.bin");
  ASSERT_NE(at, std::string::npos);
  rar.replace(at, 15, "../dom_data.bin");
  const std::size_t head = at - 32;
  ASSERT_EQ(static_cast<unsigned char>(rar[head + 2]), 0x74u) << "a file header without high sizes";
  const std::size_t headSize = static_cast<unsigned char>(rar[head + 5]) | static_cast<unsigned char>(rar[head + 6]) << 8;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(rar.data() + head + 2), static_cast<uInt>(headSize - 2));
  rar[head] = static_cast<char>(crc & 0xFF);
  rar[head + 1] = static_cast<char>((crc >> 8) & 0xFF);
  const fs::path climbing = dir / "climbing.rar";
  WriteFile(climbing, rar);
  const fs::path hostileAce = dir / "climbing.ace";
  WriteAce(hostileAce.string(), {{.name = "../evil.txt", .data = "evil"}, {.name = "ok.txt", .data = "ok"}});

  struct TCase {
    fs::path archive;
    TArcType exeType;
    Tree expected;
  };
  const std::vector<TCase> cases = {
      {ace, vsk::atAceExe, tree},
      {fixtures + "rar_binary_data.rar", vsk::atRarExe, bsdtarTree(fixtures + "rar_binary_data.rar")},
  };
  const fs::path alone = dir / "alone";
  const fs::path noLibraries = dir / "no-libraries";
  fs::create_directories(alone);
  fs::create_directories(noLibraries);
  const auto makeAlone = [&](const fs::path& Archive) {
    const fs::path sfx = alone / (Archive.filename().string() + ".exe");
    Make(Archive, sfx);
    return sfx;
  };
  for (const auto& c : cases) {
    const std::string name = c.archive.filename().string();
    SCOPED_TRACE(name);
    const fs::path sfx = makeAlone(c.archive);
    ASSERT_TRUE(IsExecutable(sfx));
    EXPECT_TRUE(errors.empty());
    {
      vsktest::ScopedEnv none("BREVANE_LIBRARY_DIR", noLibraries.string());
      const fs::path out = Fresh(name);
      auto r = Run(sfx, "", out);
      EXPECT_EQ(r.exitCode, 0) << r.output;
      EXPECT_TRUE(SameTree(ReadTree(out), c.expected));
      // An existing file: kept with -n, replaced with -o.
      const auto& [first, data] = *c.expected.begin();
      for (const bool replace : {false, true}) {
        WriteFile(out / first, "changed");
        r = Run(sfx, replace ? "-o" : "-n", out);
        // Every file stands there already: with -n nothing is extracted.
        EXPECT_EQ(r.exitCode, replace ? 0 : 1) << r.output;
        EXPECT_EQ(ReadFile(out / first) == data, replace) << first;
      }
      r = Run(sfx, "-t", Fresh(name));
      EXPECT_EQ(r.exitCode, 0) << r.output;
      r = Run(sfx, "-l", Fresh(name));
      EXPECT_EQ(r.exitCode, 0) << r.output;
      for (const auto& [entry, data] : c.expected) EXPECT_NE(r.output.find(entry), std::string::npos) << entry;
      ExpectDamageFails(sfx, fs::file_size(c.archive));
    }
    ExpectLibraryReads(sfx, c.exeType, c.expected);
  }

  // Names that would leave the folder are refused and said; the rest
  // comes out.
  vsktest::ScopedEnv none("BREVANE_LIBRARY_DIR", noLibraries.string());
  for (const auto& [archive, kept] : {std::pair{hostileAce, std::string("ok.txt")},
                                      std::pair{climbing, std::string("LibarchiveAddingTest.odt")}}) {
    SCOPED_TRACE(archive.filename().string());
    const fs::path sfx = makeAlone(archive);
    const fs::path dest = dir / "deep" / archive.filename() / "dest";
    const auto r = Run(sfx, "-d " + ShellQuote(dest.string()), Fresh("elsewhere"));
    EXPECT_NE(r.exitCode, 0) << r.output;
    EXPECT_EQ(ReadTree(dir / "deep" / archive.filename()).size(), 1u);
    EXPECT_TRUE(fs::exists(dest / kept));
  }
}

TEST_F(MakeSfxTest, ZipSelfExtractorIsAValidZip) {
  for (const bool encHeaders : {false, true}) {
    SCOPED_TRACE(encHeaders);
    const fs::path zip = dir / (encHeaders ? "enc.zip" : "plain.zip");
    {
      Writer<vsk::TZip> w(zip);
      w.z.EncryptHeaders = encHeaders;
      ASSERT_EQ(w.Add({(dir / "src/*").string()}), static_cast<int>(tree.size()));
    }
    const fs::path sfx = Make(zip);
    const std::string stub = ReadFile(fs::path(stubs) / "vsk_Zip.SFX");
    const std::string made = ReadFile(sfx), original = ReadFile(zip);
    ASSERT_EQ(made, stub + made.substr(stub.size()));
    ASSERT_EQ(made.size(), stub.size() + original.size());
    if (!encHeaders) {
      // Only the directory's offsets moved, each by the stub's size.
      const ZipLayout before = ParseZip(original), after = ParseZip(made);
      ASSERT_TRUE(before.ok && after.ok);
      EXPECT_EQ(after.end.CentralDirOffset, before.end.CentralDirOffset + stub.size());
      ASSERT_EQ(after.records.size(), before.records.size());
      for (std::size_t i = 0; i < before.records.size(); ++i) {
        EXPECT_EQ(after.records[i].c.LocalHeaderOffset, before.records[i].c.LocalHeaderOffset + stub.size());
        EXPECT_EQ(after.records[i].c.Crc32, before.records[i].c.Crc32);
        EXPECT_EQ(after.records[i].l, before.records[i].l);
      }
      ExpectToolsAccept(sfx);
      const auto r = RunTool(Tool("unzip -t " + ShellQuote(sfx.string())));
      EXPECT_EQ(r.output.find("extra bytes"), std::string::npos) << r.output;
    }
    // Enciphered records stay enciphered and readable.
    EXPECT_TRUE(SameTree(LibraryTree(sfx, Fresh("lib")), tree));
    const auto r = Run(sfx, "-t", Fresh("t"));
    EXPECT_EQ(r.exitCode, 0) << r.output;
  }

  // Self-extractors other tools make, adjusted or not, are listed and read.
  ASSERT_TRUE(HaveTool("unzipsfx")) << "unzipsfx is needed (Debian package unzip)";
  const fs::path zip = Pack("other.zip", "zip -q -r -X {out} .");
  const fs::path plain = dir / "other.exe", adjusted = dir / "adjusted.exe";
  std::string unzipsfx = RunTool("command -v unzipsfx").output;
  while (!unzipsfx.empty() && std::isspace(static_cast<unsigned char>(unzipsfx.back()))) unzipsfx.pop_back();
  WriteFile(plain, ReadFile(unzipsfx) + ReadFile(zip));
  fs::copy_file(plain, adjusted);
  EXPECT_EQ(RunTool("zip -q -A " + ShellQuote(adjusted.string())).exitCode, 0);
  for (const auto& sfx : {plain, adjusted}) {
    SCOPED_TRACE(sfx.filename().string());
    const auto listed = ListArchive(sfx.string());
    EXPECT_EQ(listed.type, vsk::atZipExe);
    for (const auto& [entry, data] : tree) EXPECT_NE(listed.Find(entry), nullptr) << entry;
    EXPECT_TRUE(SameTree(LibraryTree(sfx, Fresh("other")), tree));
  }

  // A program whose section table lies beyond the file is read as any
  // file: the zip behind it is still found. A cut program has nothing.
  std::string bytes = ReadFile(plain);
  for (int i = 0; i < 8; ++i) bytes[40 + i] = '\x7F';
  const fs::path odd = dir / "odd.exe";
  WriteFile(odd, bytes);
  EXPECT_EQ(ListArchive(odd.string()).type, vsk::atZip);
  EXPECT_TRUE(SameTree(LibraryTree(odd, Fresh("odd")), tree));
  WriteFile(odd, bytes.substr(0, 5000));
  EXPECT_FALSE(vsk::IsValidArcType(ListArchive(odd.string()).type));
}

TEST_F(MakeSfxTest, QuestionsPasswordsAndHostileNames) {
  // A password asked on the terminal; a wrong one fails.
  const fs::path locked = Make(Write<vsk::TZip>("pw.zip", "s3cret"));
  const fs::path opened = Fresh("pw");
  auto r = Run(locked, "", opened, "s3cret\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(SameTree(ReadTree(opened), tree));
  r = Run(locked, "", Fresh("pw"), "nope\nnope\nnope\n");
  EXPECT_NE(r.exitCode, 0) << r.output;

  // Existing files: kept with -n, "N" and when nobody answers; replaced
  // with -o, "A" and "y" for each.
  const fs::path sfx = Make(Write<vsk::TZip>("plain.zip"));
  const fs::path out = Fresh("ask");
  ASSERT_EQ(Run(sfx, "", out).exitCode, 0);
  const fs::path readme = out / "readme.txt";
  const std::string files = std::to_string(tree.size()) + " files";
  for (const auto& [args, input, replaced] : std::vector<std::tuple<std::string, std::string, bool>>{
           {"-n", "", false},
           {"", "N\n", false},
           {"", "", false},
           {"", "A\n", true},
           {"", "x\ny\ny\ny\ny\n", true},
           {"-o", "", true}}) {
    SCOPED_TRACE(args + " " + input);
    WriteFile(readme, "changed");
    r = Run(sfx, args, out, input);
    // Every file stands there already: kept, each is a skip, and nothing
    // extracted is no success.
    EXPECT_EQ(r.exitCode, replaced ? 0 : 1) << r.output;
    EXPECT_EQ(ReadFile(readme), replaced ? tree.at("readme.txt") : "changed");
    EXPECT_NE(r.output.find(replaced ? files + " extracted.\n" : "0 files extracted, " + std::to_string(tree.size()) +
                                                                     " skipped.\n"),
              std::string::npos)
        << r.output;
  }
  // Nobody to answer: the question stands before anything said after it.
  r = Run(sfx, "", out);
  const auto asked = r.output.find("replace data.bin? [y]es, [n]o, [A]ll, [N]one: \n"), told = r.output.find("files extracted");
  EXPECT_NE(asked, std::string::npos) << r.output;
  EXPECT_LT(asked, told) << r.output;
  // One file: said so in the singular.
  const fs::path one = dir / "one.zip";
  WriteFile(one, BuildZip({{"only.txt", "only"}}));
  r = Run(Make(one), "", Fresh("one"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.output.find("1 file extracted.\n"), std::string::npos) << r.output;

  // Names that would leave the folder: refused or kept inside, and said so.
  const fs::path zip = dir / "hostile.zip";
  WriteFile(zip, BuildZip({{"../evil.txt", "evil"}, {"/abs/inside.txt", "abs"}, {"ok.txt", "ok"}}));
  const fs::path hostile = Make(zip);
  const fs::path dest = dir / "deep/dest";
  r = Run(hostile, "-d " + ShellQuote(dest.string()), dir / "elsewhere");
  EXPECT_NE(r.exitCode, 0) << r.output;
  EXPECT_FALSE(fs::exists(dir / "deep/evil.txt"));
  EXPECT_EQ(ReadFile(dest / "abs/inside.txt"), "abs");
  EXPECT_EQ(ReadFile(dest / "ok.txt"), "ok");
  // A link planted in the folder is not followed.
  const fs::path linked = dir / "linked";
  fs::create_directories(dir / "outside");
  fs::create_directories(linked);
  fs::create_directory_symlink(dir / "outside", linked / "abs");
  r = Run(hostile, "-o", linked);
  EXPECT_NE(r.exitCode, 0) << r.output;
  EXPECT_TRUE(fs::is_empty(dir / "outside"));
}

TEST_F(MakeSfxTest, BuilderRules) {
  const fs::path zip = Write<vsk::TZip>("Pack.ZIP");
  TMakeSFX m;
  Prepare(m);
  EXPECT_EQ(m.SfxStubDir(), stubs + "/");
  m.SetSfxStubDir((dir / "no such folder").string());
  EXPECT_EQ(m.SfxStubDir(), vsk::GetTempPath());
  m.SetSfxStubDir(stubs);
  m.SetArchiveFile(zip.string());
  EXPECT_EQ(m.TargetFile(), (dir / "pack.exe").string());
  m.SetArchiveFile(Write<vsk::TLha>("other.lzh").string());
  EXPECT_EQ(m.TargetFile(), (dir / "pack.exe").string()) << "a target once set is kept";

  // The archive itself under another name is refused.
  m.SetArchiveFile(zip.string());
  fs::create_hard_link(zip, dir / "hard.link");
  m.SetTargetFile((dir / "hard.link").string());
  EXPECT_FALSE(m.Activate());
  EXPECT_EQ(errors, std::vector<int>{vsk::msg::SameInputOutput});

  // An existing target: without a handler it is kept and 25270 said; a
  // "No" keeps it; a "Yes" replaces it only once the program is whole.
  const fs::path target = dir / "made.exe";
  WriteFile(target, "old");
  m.SetTargetFile(target.string());
  errors.clear();
  EXPECT_FALSE(m.Activate());
  EXPECT_EQ(errors, std::vector<int>{vsk::msg::RequiredEventNotAssigned});
  std::vector<std::string> asked;
  vsk::TOverwriteMode answer = vsk::omSkip;
  m.OnFileExists = [&](vsk::TZipCommon&, const std::string& F, vsk::TDateTime, vsk::TOverwriteMode& Mode) {
    asked.push_back(F);
    Mode = answer;
  };
  EXPECT_FALSE(m.Activate());
  EXPECT_EQ(ReadFile(target), "old");
  answer = vsk::omOverwrite;
  EXPECT_TRUE(m.Activate());
  EXPECT_EQ(asked, (std::vector<std::string>{target.string(), target.string()}));
  EXPECT_TRUE(IsExecutable(target));
  EXPECT_TRUE(SameTree(LibraryTree(target, Fresh("made")), tree));

  // A directory that is not where its end record says: no program, the
  // earlier one untouched, and said.
  std::string bytes = ReadFile(zip);
  const auto central = bytes.rfind(std::string("PK\x01\x02", 4));
  bytes[central + 2] = 9;
  const fs::path broken = dir / "broken.zip";
  WriteFile(broken, bytes);
  std::vector<std::string> notices;
  m.ShowMessageHook = [&](const std::string& Text) { notices.push_back(Text); };
  const std::string before = ReadFile(target);
  m.SetArchiveFile(broken.string());
  m.SetTargetFile(target.string());
  errors.clear();
  EXPECT_FALSE(m.Activate());
  EXPECT_EQ(notices, std::vector<std::string>{"SlideZipOffset error..."});
  // A caller without the notice learns it too.
  EXPECT_EQ(errors, std::vector<int>{vsk::msg::BadFileHeader});
  EXPECT_EQ(ReadFile(target), before);
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_NE(e.path().filename().string().rfind("vsk", 0), 0u) << "scratch file left: " << e.path();

  // Types without a stub, self-extractors among them, and a missing stub.
  errors.clear();
  m.SetTargetFile((dir / "x.exe").string());
  m.SetArchiveFile(target.string());
  EXPECT_EQ(m.ArcType(), vsk::atZipExe);
  EXPECT_FALSE(m.Activate());
  ASSERT_TRUE(HaveTool("tar"));
  m.SetArchiveFile(Pack("t.tar", "tar cf {out} readme.txt").string());
  EXPECT_FALSE(m.Activate());
  EXPECT_EQ(errors, (std::vector<int>{vsk::msg::UnsupportedArcType, vsk::msg::UnsupportedArcType}));
  errors.clear();
  m.SetSfxStubDir(dir.str());
  m.SetArchiveFile(zip.string());
  EXPECT_FALSE(m.Activate());
  EXPECT_EQ(errors, std::vector<int>{vsk::msg::FileNotFound});
  EXPECT_EQ(errorFiles.back(), (dir / "vsk_Zip.SFX").string());
  EXPECT_FALSE(fs::exists(dir / "x.exe"));
  EXPECT_EQ(TMakeSFX::StubFileName(vsk::atLzh), "vsk_Lha.SFX");
  EXPECT_EQ(TMakeSFX::StubFileName(vsk::atZipMV), "");
}

TEST_F(MakeSfxTest, RunComponentRemovesItsFolder) {
  std::string folder;
  std::vector<std::string> removed;
  const fs::path outside = dir / "outside";
  WriteFile(outside / "keep.txt", "keep");
  {
    vsk::TZipRun run;
    folder = run.TempFolder();
    ASSERT_FALSE(folder.empty());
    // Made at once, for its user alone.
    struct stat st;
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(fs::path(folder).filename().string().rfind("vsk", 0), 0u);
    fs::create_directories(fs::path(folder) / "sub");
    WriteFile(fs::path(folder) / "sub/x.txt", "x");
    // A link inside is removed, never followed.
    fs::create_directory_symlink(outside, fs::path(folder) / "link");
    run.OnRemoveTempfile = [&](vsk::TZipCommon&, const std::string& F) { removed.push_back(F); };
    run.SetArchiveFile(Write<vsk::TZip>("run.zip").string());
  }
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(removed, std::vector<std::string>{folder});
  EXPECT_EQ(ReadFile(outside / "keep.txt"), "keep");
  // A folder put at its name is not its own: it stays, with what it holds;
  // its own folder, moved away, is emptied through its handle.
  removed.clear();
  {
    vsk::TZipRun run;
    folder = run.TempFolder();
    WriteFile(fs::path(folder) / "mine.txt", "mine");
    fs::rename(folder, dir / "moved");
    WriteFile(fs::path(folder) / "theirs.txt", "theirs");
    run.OnRemoveTempfile = [&](vsk::TZipCommon&, const std::string& F) { removed.push_back(F); };
    run.SetArchiveFile(Write<vsk::TZip>("run2.zip").string());
  }
  EXPECT_EQ(ReadFile(fs::path(folder) / "theirs.txt"), "theirs");
  EXPECT_TRUE(fs::is_empty(dir / "moved"));
  EXPECT_TRUE(removed.empty());
  fs::remove_all(folder);
  // Without an archive named its folder goes only when nothing was put in it.
  {
    vsk::TZipRun run;
    folder = run.TempFolder();
  }
  EXPECT_FALSE(fs::exists(folder));
  {
    vsk::TZipRun run;
    folder = run.TempFolder();
    WriteFile(fs::path(folder) / "x.txt", "x");
  }
  EXPECT_TRUE(fs::exists(fs::path(folder) / "x.txt"));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace vsktest
