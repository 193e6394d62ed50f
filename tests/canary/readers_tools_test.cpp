// The canary rows of the readers whose archives Debian's tools write: zip,
// jar, tar, the gzip and compress family, jlha, arj, gcab and uuencode.

#include <gtest/gtest.h>

#include "archive/formats/arj/unarj.h"
#include "archive/formats/cab/uncab.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/lha/unlha.h"
#include "archive/formats/tar/untar.h"
#include "archive/formats/uu/uudecode.h"
#include "archive/formats/uu/uuencode.h"
#include "archive/formats/zip/unzip.h"
#include "base/messages.h"
#include "tests/canary/readerrows.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
namespace msg = vsk::msg;

TEST(CanaryRows, ZipAndJar) {
  for (const auto& rows :
       {FamilyRows({"zip", Reader<vsk::TUnZip>(), "x.zip", Tool("zip -q ../x.zip chosen.bin other.txt")}),
        FamilyRows({"jar", Reader<vsk::TUnJar>(), "x.jar", Tool("zip -q ../x.jar chosen.bin other.txt")})})
    CheckCanaryRows(rows);
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
  CheckCanaryRows(
      FamilyRows({"tar", Reader<vsk::TUnTar>(), "x.tar", Tool("tar cf ../x.tar chosen.bin other.txt"), 200}));
}

// A tar holding an entry named like the compressed archive it is in,
// extracted into the archive's own folder: the outer archive stays.
CanaryRow OuterArchive(const std::string& Name, const std::string& Pack,
                       std::vector<Ending> Endings = {std::begin(kEveryEnding), std::end(kEveryEnding)}) {
  return ReaderRow(
      Name + ", entry named like the outer archive",
      [=](const fs::path& Dir, Canaries& C) {
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
      },
      Endings);
}

// A format of one file, x.bin, extracted over a read-only file of its
// name: not replaced unasked (its create fails), and may be when asked and
// answered Yes.
// Pack: a shell command run in src, or a call given src/x.bin.
using TLonePack = std::function<void(const fs::path& Input)>;
TLonePack Shell(const std::string& Command) {
  return [Command](const fs::path& Input) { Make(Command, Input.parent_path()); };
}

std::vector<CanaryRow> LoneFile(const std::string& Row, const std::string& Name, const TLonePack& Pack,
                                std::vector<Ending> Endings = {std::begin(kEveryEnding), std::end(kEveryEnding)},
                                std::function<std::unique_ptr<vsk::TUnBase>()> Make_ = Reader<vsk::TUnGZip>()) {
  std::vector<CanaryRow> rows;
  for (const bool confirm : {false, true})
    rows.push_back(ReaderRow(
        Row + (confirm ? ", read-only file agreed to" : ", read-only file unasked"),
        [=](const fs::path& Dir, Canaries& C) {
          WriteFile(Dir / "src/x.bin", kChosen);
          Pack(Dir / "src/x.bin");
          // The text and each of its parts.
          for (const auto& e : fs::directory_iterator(Dir))
            if (e.is_regular_file()) C.Watch(e.path());
          C.Plant(Dir / "out/x.bin", 0444);
          ReaderJob j;
          j.make = Make_;
          j.archive = Name;
          j.dest = "out";
          j.confirm = confirm;
          j.yes = {"out/x.bin"};
          j.damage = {{Name, static_cast<long>(fs::file_size(Dir / Name) / 2)}};
          if (confirm)
            j.written = {{"out/x.bin", kChosen}};
          else
            j.reported = {msg::ErrorOpeningFile};
          return j;
        },
        Endings));
  return rows;
}

TEST(CanaryRows, GzipAndCompress) {
  CheckCanaryRows(
      {OuterArchive("foo.tar.gz", "tar cf ../foo.tar foo.tar.gz big.txt && gzip ../foo.tar"),
       OuterArchive("foo.tgz", "tar cf - foo.tgz big.txt | gzip -c > ../foo.tgz"),
       OuterArchive("foo.tar.Z", "tar cf ../foo.tar foo.tar.Z big.txt && compress ../foo.tar", kUnchecked)});
  for (const auto& rows : {LoneFile("gzip", "x.bin.gz", Shell("gzip -c x.bin > ../x.bin.gz")),
                           LoneFile("compress", "x.bin.Z", Shell("compress -c x.bin > ../x.bin.Z"), kUnchecked)})
    CheckCanaryRows(rows);
}

// No Debian tool writes xxencoded text: the project's encoder, in parts.
void XxParts(const fs::path& Input) {
  vsk::TUUEncode e;
  e.SetArchiveFile(Input.string());
  e.SetOutFilename((Input.parent_path().parent_path() / "x.xxe").string());
  ASSERT_TRUE(e.SetCompressMethod(vsk::cmXXEncode));
  e.KBytesPerVolume = 400;
  ASSERT_EQ(e.Compress(), 1);
  ASSERT_GT(e.FilesWritten(), 1);
}

TEST(CanaryRows, LhaCabUu) {
  for (const auto& rows :
       {FamilyRows({"lha", Reader<vsk::TUnLha>(), "x.lzh", Tool("jlha a ../x.lzh chosen.bin other.txt")}),
        FamilyRows({"cab", Reader<vsk::TUnCab>(), "x.cab", Tool("gcab -cz ../x.cab chosen.bin other.txt")}),
        LoneFile("uu", "x.uue", Shell("uuencode x.bin x.bin > ../x.uue"), kUnchecked, Reader<vsk::TUUDecode>()),
        LoneFile("xx in parts", "x.xxe", XxParts, kUnchecked, Reader<vsk::TUUDecode>())})
    CheckCanaryRows(rows);
}

// A set made with arj -v60K, opened at the volume that holds an entry
// named like the set's first volume, extracted into the set's folder:
// every volume stays, the entry after it comes out.
TEST(CanaryRows, Arj) {
  CheckCanaryRows(FamilyRows({"arj", Reader<vsk::TUnArj>(), "x.arj", Tool("arj a -y ../x.arj chosen.bin other.txt")}));
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
