#include <gtest/gtest.h>

#include <map>
#include <string_view>
#include <typeindex>

#include "archive/core/arctype.h"
#include "archive/core/compbase.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/zip/unzip.h"
#include "archive/tools/makesfx.h"
#include "archive/tools/readers.h"
#include "archive/tools/writers.h"

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

}  // namespace
}  // namespace vsk
