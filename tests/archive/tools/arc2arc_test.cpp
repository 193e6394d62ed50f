// Converting archives written by Debian's archivers into ZIP, JAR, tar and
// tar.gz, checked with the peer tools against the original files.

#include "archive/tools/arc2arc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::ShellQuote;

using TTree = std::map<std::string, std::string>;

// Regular files below Root by relative name, with their contents.
TTree ReadTree(const fs::path& Root) {
  TTree t;
  if (!fs::exists(Root)) return t;
  for (const auto& e : fs::recursive_directory_iterator(Root))
    if (e.is_regular_file()) t[fs::relative(e.path(), Root).generic_string()] = ReadFile(e.path());
  return t;
}

// "in.zip" -> "in_zip": each input gets outputs of its own.
std::string Stem(std::string Name) {
  std::replace(Name.begin(), Name.end(), '.', '_');
  return Name;
}

bool IsEmptyDir(const fs::path& P) { return fs::is_directory(P) && fs::is_empty(P); }

class Arc2ArcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    src = dir / "src";
    fs::create_directories(src / "sub/deep");
    vsktest::WriteFile(src / "a.txt", vsktest::TextBytes(30000, 1));
    vsktest::WriteFile(src / "sub/b.bin", vsktest::RandomBytes(7000, 2));
    vsktest::WriteFile(src / "sub/deep/c.txt", vsktest::TextBytes(1500, 3));
    original = ReadTree(src);
    fs::create_directories(tmp);
    conv.SetTempDir(tmp.string());
  }

  // Runs Command in the source folder; "{out}" stands for the archive.
  std::string Pack(const std::string& Name, std::string Command) {
    const std::string out = (dir / Name).string();
    Command.replace(Command.find("{out}"), 5, ShellQuote(out));
    const auto r = RunTool(Command, src);
    EXPECT_EQ(r.exitCode, 0) << Command << "\n" << r.output;
    return out;
  }

  // Binds every event of the converter to the log.
  void Record() {
    auto note = [this](const char* Tag) { return [this, Tag](TZipCommon&) { log.push_back(Tag); }; };
    conv.OnExtractActivate = note("extract-activate");
    conv.OnExtractDeactivate = note("extract-deactivate");
    conv.OnCompressActivate = note("compress-activate");
    conv.OnCompressDeactivate = note("compress-deactivate");
    conv.OnIntegrityActivate = note("test-activate");
    conv.OnIntegrityDeactivate = note("test-deactivate");
    conv.OnExtractBegin = [this](TZipCommon&, const std::string& F, int, bool&) {
      log.push_back("extract " + fs::path(F).filename().string());
    };
    conv.OnExtractEnd = [this](TZipCommon&, const std::string& F, bool Pass) {
      log.push_back(std::string(Pass ? "extracted " : "CRC FAILED ") + fs::path(F).filename().string());
    };
    conv.OnCompressBegin = [this](TZipCommon&, const std::string& F, int, bool&) {
      log.push_back("compress " + fs::path(F).filename().string());
    };
    conv.OnCompressEnd = [this](TZipCommon&, const std::string& F, bool) {
      log.push_back("compressed " + fs::path(F).filename().string());
    };
    conv.OnIntegrityBegin = [this](TZipCommon&, const std::string& F) { log.push_back("test " + F); };
    conv.OnIntegrityStatus = [this](TZipCommon&, const std::string& F, bool Pass) {
      log.push_back((Pass ? "passed " : "failed ") + F);
    };
    conv.OnIntegrityEnd = [this](TZipCommon&, const std::string& F) { log.push_back("tested " + F); };
    conv.OnRemoveTempfile = [this](TZipCommon&, const std::string& F) {
      removed.push_back(F);
      log.push_back(F.back() == '/' ? "remove folder" : "remove " + fs::path(F).filename().string());
    };
    conv.OnElapsedTime = [this](TZipCommon&, float) { log.push_back("elapsed"); };
    conv.OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
      errors.push_back(Code);
    };
  }

  void Convert(const std::string& Input, TOutArcType Type, const std::string& Output) {
    log.clear();
    errors.clear();
    removed.clear();
    conv.SetArchiveFile(Input);
    conv.OutArcType = Type;
    conv.NewArchive = Output;
    conv.Activate();
    EXPECT_TRUE(IsEmptyDir(tmp)) << "temporary files left behind";
  }

  // Restores Archive with the peer tool of Type into a fresh folder.
  TTree Restore(const std::string& Archive, TOutArcType Type) {
    const fs::path out = dir / ("restored" + std::to_string(++restores));
    fs::create_directories(out);
    if (Type == tyZip || Type == tyJar) {
      const auto t = RunTool("unzip -t " + ShellQuote(Archive));
      EXPECT_EQ(t.exitCode, 0) << t.output;
      EXPECT_EQ(RunTool("unzip -q " + ShellQuote(Archive) + " -d " + ShellQuote(out.string())).exitCode, 0);
    } else if (Type == tyCab) {
      const auto t = RunTool("cabextract -t " + ShellQuote(Archive));
      EXPECT_EQ(t.exitCode, 0) << t.output;
      EXPECT_EQ(RunTool("cabextract -q -d " + ShellQuote(out.string()) + " " + ShellQuote(Archive)).exitCode, 0);
    } else if (Type == tyTar) {
      const auto t = RunTool("tar tvf " + ShellQuote(Archive));
      EXPECT_EQ(t.exitCode, 0) << t.output;
      EXPECT_EQ(RunTool("tar xf " + ShellQuote(Archive) + " -C " + ShellQuote(out.string())).exitCode, 0);
    } else {
      EXPECT_EQ(RunTool("gzip -t " + ShellQuote(Archive)).exitCode, 0);
      const auto t = RunTool("tar tvzf " + ShellQuote(Archive));
      EXPECT_EQ(t.exitCode, 0) << t.output;
      EXPECT_EQ(RunTool("tar xzf " + ShellQuote(Archive) + " -C " + ShellQuote(out.string())).exitCode, 0);
    }
    return ReadTree(out);
  }

  vsktest::IsolatedEnvironment env;
  vsktest::TempDir dir;
  fs::path src;
  fs::path tmp = dir / "tmp";
  TTree original;
  TArc2Arc conv;
  std::vector<std::string> log;
  std::vector<std::string> removed;
  std::vector<int> errors;
  int restores = 0;
};

