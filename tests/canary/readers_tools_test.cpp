// The canary rows of the readers whose archives Debian's tools write: zip,
// jar, tar, the gzip and compress family, jlha, arj, gcab and uuencode.

#include <gtest/gtest.h>

#include "archive/formats/arj/unarj.h"
#include "archive/formats/cab/uncab.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/lha/unlha.h"
#include "archive/formats/tar/untar.h"
#include "archive/formats/uu/uudecode.h"
#include "archive/formats/zip/unzip.h"
#include "base/messages.h"
#include "tests/canary/readerrows.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
namespace msg = vsk::msg;

// The entry a run selects, and one it leaves.
const std::string kChosen = TextBytes(1200000, 11);
const std::string kOther = "the archive's other entry\n";

// An archive that Pack (run in Dir/src) makes as Dir/Name of chosen.bin
// and other.txt; the run extracts chosen.bin into out, where a canary
// stands at other.txt. The failure damages the chosen entry's data (At:
// an offset, or by default the middle of the archive).
CanaryRow OneSelected(const std::string& Row, std::function<std::unique_ptr<vsk::TUnBase>()> Make_,
                      const std::string& Name, const std::string& Pack, long At = -1,
                      std::vector<Ending> Endings = {std::begin(kEveryEnding), std::end(kEveryEnding)}) {
  return ReaderRow(Row + ", one entry selected", [=](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src/chosen.bin", kChosen);
    WriteFile(Dir / "src/other.txt", kOther);
    Make(Pack, Dir / "src");
    C.Watch(Dir / Name);
    C.Plant(Dir / "out/other.txt");
    ReaderJob j;
    j.make = Make_;
    j.archive = Name;
    j.dest = "out";
    j.spec = {"chosen.bin"};
    j.damage = {{Name, At >= 0 ? At : static_cast<long>(fs::file_size(Dir / Name) / 2)}};
    j.written = {{"out/chosen.bin", kChosen}};
    return j;
  }, Endings);
}

// Formats without a check of their data: no damage shows.
const std::vector<Ending> kUnchecked = {Ending::Success, Ending::Cancel, Ending::Kill};

// The same archive extracted whole over a read-only other.txt: without a
// question it is not replaced (its create fails); asked and answered Yes
// it may be, and a No leaves chosen.bin's canary as it is.
// The failure damages chosen.bin (At, as for OneSelected) when it is
// written, else other.txt where Needle stands.
std::vector<CanaryRow> ReadOnly(const std::string& Row, std::function<std::unique_ptr<vsk::TUnBase>()> Make_,
                                const std::string& Name, const std::string& Pack, long At,
                                const std::string& Needle) {
  std::vector<CanaryRow> rows;
  for (const bool confirm : {false, true})
    rows.push_back(ReaderRow(Row + (confirm ? ", read-only file agreed to" : ", read-only file unasked"),
                             [=](const fs::path& Dir, Canaries& C) {
                               WriteFile(Dir / "src/chosen.bin", kChosen);
                               WriteFile(Dir / "src/other.txt", kOther);
                               Make(Pack, Dir / "src");
                               C.Watch(Dir / Name);
                               C.Plant(Dir / "out/other.txt", 0444);
                               if (confirm) C.Plant(Dir / "out/chosen.bin");
                               ReaderJob j;
                               j.make = Make_;
                               j.archive = Name;
                               j.dest = "out";
                               j.confirm = confirm;
                               j.yes = {"out/other.txt"};
                               j.damage = {{Name, confirm ? OffsetOf(Dir / Name, Needle)
                                                   : At >= 0 ? At
                                                             : static_cast<long>(fs::file_size(Dir / Name) / 2)}};
                               if (confirm)
                                 j.written = {{"out/other.txt", kOther}};
                               else
                                 j.written = {{"out/chosen.bin", kChosen}}, j.reported = {msg::ErrorOpeningFile};
                               return j;
                             }));
  return rows;
}

TEST(CanaryRows, ZipAndJar) {
  const std::string zip = "zip -q -0 ../x.zip chosen.bin other.txt";
  CheckCanaryRow(OneSelected("jar", Reader<vsk::TUnJar>(), "x.jar", "zip -q ../x.jar chosen.bin other.txt"));
  CheckCanaryRows(ReadOnly("zip", Reader<vsk::TUnZip>(), "x.zip", zip, -1, kOther));
  // The local header names another file than the central record that was
  // listed and selected: the file of the local name is never touched.
  CheckCanaryRow(ReaderRow("zip, local header names an unselected file", [](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src/aaaaa.txt", kChosen);
    Make("zip -q ../x.zip aaaaa.txt", Dir / "src");
    std::string bytes = ReadFile(Dir / "x.zip");
    bytes.replace(static_cast<std::size_t>(OffsetOf(Dir / "x.zip", "aaaaa.txt")), 9, "IMPORTANT");
    WriteFile(Dir / "x.zip", bytes);
    C.Watch(Dir / "x.zip");
    C.Plant(Dir / "out/IMPORTANT");
    ReaderJob j;
    j.make = Reader<vsk::TUnZip>();
    j.archive = "x.zip";
    j.dest = "out";
    j.spec = {"aaaaa.txt"};
    j.damage = {{"x.zip", static_cast<long>(bytes.size() / 2)}};
    j.written = {{"out/aaaaa.txt", kChosen}};
    j.reported = {msg::BadFileHeader};
    return j;
  }));
}

