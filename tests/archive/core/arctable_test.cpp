#include <gtest/gtest.h>

#include <map>
#include <string_view>
#include <typeindex>

#include "archive/core/arctype.h"
#include "archive/core/compbase.h"
#include "archive/core/register.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/zip/unzip.h"
#include "archive/tools/makesfx.h"
#include "archive/tools/readers.h"
#include "archive/tools/writers.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

// The factories make what the class columns name: one class per name, the
// same class for every row that names it, and nothing where a row names none.
TEST(ArcTable, FactoriesFollowTheClassColumns) {
  std::map<std::string_view, std::type_index> readers, writers;
  for (int i = 0; i < kArcTypeCount; ++i) {
    const auto t = static_cast<TArcType>(i);
    const TArcTypeRow& row = ArcTypeRow(t);
    EXPECT_EQ(row.Type, t) << i;
    EXPECT_EQ(MakeListWalker(t) != nullptr, row.Walked) << row.Name;
    const auto reader = MakeReader(t);
    ASSERT_EQ(reader != nullptr, !row.ReaderClass.empty()) << row.Name;
    if (reader) {
      const auto [it, added] = readers.emplace(row.ReaderClass, typeid(*reader));
      EXPECT_EQ(it->second, std::type_index(typeid(*reader))) << row.Name;
    }
    const auto writer = MakeWriter(t);
    ASSERT_EQ(writer != nullptr, !row.WriterClass.empty()) << row.Name;
    if (writer) {
      const auto [it, added] = writers.emplace(row.WriterClass, typeid(*writer));
      EXPECT_EQ(it->second, std::type_index(typeid(*writer))) << row.Name;
      // One LHA writer serves both extensions.
      EXPECT_EQ(writer->ArcType(), t == atLzh ? atLha : t) << row.Name;
    }
    EXPECT_EQ(ArcTypeCanEncrypt(t), row.Encrypts) << row.Name;
    EXPECT_TRUE(!row.Encrypts || writer) << row.Name;
    EXPECT_EQ(TMakeSFX::StubFileName(t).empty(), row.SfxStub.empty()) << row.Name;
    // Only the types the library names are walked, read or written.
    if (!IsValidArcType(t)) {
      EXPECT_TRUE(!row.Walked && !reader && !writer) << row.Name;
    }
  }
  // Distinct names are distinct classes.
  std::map<std::type_index, std::string_view> seen;
  for (const auto& [name, type] : readers) EXPECT_TRUE(seen.emplace(type, name).second) << name;
  // A value past the last member reads as "not available".
  EXPECT_EQ(ArcTypeRow(static_cast<TArcType>(kArcTypeCount)).Type, atNA);
  EXPECT_EQ(MakeReader(static_cast<TArcType>(200)), nullptr);
  EXPECT_EQ(MakeWriter(static_cast<TArcType>(200)), nullptr);
  // The JAR reader keeps its own class.
  EXPECT_NE(dynamic_cast<TUnJar*>(MakeReader(atJar).get()), nullptr);
  EXPECT_EQ(dynamic_cast<TUnJar*>(MakeReader(atZipMV).get()), nullptr);
}

// The facts of a row hold together: the converter reads only what a reader
// takes, and never a self-extracting ACE archive; only a type made
// self-extracting has offsets that slide with the stub; the rows carry the
// rules the components apply by them.
TEST(ArcTable, FlagsFollowWhatTheTypeCanDo) {
  for (int i = 0; i < kArcTypeCount; ++i) {
    const TArcTypeRow& row = ArcTypeRow(static_cast<TArcType>(i));
    EXPECT_TRUE(!row.ConvertSource || !row.ReaderClass.empty()) << row.Name;
    EXPECT_TRUE(!row.SfxSlidesOffsets || !row.SfxStub.empty()) << row.Name;
  }
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.ConvertSource; }),
            ExtractorArcTypes - TArcTypes{atAceExe});
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.SfxSlidesOffsets; }), (TArcTypes{atZip, atJar}));
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.UnixModes; }),
            (TArcTypes{atAce, atAceExe, atRar, atRarExe}));
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.PartNamedVolumes; }), (TArcTypes{atRar, atRarExe}));
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.PackedByArchive; }), TArcTypes{atCab});
}