TEST(Arc2ArcNames, DerivedNamesOfTheGzipOutput) {
  EXPECT_EQ(TArc2Arc::DerivedName("/x/a.tgz", tyTarGzip), "/x/a.tar");
  EXPECT_EQ(TArc2Arc::DerivedName("/x/a.TGZ", tyTarGzip), "/x/a.tar");
  EXPECT_EQ(TArc2Arc::DerivedName("/x/a.tar.gz", tyTarGzip), "/x/a.tar");
  EXPECT_EQ(TArc2Arc::DerivedName("/x/A.TAR.GZ", tyTarGzip), "/x/A.TAR");
  EXPECT_EQ(TArc2Arc::DerivedName(".tar.gz", tyTarGzip), ".tar.gz");  // not longer than 7
  EXPECT_EQ(TArc2Arc::DerivedName("/x/a.gz", tyTarGzip), "/x/a.gz");
  EXPECT_EQ(TArc2Arc::DerivedName("/x/a.zip", tyTarGzip), "/x/a.zip");
  EXPECT_EQ(TArc2Arc::DerivedName("/x/a.tgz", tyTar), "/x/a.tgz");
  EXPECT_EQ(TArc2Arc::DerivedName("/x/a.tar.gz", tyZip), "/x/a.tar.gz");
  EXPECT_TRUE(TArc2Arc::OutputTypeSupported(tyZip) && TArc2Arc::OutputTypeSupported(tyJar) &&
              TArc2Arc::OutputTypeSupported(tyTar) && TArc2Arc::OutputTypeSupported(tyTarGzip) &&
              TArc2Arc::OutputTypeSupported(tyCab));
}