TEST(CanaryRows, Tar) {
  // A tar checks its headers only: the failure damages the first one.
  const std::string tar = "tar cf ../x.tar chosen.bin other.txt";
  CheckCanaryRow(OneSelected("tar", Reader<vsk::TUnTar>(), "x.tar", tar, 200));
  CheckCanaryRows(ReadOnly("tar", Reader<vsk::TUnTar>(), "x.tar", tar, 200, "other.txt"));
}

// A tar holding an entry named like the compressed archive it is in,
// extracted into the archive's own folder: the outer archive stays.
CanaryRow OuterArchive(const std::string& Name, const std::string& Pack,
                       std::vector<Ending> Endings = {std::begin(kEveryEnding), std::end(kEveryEnding)}) {
  return ReaderRow(Name + ", entry named like the outer archive", [=](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src" / Name, "the tar's entry named like its archive\n");
    WriteFile(Dir / "src/big.txt", kChosen);
    Make(Pack, Dir / "src");
    C.Watch(Dir / Name);
    ReaderJob j;
    j.make = Reader<vsk::TUnGZip>();
    j.archive = Name;
    j.dest = ".";
    j.damage = {{Name, static_cast<long>(fs::file_size(Dir / Name) / 2)}};
    j.written = {{"big.txt", kChosen}};
    j.reported = {msg::SameInputOutput};
    return j;
  }, Endings);
}

TEST(CanaryRows, GzipAndCompress) {
  CheckCanaryRows({OuterArchive("foo.tar.gz", "tar cf ../foo.tar foo.tar.gz big.txt && gzip ../foo.tar"),
                   OuterArchive("foo.tgz", "tar cf - foo.tgz big.txt | gzip -c > ../foo.tgz"),
                   OuterArchive("foo.tar.Z", "tar cf ../foo.tar foo.tar.Z big.txt && compress ../foo.tar", kUnchecked)});
  // A lone member over a read-only file of its name, not asked about.
  for (const std::string ext : {".gz", ".Z"})
    CheckCanaryRow(ReaderRow("x.bin" + ext + ", read-only file unasked", [=](const fs::path& Dir, Canaries& C) {
      WriteFile(Dir / "src/x.bin", kChosen);
      Make(ext == ".gz" ? "gzip -c x.bin > ../x.bin.gz" : "compress -c x.bin > ../x.bin.Z", Dir / "src");
      C.Watch(Dir / ("x.bin" + ext));
      C.Plant(Dir / "out/x.bin", 0444);
      ReaderJob j;
      j.make = Reader<vsk::TUnGZip>();
      j.archive = "x.bin" + ext;
      j.dest = "out";
      j.damage = {{j.archive, static_cast<long>(fs::file_size(Dir / j.archive) / 2)}};
      j.reported = {msg::ErrorOpeningFile};
      return j;
    }));
}

TEST(CanaryRows, LhaCabUu) {
  CheckCanaryRows({OneSelected("lha", Reader<vsk::TUnLha>(), "x.lzh", "jlha a ../x.lzh chosen.bin other.txt"),
                   OneSelected("cab", Reader<vsk::TUnCab>(), "x.cab", "gcab -cz ../x.cab chosen.bin other.txt"),
                   OneSelected("uu", Reader<vsk::TUUDecode>(), "x.uue",
                               "uuencode chosen.bin chosen.bin > ../x.uue && uuencode other.txt other.txt >> ../x.uue",
                               -1, kUnchecked)});
}

// A set made with arj -v60K, opened at the volume that holds an entry
// named like the set's first volume, extracted into the set's folder:
// every volume stays, the entry after it comes out.
TEST(CanaryRows, Arj) {
  CheckCanaryRow(OneSelected("arj", Reader<vsk::TUnArj>(), "x.arj", "arj a -y ../x.arj chosen.bin other.txt"));
  const std::string after = TextBytes(30000, 4);
  CheckCanaryRow(ReaderRow("arj set opened at a later volume", [=](const fs::path& Dir, Canaries& C) {
    WriteFile(Dir / "src/big.bin", RandomBytes(200000, 9));
    WriteFile(Dir / "src/set.arj", "not the first volume\n");
    WriteFile(Dir / "src/after.txt", after);
    fs::create_directories(Dir / "set");
    Make("arj a -y -m0 -v60K ../set/set.arj big.bin set.arj after.txt", Dir / "src");
    ReaderJob j;
    for (const auto& e : fs::directory_iterator(Dir / "set")) {
      C.Watch(e.path());
      if (ReadFile(e.path()).find("after.txt") != std::string::npos) j.archive = fs::path("set") / e.path().filename();
    }
    EXPECT_NE(j.archive, "set/set.arj");
    j.make = Reader<vsk::TUnArj>();
    j.dest = "set";
    j.damage = {{j.archive, OffsetOf(Dir / j.archive, after.substr(20000, 16))}};
    j.written = {{"set/after.txt", after}};
    j.reported = {msg::SameInputOutput};
    return j;
  }));
}

}  // namespace
