#include "archive/core/zipcommon.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "archive/core/diskmanager.h"
#include "archive/formats/zip/unzip.h"
#include "platform/mime.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::ReadFile;
using vsktest::TempDir;
using vsktest::WriteFile;

struct TErrorLog {
  std::vector<std::tuple<std::string, std::string, int>> items;
  void Attach(TZipCommon& c) {
    c.OnError = [this](TZipCommon&, const std::string& f, const std::string& x, const std::string&, int code) {
      items.emplace_back(f, x, code);
    };
  }
};

TEST(ZipCommon, RaiseAndReportFollowTheCancelRule) {
  TZipCommon c;
  TErrorLog log;
  log.Attach(c);
  try {
    c.RaiseError<EWriteError>("a.zip", "", "0", 25160);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Code, 25160);
    EXPECT_STREQ(e.what(), "Disk full");
  }
  c.ReportError("a.zip", "x", "0", 25110);
  ASSERT_EQ(log.items.size(), 2u);
  EXPECT_EQ(std::get<2>(log.items[1]), 25110);

  // Cancelling reports 25443 once; afterwards every code becomes 25443 and
  // raising unwinds the run instead of letting the failing code go on.
  c.SetCancel(true);
  ASSERT_EQ(log.items.size(), 3u);
  EXPECT_EQ(std::get<2>(log.items[2]), 25443);
  c.ReportError("a.zip", "", "0", 25151);
  EXPECT_EQ(std::get<2>(log.items[3]), 25443);
  EXPECT_THROW(c.RaiseError("a.zip", "", "0", 25110), ECancelUnwind);
  EXPECT_EQ(std::get<2>(log.items[4]), 25443);

  // A shared flag is seen by every component pointing at it.
  TZipCommon other;
  other.ShareCancel(c.CancelRef());
  EXPECT_TRUE(other.GetCancel());
}

TEST(ZipCommon, ElapsedTimeLeavesOutHandlers) {
  Int64 now = 1000;
  TZipCommon c;
  c.Timer = TvskTimer([&] { return now; });
  c.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int) { now += 5000; };
  c.Timer.Start();
  now += 1500;
  c.ReportError("f", "", "0", 25110);  // the handler "takes" five seconds
  try {
    c.RaiseError("f", "", "0", 25110);  // and again, leaving by exception
  } catch (const E_RAISE&) {
  }
  now += 500;
  c.Timer.Stop();
  EXPECT_FLOAT_EQ(c.Timer.Elapsed(), 2.0f);
}

TEST(ZipCommon, MissingRequiredEventNamesIt) {
  TZipCommon c;
  TErrorLog log;
  log.Attach(c);
  bool cancel = true;
  EXPECT_FALSE(c.FireRequired(c.OnGetZipLastDisk, "OnGetZipLastDisk", cancel));
  ASSERT_EQ(log.items.size(), 1u);
  EXPECT_EQ(std::get<1>(log.items[0]), "OnGetZipLastDisk");
  EXPECT_EQ(std::get<2>(log.items[0]), 25270);

  std::string vol = "x.z01";
  EXPECT_FALSE(c.OpenNextVolume(vol, 1));
  EXPECT_EQ(std::get<1>(log.items[1]), "OnNextVolumeFile");
}

TEST(ZipCommon, PrepareFileNameNeverLeavesTheDestination) {
  TempDir dir;
  TZipCommon c;
  TErrorLog log;
  log.Attach(c);
  c.SetExtractDir(dir.str());
  const std::string root = dir.str() + "/";
  EXPECT_EQ(c.ExtractDir(), root);

  struct Case {
    std::string name;
    std::string expect;  // empty: refused
  };
  const Case cases[] = {
      {"a/b.txt", root + "a/b.txt"},
      {"a\\b.txt", root + "a/b.txt"},
      {"/etc/x", root + "etc/x"},
      {"C:\\x", root + "x"},
      {"C:x", root + "x"},
      {"\\\\srv\\share\\x", root + "x"},
      {"//srv/share/d/x", root + "d/x"},
      {"./a/./b", root + "a/b"},
      {"../x", ""},
      {"a/../../x", ""},
      {"a/..", ""},
      {"..\\..\\x", ""},
      {std::string("a\0b", 3), ""},
      {"/", ""},
  };
  for (const auto& k : cases) {
    const std::size_t before = log.items.size();
    const bool ok = c.PrepareFileName(k.name);
    if (k.expect.empty()) {
      EXPECT_FALSE(ok) << k.name;
      ASSERT_EQ(log.items.size(), before + 1) << k.name;
      EXPECT_EQ(std::get<2>(log.items.back()), 25244);
    } else {
      EXPECT_TRUE(ok) << k.name;
      EXPECT_EQ(c.CurrentFileName, k.expect) << k.name;
      EXPECT_EQ(c.CurrentFileName.compare(0, root.size(), root), 0);
    }
  }

  c.UseStoredDirs = false;
  ASSERT_TRUE(c.PrepareFileName("deep/dir/f.txt"));
  EXPECT_EQ(c.CurrentFileName, root + "f.txt");
}