TEST_F(Arc2ArcTest, EveryInputToEveryOutput) {
  for (const char* tool : {"zip", "unzip", "tar", "gzip", "jlha", "arj", "gcab", "cabextract"}) ASSERT_TRUE(vsktest::HaveTool(tool)) << tool;
  struct TInput {
    std::string Name;
    std::string Command;
    bool WholeTree;
  };
  const std::vector<TInput> inputs = {
      {"in.zip", "zip -q -r -X {out} a.txt sub", true},
      {"in.tar", "tar cf {out} a.txt sub", true},
      {"in.lzh", "jlha a {out} a.txt sub", true},
      {"in.arj", "arj a -y -r {out} '*'", true},
      {"in.gz", "gzip -c a.txt > {out}", false},
      {"in.cab", "gcab -cz {out} a.txt sub/b.bin sub/deep/c.txt", true},
  };
  struct TOutput {
    TOutArcType Type;
    std::string Ext;
  };
  const std::vector<TOutput> outputs = {
      {tyZip, ".zip"}, {tyJar, ".jar"}, {tyTar, ".tar"}, {tyTarGzip, "-gz.tgz"}, {tyCab, ".cab"}};
  Record();
  for (const auto& in : inputs) {
    const std::string input = Pack(in.Name, in.Command);
    const std::string before = ReadFile(input);
    for (const auto& out : outputs) {
      SCOPED_TRACE(in.Name + " -> " + out.Ext);
      const std::string target = (dir / ("out/" + Stem(in.Name) + out.Ext)).string();
      Convert(input, out.Type, target);
      EXPECT_TRUE(errors.empty()) << errors.front();
      const std::string made = out.Type == tyTarGzip ? (dir / ("out/" + Stem(in.Name) + "-gz.tar.gz")).string()
                                                     : target;
      ASSERT_TRUE(fs::exists(made));
      if (out.Type == tyTarGzip) {
        EXPECT_EQ(conv.NewArchive, made);
        EXPECT_TRUE(fs::exists(dir / ("out/" + Stem(in.Name) + "-gz.tar"))) << "the tar stays beside";
      }
      TTree got = Restore(made, out.Type);
      if (out.Type == tyJar) got.erase("META-INF/MANIFEST.MF");
      const TTree want = in.WholeTree ? original : TTree{{"a.txt", original.at("a.txt")}};
      EXPECT_EQ(got.size(), want.size());
      EXPECT_TRUE(got == want) << "contents differ";
      // One removal per extracted file and one for the folder, last.
      ASSERT_EQ(removed.size(), want.size() + 1);
      EXPECT_EQ(removed.back().back(), '/');
      EXPECT_EQ(removed.back().rfind("vsk", 0), 0u);
    }
    EXPECT_EQ(ReadFile(input), before) << "the input is never changed";
  }
}

TEST_F(Arc2ArcTest, EventsFireInOrder) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  vsktest::WriteFile(src / "only.txt", "one file\n");
  const std::string input = Pack("one.zip", "zip -q -X {out} only.txt");
  Record();
  Convert(input, tyTar, (dir / "one.tar").string());
  EXPECT_TRUE(errors.empty());
  const std::vector<std::string> want = {
      "extract-activate", "extract only.txt", "extracted only.txt", "extract-deactivate",
      "compress-activate", "compress only.txt", "compressed only.txt", "compress-deactivate",
      "test-activate", "test only.txt", "passed only.txt", "tested only.txt", "test-deactivate",
      "remove only.txt", "elapsed", "remove folder"};
  EXPECT_EQ(log, want);

  // With tar.gz the gzip step ends the compression, and the result is tested.
  Convert(input, tyTarGzip, (dir / "one-gz.tgz").string());
  EXPECT_TRUE(errors.empty());
  const std::vector<std::string> wantGz = {
      "extract-activate", "extract only.txt", "extracted only.txt", "extract-deactivate",
      "compress-activate", "compress only.txt", "compressed only.txt",
      "compress one-gz.tar", "compressed one-gz.tar.gz", "compress-deactivate",
      "test-activate", "test one-gz.tar", "passed one-gz.tar", "tested one-gz.tar", "test-deactivate",
      "remove only.txt", "elapsed", "remove folder"};
  EXPECT_EQ(log, wantGz);

  // No status handler: no test runs although IntegrityCheck is on.
  conv.OnIntegrityStatus = nullptr;
  Convert(input, tyZip, (dir / "one.zip.out").string());
  EXPECT_EQ(std::count(log.begin(), log.end(), "test-activate"), 0);
  // IntegrityCheck off: no test either.
  Record();
  conv.IntegrityCheck = false;
  Convert(input, tyZip, (dir / "two.zip").string());
  EXPECT_EQ(std::count(log.begin(), log.end(), "test-activate"), 0);
  EXPECT_TRUE(fs::exists(dir / "two.zip"));
}