// A stub made for a type runs its self-extracting twin, and every stub that
// runs a type is one the table makes.
TEST(ArcTable, StubColumnsPairUp) {
  for (const TArcTypeRow& row : arcflag::kRows) {
    if (!row.SfxStub.empty()) {
      EXPECT_TRUE(arcflag::HasWord(ArcTypeRow(row.SfxTwin).RunByStub, row.SfxStub)) << row.Name;
      EXPECT_FALSE(row.ReaderClass.empty()) << row.Name;
    }
    arcflag::ForEachWord(row.RunByStub, [&](std::string_view word) {
      EXPECT_EQ(row.SfxTwin, row.Type) << row.Name;
      bool made = false;
      for (const TArcTypeRow& r : arcflag::kRows) made = made || r.SfxStub == word;
      EXPECT_TRUE(made) << row.Name << " " << word;
    });
  }
}

std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }

// Detection of a header at a file's start gives its row's type; behind the
// DOS image of a program, the row's self-extracting twin.
TEST(ArcTable, SignaturesGiveTheirRowAndTheTwinInAProgram) {
  vsktest::TempDir dir;
  const std::string pad(60, 'x');
  const std::pair<TArcType, std::string> samples[] = {
      {atArc, std::string("\x1A\x08", 2) + pad},
      {atArj, std::string("\x60\xEA", 2) + pad},
      {atBh, std::string("BH\x05\x07", 4) + pad},
      {atCab, "MSCF" + pad},
      {atGZip, std::string("\x1F\x8B\x08\x00", 4) + pad},
      {atHA, "HA\x02" + pad},
      {atLha, std::string("\x22\x5A-lh5-", 7) + pad},
      {atMsGZ, std::string("\x13\x5D\x65\x8C", 4) + pad},
      {atPak, std::string("\x1A\x0A", 2) + pad},
      {atRar, std::string("Rar!\x1A\x07\x00", 7) + pad},
      {atZip, std::string("PK\x05\x06", 4) + std::string(18, '\0')},
      {atZoo, "ZOO 2.10" + pad},
  };
  TArcTypes sampled;
  for (const auto& [type, bytes] : samples) {
    const TArcTypeRow& row = ArcTypeRow(type);
    SCOPED_TRACE(std::string(row.Name));
    sampled.Include(type);
    vsktest::WriteFile(dir / "plain", bytes);
    TRegisterVorsk r;
    EXPECT_EQ(r.DetectArcType((dir / "plain").string()), type);

    std::string program(1024, '\0');
    program[0] = 'M';
    program[1] = 'Z';
    program.replace(2, 4, Le16(512) + Le16(2));  // the DOS image ends at 1024
    vsktest::WriteFile(dir / "program", program + bytes);
    const TArcType inside = r.DetectArcType((dir / "program").string());
    if (IsValidArcType(row.SfxTwin)) {
      EXPECT_EQ(inside, row.SfxTwin);
      EXPECT_EQ(r.ArcOffset, 1024);
    } else {
      EXPECT_NE(inside, type);
    }
  }
  // Every plain type with a self-extracting twin that detection tells by its
  // signature has its sample (JAR and LZH are told by name or written only;
  // ACE by the mark inside its header).
  for (const TArcTypeRow& row : arcflag::kRows) {
    const bool signed_ = row.Type != atJar && row.Type != atLzh && row.Type != atAce;
    if (IsValidArcType(row.SfxTwin) && row.SfxTwin != row.Type && signed_) {
      EXPECT_TRUE(sampled.Contains(row.Type)) << row.Name;
    }
  }
}

// Where two formats' marks meet in one header, the order of the detection
// steps decides as it always has: a mark beyond the first two bytes beats a
// pair of first bytes, an ACE mark beats every signature but a zip's.
TEST(ArcTable, StepOrderWhereMarksMeet) {
  vsktest::TempDir dir;
  const std::string ace = std::string("**ACE**") + std::string(60, 'x');
  const std::pair<std::string, TArcType> cases[] = {
      {std::string("PK-lh5-", 7) + std::string(60, 'x'), atLha},
      {std::string("\x1A\x08-lh5-", 7) + std::string(60, 'x'), atLha},
      {std::string("\x1F\x8B-lh5-", 7) + std::string(60, 'x'), atLha},
      {std::string("\x1A\x08\0\0\0\0\0", 7) + ace, atAce},
      {std::string("Rar!\0\0\0", 7) + ace, atAce},
      {std::string("PK\x03\x04\0\0\0", 7) + ace, atZip},
      {std::string("PK\x07\x08\0\0\0", 7) + ace, atZipMV},
  };
  for (const auto& [bytes, type] : cases) {
    vsktest::WriteFile(dir / "f", bytes);
    TRegisterVorsk r;
    EXPECT_EQ(r.DetectArcType((dir / "f").string()), type) << bytes.substr(0, 4);
  }
}

}  // namespace
}  // namespace vsk