TEST(ZipCommon, RelativeExtractDirIsTakenFromTheCurrentFolder) {
  TempDir dir;
  const auto old = fs::current_path();
  fs::current_path(dir.path());
  TZipCommon c;
  c.SetExtractDir("out");
  fs::current_path(old);
  EXPECT_EQ(c.ExtractDir(), (fs::canonical(dir.path()) / "out").string() + "/");
}

TEST(ZipCommon, AsciiTranslationKeepsTheCrcOfTheOriginal) {
  TempDir dir;
  TZipCommon c;
  c.AsciiTranslation = true;
  c.OutputMode = kIoGivenStream;
  TMemoryStream32 out;
  std::string a = "one\r", b = "\ntwo\nthree";  // the CR ends the first block
  c.Crc->Reset();
  c.WriteBlock(-1, a.data(), true, static_cast<Int32>(a.size()), kCrc32, &out);
  c.WriteBlock(-1, b.data(), true, static_cast<Int32>(b.size()), kCrc32, &out);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.Memory()), static_cast<std::size_t>(out.GetSize())),
            "one\r\ntwo\r\nthree");
  const std::string all = a + b;
  EXPECT_EQ(c.Crc->Crc32Final(), Crc32Of(all.data(), all.size()));
}

TEST(ZipCommon, WriteFailuresRaise) {
  TZipCommon c;
  c.OutputMode = kIoTest;  // writes nothing
  c.FilesProcessed = 2;
  char b[4] = "abc";
  try {
    c.WriteBlock(-1, b, true, 3, kCrc32, nullptr);
    FAIL();
  } catch (const E_RAISE& e) {
    EXPECT_EQ(e.Code, 25136);
  }
  EXPECT_EQ(c.FilesProcessed, 1);
  EXPECT_EQ(c.WriteBlock(-1, b, true, 0, kCrc32, nullptr), 0);

  TFileStream32 full("/dev/full", fmOpenWrite);
  c.OutputMode = kIoGivenStream;
  try {
    c.WriteBlock(-1, b, true, 3, kCrc32, &full);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Code, 25160);
  }
  EXPECT_EQ(c.FilesProcessed, 0);
}

TEST(ZipCommon, ReadBlockDecodesWithTheComponentsCipherAcrossBlocks) {
  const std::string plain = "hello, enciphered world";
  std::string enc = plain;
  TZipCrypt keys;
  keys.InitZipKeys("xy");
  keys.EncryptZipBuffer(enc.data(), enc.size());
  const auto read = [&enc](TZipCommon& c) {
    c.InputMode = kIoGivenStream;
    TMemoryStream32 in;
    in.WriteBuffer(enc.data(), static_cast<Int64>(enc.size()));
    in.SetPosition(0);
    std::string out(enc.size() + 4, '\0');
    Int32 got = 0;
    for (Int32 n; (n = c.ReadBlock(-1, &in, out.data() + got, 5, kCrcNone, true)) > 0;) got += n;
    out.resize(static_cast<std::size_t>(got));
    return out;
  };
  // The zip reader's keys go on from block to block.
  TUnZip zip;
  zip.Crypt->InitZipKeys("xy");
  EXPECT_EQ(read(zip), plain);

  // The base has no cipher, whatever the archive's type and password.
  TempDir dir;
  WriteFile(dir / "a.arj", std::string("\x60\xEA") + std::string(40, '\0'));
  TZipCommon c;
  c.SetArchiveFile((dir / "a.arj").string());
  ASSERT_EQ(c.ArcType(), atArj);
  c.Password = "xy";
  c.Crypt->InitZipKeys("xy");
  EXPECT_EQ(read(c), enc);
}