TEST_F(Arc2ArcTest, NestedTarOfATgzInput) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string input = Pack("in.tgz", "tar czf {out} a.txt sub");
  Record();
  bool asked = false;
  conv.OnNestedTarFile = [&](TZipCommon&, const std::string&, bool& doUnTar) {
    asked = true;
    doUnTar = true;
  };
  Convert(input, tyZip, (dir / "from-tgz.zip").string());
  EXPECT_TRUE(asked);
  EXPECT_TRUE(errors.empty());
  // The intermediate tar is not part of the new archive.
  EXPECT_TRUE(Restore((dir / "from-tgz.zip").string(), tyZip) == original);
}

TEST_F(Arc2ArcTest, MasksSelectEntries) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  const std::string input = Pack("in.zip", "zip -q -r -X {out} a.txt sub");
  Record();
  conv.FileSpec = {"*.txt"};
  Convert(input, tyTar, (dir / "txt.tar").string());
  TTree want = original;
  want.erase("sub/b.bin");
  EXPECT_TRUE(Restore((dir / "txt.tar").string(), tyTar) == want);
}

TEST_F(Arc2ArcTest, DamagedInputReportsTheFailedCheck) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  vsktest::WriteFile(src / "sub/b.bin", std::string(4000, 'b'));
  const std::string input = Pack("bad.zip", "zip -q -0 -r -X {out} a.txt sub");
  std::string bytes = ReadFile(input);
  const auto at = bytes.find(std::string(200, 'b'));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 100] = 'X';
  vsktest::WriteFile(input, bytes);

  Record();
  Convert(input, tyZip, (dir / "fromBad.zip").string());
  EXPECT_EQ(std::count(log.begin(), log.end(), "CRC FAILED b.bin"), 1) << ::testing::PrintToString(log);
  EXPECT_EQ(std::count(log.begin(), log.end(), "extracted a.txt"), 1);
  EXPECT_TRUE(IsEmptyDir(tmp));
  // The damaged file is not given a sound checksum in the new archive, so
  // its test cannot pass it; the others are converted and tested.
  for (const auto& line : log) EXPECT_FALSE(line.starts_with("passed") && line.ends_with("b.bin")) << line;
  EXPECT_EQ(std::count(log.begin(), log.end(), "passed a.txt"), 1) << ::testing::PrintToString(log);
  TTree want = original;
  want.erase("sub/b.bin");
  EXPECT_TRUE(Restore((dir / "fromBad.zip").string(), tyZip) == want);

  // Without an end handler the failure still reaches OnError.
  conv.OnExtractEnd = nullptr;
  Convert(input, tyZip, (dir / "fromBad2.zip").string());
  EXPECT_EQ(std::count(errors.begin(), errors.end(), 25151), 1);
}

TEST_F(Arc2ArcTest, ZipToLzhForLhasa) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("lhasa"));
  const std::string input = Pack("in.zip", "zip -q -r -X {out} a.txt sub");
  const std::string out = (dir / "out.lzh").string();
  Convert(input, tyLzh, out);
  const auto t = vsktest::RunTool("lhasa t " + vsktest::ShellQuote(out));
  EXPECT_EQ(t.exitCode, 0) << t.output;
  const fs::path x = dir / "lzh-x";
  fs::create_directories(x);
  EXPECT_EQ(vsktest::RunTool("lhasa x " + vsktest::ShellQuote(out), x).exitCode, 0);
  EXPECT_EQ(ReadTree(x), original);
}

TEST_F(Arc2ArcTest, RefusalsWriteNothing) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("gcab"));
  const std::string input = Pack("in.zip", "zip -q -r -X {out} a.txt sub");
  Record();

  // The output is the input: by the same name, or through the derived tar.
  const std::string before = ReadFile(input);
  conv.SetArchiveFile(input);
  conv.OutArcType = tyZip;
  conv.NewArchive = input;
  errors.clear();
  try {
    conv.Activate();
    ADD_FAILURE() << "no exception";
  } catch (const E_RAISE& e) {
    EXPECT_EQ(e.Code, 25191);
  }
  EXPECT_EQ(errors, std::vector<int>{25191});
  const std::string tar = Pack("same.tar", "tar cf {out} a.txt");
  conv.SetArchiveFile(tar);
  conv.OutArcType = tyTarGzip;
  conv.NewArchive = (dir / "same.tgz").string();
  conv.OutArcMethod = amAddToArc;
  EXPECT_THROW(conv.Activate(), E_RAISE);
  conv.OutArcMethod = amCreateNew;
  EXPECT_EQ(ReadFile(input), before);
  EXPECT_FALSE(fs::exists(dir / "same.tar.gz"));

  // An input type without a reader.
  const std::string ha = (dir / "in.ha").string();
  vsktest::WriteFile(ha, std::string("HA\x01\x00", 4) + std::string(40, 'x'));
  conv.SetArchiveFile(ha);
  ASSERT_EQ(conv.ArcType(), atHA);
  conv.OutArcType = tyZip;
  conv.NewArchive = (dir / "cab.zip").string();
  errors.clear();
  try {
    conv.Activate();
    ADD_FAILURE() << "no exception";
  } catch (const E_RAISE& e) {
    EXPECT_EQ(e.Code, 25243);
  }
  EXPECT_FALSE(fs::exists(dir / "cab.zip"));
  EXPECT_TRUE(IsEmptyDir(tmp));
}

