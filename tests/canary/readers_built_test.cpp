// The canary rows of the readers whose archives no Debian tool writes: BH,
// ARC and ZOO built here with stored entries, ACE with the test encoder,
// RAR 5 volume sets and cabinet sets with the test builders.

#include <gtest/gtest.h>

#include "archive/formats/ace/unace.h"
#include "archive/formats/arc/unarc.h"
#include "archive/formats/cab/uncab.h"
#include "archive/formats/lha/bhheader.h"
#include "archive/formats/lha/unbh.h"
#include "archive/formats/rar/unrar.h"
#include "archive/formats/zoo/unzoo.h"
#include "archive/formats/zoo/zooheader.h"
#include "base/checksum.h"
#include "base/messages.h"
#include "tests/canary/readerrows.h"
#include "tests/libs/ace/aceencoder.h"
#include "tests/support/archivebytes.h"
#include "tests/support/cabbuild.h"
#include "tests/support/rar5build.h"
#include "tests/support/testutil.h"

namespace {

using namespace vsktest;
namespace msg = vsk::msg;
using vsk::UInt32;

constexpr UInt32 kDos = 0x5A6B3C4D;

struct Stored {
  std::string name, data;
};
using TBuild = std::function<std::string(const std::vector<Stored>&)>;

std::string Bh(const std::vector<Stored>& Entries) {
  std::string arc;
  for (const auto& e : Entries) {
    const auto size = static_cast<UInt32>(e.data.size());
    arc += Le32(vsk::kBhSignature) + Le16(static_cast<unsigned>(37 + e.name.size())) + "\x25\x04\x08" +
           std::string(2, '\0') + Le32(kDos) + Le32(size) + Le32(size) + Le32(vsk::Crc32Of(e.data.data(), size)) +
           Le16(0x20) + Le32(0) + Le16(static_cast<unsigned>(e.name.size())) + Le16(0) + e.name + e.data;
  }
  return arc;
}

std::string Arc(const std::vector<Stored>& Entries) {
  Bytes b;
  for (const auto& e : Entries) {
    const auto size = static_cast<UInt32>(e.data.size());
    b.U8(0x1A).U8(2).Field(e.name, 13).U32(size).U16(DosDate(2011, 6, 7)).U16(DosTime(8, 9, 10));
    b.U16(vsk::Crc16Of(e.data.data(), size)).U32(size).Raw(e.data);
  }
  return b.U8(0x1A).U8(0).str();
}

// A directory entry of type 2 without a variable part (58 bytes), its
// CRC-16 filled in.
std::string ZooEntry(const Stored& E, UInt32 At, UInt32 Next) {
  Bytes b;
  b.U32(vsk::kZooTag).U8(2).U8(0).U32(Next).U32(Next == 0 ? 0 : At + 58).U16(DosDate(2011, 6, 7));
  b.U16(DosTime(8, 9, 10)).U16(vsk::Crc16Of(E.data.data(), E.data.size()));
  b.U32(static_cast<UInt32>(E.data.size())).U32(static_cast<UInt32>(E.data.size())).U8(2).U8(1).U8(0).U8(0);
  b.U32(0).U16(0).Field(E.name, 13).U16(0).U8(127).U16(0);
  std::string s = b.str();
  s.resize(58, '\0');
  const auto crc = vsk::Crc16Of(s.data(), s.size());
  s[54] = static_cast<char>(crc & 0xFF);
  s[55] = static_cast<char>(crc >> 8);
  return s;
}

std::string Zoo(const std::vector<Stored>& Entries) {
  Bytes b;
  b.Field("ZOO 2.10 Archive.\x1A", 20).U32(vsk::kZooTag).U32(42).U32(0u - 42u).U8(2).U8(0).U8(1).U32(0).U16(0).U8(0);
  std::string s = b.str();
  for (const auto& e : Entries) {
    const auto at = static_cast<UInt32>(s.size());
    s += ZooEntry(e, at, static_cast<UInt32>(at + 58 + e.data.size())) + e.data;
  }
  return s + ZooEntry({}, static_cast<UInt32>(s.size()), 0);
}

std::string Rar5(const std::vector<Stored>& Entries) {
  std::string arc = kRar5Marker + Rar5Main(0);
  for (const auto& e : Entries) arc += Rar5File(2, e.name, e.data);
  return arc + Rar5End(false);
}

// The two entries stored by Build.
TPack Stores(const TBuild& Build) {
  return [Build](const fs::path& Dir, const std::string& Name) {
    WriteFile(Dir / Name, Build({{"chosen.bin", kChosen}, {"other.txt", kOther}}));
  };
}

TEST(CanaryRows, BhArcZoo) {
  for (const auto& rows : {FamilyRows({"bh", Reader<vsk::TUnBh>(), "x.bh", Stores(Bh)}),
                           FamilyRows({"arc", Reader<vsk::TUnArc>(), "x.arc", Stores(Arc)}),
                           FamilyRows({"zoo", Reader<vsk::TUnZoo>(), "x.zoo", Stores(Zoo)})})
    CheckCanaryRows(rows);
}

// A volume set opened at a later volume, where it or one after it holds
// an entry named like an earlier volume, and then after.txt; extracted
// into the set's own folder, every volume stays and after.txt comes out.
struct SetRow {
  std::string row;
  std::function<std::unique_ptr<vsk::TUnBase>()> make;
  // Writes the set below Dir/set from the decoy's name and after.txt's
  // bytes; returns the volume to open.
  std::function<std::string(const fs::path& Set, const std::string& After)> build;
  bool checked = true;  // the set's data are checked: a failure can be made
};

CanaryRow EarlierVolumes(const SetRow& S) {
  std::vector<Ending> endings = {Ending::Success, Ending::Cancel, Ending::Kill};
  if (S.checked) endings.push_back(Ending::Failure);
  return ReaderRow(
      S.row,
      [S](const fs::path& Dir, Canaries& C) {
        const std::string after = TextBytes(20000, 5);
        fs::create_directories(Dir / "set");
        const std::string opened = S.build(Dir / "set", after);
        for (const auto& e : fs::directory_iterator(Dir / "set")) C.Watch(e.path());
        ReaderJob j;
        j.make = S.make;
        j.archive = fs::path("set") / opened;
        j.dest = "set";
        for (const auto& e : fs::directory_iterator(Dir / "set"))
          if (ReadFile(e.path()).find(after.substr(10000, 16)) != std::string::npos)
            j.damage = {{fs::path("set") / e.path().filename(), OffsetOf(e.path(), after.substr(10000, 16))}};
        j.written = {{"set/after.txt", after}};
        j.reported = {msg::SameInputOutput};
        return j;
      },
      endings);
}

TEST(CanaryRows, AceSetsAndArchives) {
  CheckCanaryRows(FamilyRows({"ace", Reader<vsk::TUnACE>(), "x.ace", [](const fs::path& Dir, const std::string& Name) {
                                WriteAce((Dir / Name).string(), {{.name = "chosen.bin", .data = kChosen},
                                                                 {.name = "other.txt", .data = kOther}});
                              }}));
  CheckCanaryRow(EarlierVolumes(
      {"ace set opened at a later volume", Reader<vsk::TUnACE>(), [](const fs::path& Set, const std::string& After) {
         const auto names = WriteAce((Set / "set.ace").string(),
                                     {{.name = "big.bin", .data = RandomBytes(100000, 3), .lz77 = false},
                                      {.name = "set.ace", .data = "not the first volume\n", .lz77 = false},
                                      {.name = "after.txt", .data = After, .lz77 = false}},
                                     {.volumeSize = 40000});
         // The volume holding the decoy's header.
         for (const auto& n : names)
           if (ReadFile(n).find("not the first volume") != std::string::npos) {
             EXPECT_NE(n, names.front());
             return fs::path(n).filename().string();
           }
         return std::string();
       }}));
}

// RAR 5 sets of three volumes built here, opened at the second: the third
// holds an entry named like the first.
std::function<std::string(const fs::path&, const std::string&)> RarSet(std::vector<std::string> Names) {
  return [Names](const fs::path& Set, const std::string& After) {
    using vsktest::Rar5File;
    const std::vector<std::string> volumes = {
        kRar5Marker + Rar5Main(1) + Rar5File(2, "first.txt", "first") + Rar5End(true),
        kRar5Marker + Rar5Main(3, 1) + Rar5File(2, "mid.txt", "mid") + Rar5End(true),
        kRar5Marker + Rar5Main(3, 2) + Rar5File(2, Names[0], "not the first volume\n") +
            Rar5File(2, "after.txt", After) + Rar5End(false)};
    for (int i = 0; i < 3; ++i)
      WriteFile(Set / Names[static_cast<std::size_t>(i)], volumes[static_cast<std::size_t>(i)]);
    return Names[1];
  };
}

TEST(CanaryRows, RarAndCabinetSets) {
  ASSERT_TRUE(vsk::TUnRar::LibraryPresent());
  CheckCanaryRows(FamilyRows({"rar", Reader<vsk::TUnRar>(), "x.rar", Stores(Rar5)}));
  CheckCanaryRows({EarlierVolumes({"rar set opened at part 2", Reader<vsk::TUnRar>(),
                                   RarSet({"x.part1.rar", "x.part2.rar", "x.part3.rar"})}),
                   EarlierVolumes({"old-style rar set opened at .r00", Reader<vsk::TUnRar>(),
                                   RarSet({"y.rar", "y.r00", "y.r01"})})});
  // Stored cabinets without block checksums: no damage shows.
  CheckCanaryRow(EarlierVolumes({"cabinet set opened at the second", Reader<vsk::TUnCab>(),
                                 [](const fs::path& Set, const std::string& After) {
                                   const std::string decoy = "not the first cabinet\n";
                                   CabSpec one, two;
                                   one.folders = {{TextBytes(20000, 8)}};
                                   one.files = {{.name = "first.txt", .size = 20000}};
                                   one.nextCab = "set2.cab";
                                   two.folders = {{decoy + After}};
                                   two.files = {{.name = "set1.cab", .size = static_cast<UInt32>(decoy.size())},
                                                {.name = "after.txt",
                                                 .size = static_cast<UInt32>(After.size()),
                                                 .offset = static_cast<UInt32>(decoy.size())}};
                                   two.prevCab = "set1.cab";
                                   two.index = 1;
                                   WriteFile(Set / "set1.cab", BuildCab(one));
                                   WriteFile(Set / "set2.cab", BuildCab(two));
                                   return std::string("set2.cab");
                                 },
                                 false}));
}

}  // namespace