TEST(ZipCommon, NamesAndAttributes) {
  TZipCommon c;
  TempDir dir;
  WriteFile(dir / "a.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  c.SetArchiveFile((dir / "a.zip").string());
  ASSERT_EQ(c.ArcType(), atZip);
  EXPECT_EQ(c.AttrToString(0x21, '_'), "ar__");
  EXPECT_EQ(c.AttrToString(0x10, '_'), "d___");
  EXPECT_EQ(c.AttrToString(0x27, '-'), "arsh");

  c.StoredDirNames = sdRelativeStoreStart;
  EXPECT_EQ(c.StoredName("/data/docs/a/b.txt", "/data/docs/"), "docs/a/b.txt");
  EXPECT_EQ(c.StoredName("/data/docs/a/b.txt", "/data/docs"), "/docs/a/b.txt");
  EXPECT_EQ(c.StoredName("x/y", "a"), "x/y");  // a negative cut is clamped at 0
  c.StoredDirNames = sdRelative;
  EXPECT_EQ(c.StoredName("/data/docs/a.txt", "/data/"), "docs/a.txt");
  EXPECT_EQ(c.StoredName("/other/a.txt", "/data/"), "/other/a.txt");
  c.StoredDirNames = sdNone;
  EXPECT_EQ(c.StoredName("/data/docs/a.txt", ""), "a.txt");
  c.StoredDirNames = sdAbsoluteNoRoot;
  EXPECT_EQ(c.StoredName("C:\\data\\a.txt", ""), "data\\a.txt");
  EXPECT_EQ(c.StoredName("/data/a.txt", ""), "data/a.txt");
  EXPECT_EQ(c.StoredName("\\\\srv\\share\\d\\a.txt", ""), "d\\a.txt");
  c.StoredDirNames = sdAbsoluteNoDrv;
  EXPECT_EQ(c.StoredName("C:\\data\\a.txt", ""), "\\data\\a.txt");
  EXPECT_EQ(c.StoredName("ab:c", ""), "ab:c");  // only a leading X: is a drive

  c.ExcludeSpec = {"*.tmp"};
  EXPECT_TRUE(c.IsExcluded("junk.TMP", ""));
  EXPECT_FALSE(c.IsExcluded("keep.txt", ""));

  EXPECT_EQ(NumberedName("x.cab", 1, nvChangeExt, false), "x.ca1");
  EXPECT_EQ(NumberedName("x.cab", 12, nvChangeExt, false), "x.c12");
  EXPECT_EQ(NumberedName("x.cab", 123, nvChangeExt, false), "x.123");
  EXPECT_EQ(NumberedName("dir/x", 5, nvChangeExt, false), "dir/x5");
  EXPECT_EQ(NumberedName("archive.cab", 12, nvChangeFilename, false), "archi12.cab");
  EXPECT_EQ(NumberedName("longarchivename.cab", 3, nvChangeFilename, true), "longarc3.cab");
  EXPECT_EQ(NumberedName("ab.cab", 123, nvChangeFilename, false), "123.cab");
}

// Entries made on Unix show their mode in the types that store it; any
// other type or host shows the DOS attributes.
TEST(ZipCommon, AttributeTextByTypeAndHost) {
  TempDir dir;
  WriteFile(dir / "x.rar", std::string("Rar!\x1A\x07\x00", 7) + std::string(30, '\0'));
  WriteFile(dir / "a.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  TZipCommon c;
  c.SetArchiveFile((dir / "x.rar").string());
  ASSERT_EQ(c.ArcType(), atRar);
  EXPECT_EQ(c.AttrToString(040755, '-', 3), "drwxr-xr-x");
  EXPECT_EQ(c.AttrToString(0104754, '-', 3), "-rwsr-xr--");
  EXPECT_EQ(c.AttrToString(0x21, '_', 2), "ar__");
  c.SetArchiveFile((dir / "a.zip").string());
  ASSERT_EQ(c.ArcType(), atZip);
  EXPECT_EQ(c.AttrToString(0x21, '_', 3), "ar__");
}

TEST(ZipCommon, VolumeNamesAndNextVolume) {
  TempDir dir;
  const auto rar = (dir / "x.rar").string();
  WriteFile(rar, std::string("Rar!\x1A\x07\x00", 7) + std::string(30, '\0'));
  TZipCommon c;
  c.SetArchiveFile(rar);
  ASSERT_EQ(c.ArcType(), atRar);
  EXPECT_EQ(c.VolLetter, 'q');
  EXPECT_EQ(c.GetNextVolumeName(rar, 0), (dir / "x.r00").string());
  EXPECT_EQ(c.GetNextVolumeName(rar, 1), (dir / "x.r01").string());
  EXPECT_EQ(c.GetNextVolumeName((dir / "x.part1.rar").string(), 0), (dir / "x.part2.rar").string());
  EXPECT_EQ(c.GetNextVolumeName((dir / "x.part01.rar").string(), 0), (dir / "x.part02.rar").string());
  // Four digits, as current archivers write them; the number grows past
  // the width when it must.
  EXPECT_EQ(c.GetNextVolumeName((dir / "x.part0001.rar").string(), 0), (dir / "x.part0002.rar").string());
  EXPECT_EQ(c.GetNextVolumeName((dir / "x.part0002.rar").string(), 1), (dir / "x.part0003.rar").string());
  EXPECT_EQ(c.GetNextVolumeName((dir / "x.part9.rar").string(), 8), (dir / "x.part10.rar").string());
  // ".part" with no number after it is no volume number.
  EXPECT_EQ(c.GetNextVolumeName((dir / "x.partial.rar").string(), 1), (dir / "x.partial.r01").string());
  EXPECT_EQ(c.GetNextVolumeName("", 0), "");

  // The next volume is found whatever the case of its extension.
  WriteFile(dir / "x.R01", "vol");
  std::string vol = (dir / "x.r01").string();
  int asked = 0;
  c.OnNextVolume = [&](TZipCommon&, std::string&, const std::string& id, bool exists, bool& cancel) {
    ++asked;
    EXPECT_TRUE(exists);
    EXPECT_EQ(id, "1");
    cancel = false;
  };
  const int before = c.VolNum;
  EXPECT_TRUE(c.OpenNextVolume(vol, 1));
  EXPECT_EQ(vol, (dir / "x.R01").string());
  EXPECT_EQ(c.VolNum, before + 1);
  EXPECT_EQ(asked, 1);

  // A cancel sets the cancel flag; a name over 999 is refused.
  c.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool&) {};
  std::string missing = (dir / "nothere.r05").string();
  EXPECT_FALSE(c.OpenNextVolume(missing, 5));
  EXPECT_TRUE(c.GetCancel());
  EXPECT_FALSE(c.OpenNextVolume(missing, 1000));
}

TEST(ZipCommon, TempFilesAndFolders) {
  TempDir dir;
  const std::string name = GetTempFileName(dir.str());
  EXPECT_EQ(fs::path(name).parent_path(), dir.path());
  EXPECT_EQ(fs::path(name).extension(), ".tmp");
  EXPECT_EQ(fs::path(name).filename().string().substr(0, 3), "vsk");
  EXPECT_TRUE(fs::exists(name));
  EXPECT_NE(GetTempFileName(dir.str()), name);
  // A missing folder falls back to the system temporary folder.
  vsktest::ScopedEnv tmp("TMPDIR", dir.str());
  EXPECT_EQ(fs::path(GetTempFileName((dir / "missing").string())).parent_path(), dir.path());

  TZipCommon c;
  int asked = 0;
  SetQuestionHook([&](const std::string& text) {
    ++asked;
    EXPECT_EQ(text, "Directory does not exist... Create?\r\n\r\n" + (dir / "new/sub").string());
    return true;
  });
  c.SetTempDir((dir / "new/sub").string());
  SetQuestionHook({});
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(fs::is_directory(dir / "new/sub"));
  EXPECT_EQ(c.TempDir(), (dir / "new/sub").string());
}

}  // namespace
}  // namespace vsk