TEST_F(Arc2ArcTest, ExistingOutput) {
  ASSERT_TRUE(vsktest::HaveTool("zip") && vsktest::HaveTool("unzip"));
  const std::string input = Pack("in.zip", "zip -q -r -X {out} a.txt sub");
  vsktest::WriteFile(dir / "old.txt", "kept from before\n");
  const std::string out = (dir / "out.zip").string();
  ASSERT_EQ(RunTool("zip -q -j " + ShellQuote(out) + " " + ShellQuote((dir / "old.txt").string())).exitCode, 0);
  const std::string old = ReadFile(out);
  Record();

  // No handler while asking is on: nothing happens.
  Convert(input, tyZip, out);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(ReadFile(out), old);

  // Declined.
  std::vector<std::string> asked;
  TOverwriteMode answer = omSkip;
  conv.OnFileExists = [&](TZipCommon&, const std::string& F, TOverwriteMode& M) {
    asked.push_back(F);
    M = answer;
  };
  Convert(input, tyZip, out);
  EXPECT_EQ(asked, std::vector<std::string>{out});
  EXPECT_EQ(ReadFile(out), old);

  // A run that fails leaves the old archive in place: the input holds
  // nothing the selection takes.
  answer = omOverwrite;
  conv.FileSpec = {"*.none"};
  Convert(input, tyZip, out);
  EXPECT_EQ(ReadFile(out), old);
  EXPECT_FALSE(errors.empty());
  EXPECT_EQ(std::count(log.begin(), log.end(), "test-activate"), 0) << "the old archive passed for the new one";
  conv.FileSpec.clear();

  // Accepted: replaced by the new content alone.
  Convert(input, tyZip, out);
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(Restore(out, tyZip) == original);
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_NE(e.path().filename().string().rfind("vsk", 0), 0u) << "staging left: " << e.path();

  // Adding keeps what the archive held.
  conv.OutArcMethod = amAddToArc;
  ASSERT_EQ(RunTool("zip -q -j " + ShellQuote(out) + " " + ShellQuote((dir / "old.txt").string())).exitCode, 0);
  Convert(input, tyZip, out);
  TTree want = original;
  want["old.txt"] = "kept from before\n";
  EXPECT_TRUE(Restore(out, tyZip) == want);

  // A tar.gz is asked about by its .gz: declined, nothing is made.
  conv.OutArcMethod = amCreateNew;
  ASSERT_EQ(RunTool("tar czf g.tar.gz old.txt", dir.path()).exitCode, 0);
  const std::string oldGz = ReadFile(dir / "g.tar.gz");
  answer = omSkip;
  asked.clear();
  Convert(input, tyTarGzip, (dir / "g.tgz").string());
  EXPECT_EQ(asked, std::vector<std::string>{(dir / "g.tar.gz").string()});
  EXPECT_EQ(ReadFile(dir / "g.tar.gz"), oldGz);
  EXPECT_FALSE(fs::exists(dir / "g.tar"));
  EXPECT_TRUE(log.empty());
  // Accepted: the new content alone.
  answer = omOverwrite;
  Convert(input, tyTarGzip, (dir / "g.tgz").string());
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(Restore((dir / "g.tar.gz").string(), tyTarGzip) == original);
  EXPECT_TRUE(fs::exists(dir / "g.tar"));
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_NE(e.path().filename().string().rfind("vsk", 0), 0u) << "staging left: " << e.path();
}

