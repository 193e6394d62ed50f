// Link entries in every reader whose format stores them: a ZIP of zip -y, a
// tar's symbolic and unresolved hard links, a Unix LHA link and a RAR
// redirection are refused with the kind of link as the outcome's reason,
// never written as a file holding the target's name, never counted.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/core/unbase.h"
#include "archive/formats/lha/unlha.h"
#include "archive/formats/rar/unrar.h"
#include "archive/formats/tar/untar.h"
#include "archive/formats/zip/unzip.h"
#include "base/checksum.h"
#include "tests/support/archivebytes.h"
#include "tests/support/rar5build.h"
#include "tests/support/readerevents.h"
#include "tests/support/tarbuild.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::FolderTree;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

// An LHA level-2 entry as a Unix archiver writes a symbolic link: the
// folder method, "name|target" as its name, the link's mode.
std::string LhaLinkEntry(const std::string& Name, UInt16 Mode, const std::string& Method = "-lhd-",
                         const std::string& Data = {}) {
  const std::vector<std::pair<Byte, std::string>> exts = {{0x01, Name}, {0x50, vsktest::Le16(Mode)}};
  std::string ext;
  for (std::size_t i = 0; i < exts.size(); ++i)
    ext += static_cast<char>(exts[i].first) + exts[i].second +
           vsktest::Le16(i + 1 < exts.size() ? static_cast<unsigned>(exts[i + 1].second.size() + 3) : 0);
  const std::string body = Method + vsktest::Le32(static_cast<UInt32>(Data.size())) +
                           vsktest::Le32(static_cast<UInt32>(Data.size())) + vsktest::Le32(1552558956) + "\x20\x02" +
                           vsktest::Le16(Crc16Of(Data.data(), Data.size())) + "U" +
                           vsktest::Le16(static_cast<unsigned>(exts[0].second.size() + 3)) + ext;
  return vsktest::Le16(static_cast<unsigned>(body.size() + 2)) + body + Data;
}

struct TLinkCase {
  std::string Name;
  std::function<std::unique_ptr<TUnBase>()> Make;
  fs::path Archive;
  int Files;                                   // the files extracted
  std::map<std::string, std::string> Refused;  // entry name -> reason
};

TEST(LinkEntries, EveryReaderRefusesLinksWithTheirKind) {
  ASSERT_TRUE(vsktest::HaveTool("zip"));
  ASSERT_TRUE(TUnRar::LibraryPresent());
  TempDir dir;
  const fs::path src = dir / "src";
  WriteFile(src / "d/data.txt", "the data\n");
  fs::create_symlink("data.txt", src / "d/soft.txt");
  fs::create_directory_symlink("/etc", src / "d/etc");
  ASSERT_EQ(RunTool("zip -q -r -y " + ShellQuote((dir / "l.zip").string()) + " d", src).exitCode, 0);
  ASSERT_EQ(RunTool("tar cf " + ShellQuote((dir / "l.tar").string()) + " d", src).exitCode, 0);
  // A hard link to nothing in the archive.
  WriteFile(dir / "h.tar", vsktest::TarEntry("ok.txt", "ok") +
                               vsktest::TarHeader("passwd", '1', 0).Link("/etc/passwd").Bytes() + vsktest::kTarEnd);
  WriteFile(dir / "l.lzh", LhaLinkEntry("soft.txt|data.txt", 0120777) +
                               LhaLinkEntry("data.txt", 0100644, "-lh0-", "the data\n") + std::string(1, '\0'));
  const std::string redir = vsktest::Rar5VInt(1) + vsktest::Rar5VInt(0) + vsktest::Rar5VInt(8) + "data.txt";
  const std::string extra = vsktest::Rar5VInt(redir.size() + 1) + vsktest::Rar5VInt(5) + redir;
  WriteFile(dir / "l.rar", vsktest::kRar5Marker + vsktest::Rar5Main(0) + vsktest::Rar5File(2, "data.txt", "the data\n") +
                               vsktest::Rar5File(2, "soft.txt", "", 0, 0xA1FF, extra) + vsktest::Rar5End(false));

  const std::vector<TLinkCase> cases = {
      {"zip", [] { return std::make_unique<TUnZip>(); }, dir / "l.zip", 1,
       {{"d/soft.txt", kSymbolicLinkReason}, {"d/etc", kSymbolicLinkReason}}},
      {"tar", [] { return std::make_unique<TUnTar>(); }, dir / "l.tar", 1,
       {{"d/soft.txt", kSymbolicLinkReason}, {"d/etc", kSymbolicLinkReason}}},
      {"tar hard link", [] { return std::make_unique<TUnTar>(); }, dir / "h.tar", 1, {{"passwd", kHardLinkReason}}},
      {"lha", [] { return std::make_unique<TUnLha>(); }, dir / "l.lzh", 1, {{"soft.txt", kSymbolicLinkReason}}},
      {"rar", [] { return std::make_unique<TUnRar>(); }, dir / "l.rar", 1, {{"soft.txt", kSymbolicLinkReason}}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path out = dir / ("out" + std::to_string(n++));
    auto reader = c.Make();
    vsktest::TakeEverything(*reader, c.Archive.string(), out.string());
    std::map<std::string, std::string> refused;
    reader->OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int) {
      if (reader->EntryOutcome == eoRefusedLink) refused[reader->EntryName] = reader->EntryOutcomeReason;
    };
    reader->OnEnd = [&](TZipCommon&, const std::string& File, bool) {
      EXPECT_NE(reader->EntryOutcome, eoRefusedLink) << File;
    };
    EXPECT_EQ(reader->Extract(), c.Files);
    EXPECT_EQ(refused, c.Refused);
    // Nothing stands where a link was: no file of the target's name, no link.
    for (const auto& [name, reason] : c.Refused) {
      std::error_code ec;
      EXPECT_FALSE(fs::exists(fs::symlink_status(out / name, ec))) << name;
    }
    // A test still reads every entry.
    auto tester = c.Make();
    vsktest::TakeEverything(*tester, c.Archive.string());
    vsktest::ReaderEvents events(*tester);
    tester->TestArchive();
    EXPECT_TRUE(events.Codes().empty());
  }
}

}  // namespace
}  // namespace vsk