namespace vsk {
namespace {

TEST(ZipCommon, FileTypeNamesFromTheMimeDatabase) {
  vsktest::TempDir dir;
  vsktest::WriteFile(dir / "mime/globs2", "# comment\n50:application/zip:*.zip\n50:application/x-tar:*.tar\n"
                                          "55:application/x-compressed-tar:*.tar.gz\n50:text/x-Makefile:Makefile:cs\n");
  vsktest::WriteFile(dir / "mime/application/zip.xml",
                     "<mime-type type=\"application/zip\">\n  <comment>Zip archive</comment>\n"
                     "  <comment xml:lang=\"de\">Zip-Archiv</comment>\n</mime-type>\n");
  vsktest::WriteFile(dir / "mime/application/x-compressed-tar.xml", "  <comment>Tar archive (gzip)</comment>\n");
  vsktest::ScopedEnv home("XDG_DATA_HOME", dir.str());
  vsktest::ScopedEnv sys("XDG_DATA_DIRS", (dir / "none").string());
  EXPECT_EQ(GetFileTypeName("/x/Archive.ZIP"), "Zip archive");
  EXPECT_EQ(GetFileTypeName("a.tar.gz"), "Tar archive (gzip)");
  EXPECT_EQ(MimeTypeOfName("Makefile"), "text/x-Makefile");
  EXPECT_EQ(MimeTypeOfName("makefile"), "");
  // A type without a comment, or no type at all: the extension's name.
  EXPECT_EQ(GetFileTypeName("data.tar"), "TAR File");
  EXPECT_EQ(GetFileTypeName("notes.xyz"), "XYZ File");
  EXPECT_EQ(GetFileTypeName("README"), " File");
}

}  // namespace
}  // namespace vsk