// A tar made by an earlier conversion is not the tar of a later tar.gz of
// that name: it goes to the trash, and so does that one's tar when the
// tar.gz is made again.
TEST_F(Arc2ArcTest, TarThenTarGzKeepsTheFirstOutput) {
  ASSERT_TRUE(vsktest::HaveTool("tar") && vsktest::HaveTool("gzip"));
  const std::string input = Pack("in.tar", "tar cf {out} a.txt sub");
  const fs::path trash = env.root() / "home/.local/share/Trash/files";
  Record();
  Convert(input, tyTar, (dir / "r.tar").string());
  EXPECT_TRUE(errors.empty());
  const std::string first = ReadFile(dir / "r.tar");
  EXPECT_TRUE(Restore((dir / "r.tar").string(), tyTar) == original);

  conv.OnFileExists = [](TZipCommon&, const std::string&, TOverwriteMode& M) { M = omOverwrite; };
  for (const char* trashed : {"r.tar", "r.2.tar"}) {
    SCOPED_TRACE(trashed);
    const std::string before = ReadFile(dir / "r.tar");
    Convert(input, tyTarGzip, (dir / "r.tar.gz").string());
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(Restore((dir / "r.tar.gz").string(), tyTarGzip) == original);
    EXPECT_EQ(ReadFile(trash / trashed), before);
    EXPECT_TRUE(RunTool("gzip -dc " + ShellQuote((dir / "r.tar.gz").string())).output == ReadFile(dir / "r.tar"));
  }
  EXPECT_EQ(ReadFile(trash / "r.tar"), first);
}

TEST_F(Arc2ArcTest, GzipOutputNames) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  const std::string input = Pack("in.tar", "tar cf {out} a.txt sub");
  Record();
  Convert(input, tyTarGzip, (dir / "n.zip").string());
  EXPECT_TRUE(fs::exists(dir / "n.zip"));
  EXPECT_TRUE(fs::exists(dir / "n.zip.gz"));
  EXPECT_EQ(conv.NewArchive, (dir / "n.zip.gz").string());
  EXPECT_TRUE(Restore((dir / "n.zip.gz").string(), tyTarGzip) == original);
  Convert(input, tyTarGzip, (dir / "m.tar.gz").string());
  EXPECT_TRUE(fs::exists(dir / "m.tar"));
  EXPECT_TRUE(Restore((dir / "m.tar.gz").string(), tyTarGzip) == original);
}

TEST_F(Arc2ArcTest, HostileNamesStayInsideAndCancelCleansUp) {
  ASSERT_TRUE(vsktest::HaveTool("tar"));
  // A tar holding "../escape.txt" and an absolute name.
  vsktest::WriteFile(dir / "escape.txt", "outside\n");
  const std::string input =
      Pack("hostile.tar", "tar cPf {out} ../escape.txt " + ShellQuote((src / "a.txt").string()) + " sub");
  fs::remove(dir / "escape.txt");
  Record();
  Convert(input, tyTar, (dir / "safe.tar").string());
  EXPECT_FALSE(fs::exists(dir / "escape.txt"));
  EXPECT_FALSE(fs::exists(tmp / "escape.txt"));
  EXPECT_NE(std::count(errors.begin(), errors.end(), 25244), 0);
  const auto listing = RunTool("tar tf " + ShellQuote((dir / "safe.tar").string()));
  EXPECT_EQ(listing.exitCode, 0);
  EXPECT_EQ(listing.output.find(".."), std::string::npos) << listing.output;
  EXPECT_NE(listing.output.find("sub/b.bin"), std::string::npos) << listing.output;
  EXPECT_EQ(listing.output.rfind('/', 0), std::string::npos) << "no absolute names";
  EXPECT_EQ(listing.output.find("\n/"), std::string::npos) << "no absolute names";

  // Cancelled while extracting: nothing is written, everything is removed.
  conv.OnExtractBegin = [this](TZipCommon&, const std::string&, int Count, bool&) {
    if (Count == 1) conv.SetCancel(true);
  };
  Convert(input, tyZip, (dir / "cancelled.zip").string());
  EXPECT_FALSE(fs::exists(dir / "cancelled.zip"));
  EXPECT_EQ(std::count(log.begin(), log.end(), "compress-activate"), 0);
  EXPECT_EQ(log.back(), "remove folder");
}

}  // namespace
}  // namespace vsk
