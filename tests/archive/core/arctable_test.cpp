#include "archive/core/arctable.h"

#include <gtest/gtest.h>

#include "archive/core/compbase.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/zip/unzip.h"
#include "archive/tools/makesfx.h"
#include "archive/tools/readers.h"

namespace vsk {
namespace {

TArcTypes TypesWhere(bool (*Has)(const TArcTypeRow&)) {
  TArcTypes s;
  for (int t = 0; t < kArcTypeCount; ++t)
    if (Has(ArcTypeRow(static_cast<TArcType>(t)))) s.Include(static_cast<TArcType>(t));
  return s;
}

TEST(ArcTable, EveryTypeHasItsRowAndItsComponents) {
  for (int i = 0; i < kArcTypeCount; ++i) {
    const auto t = static_cast<TArcType>(i);
    const TArcTypeRow& row = ArcTypeRow(t);
    EXPECT_EQ(row.Type, t) << i;
    EXPECT_EQ(row.Name, ArcTypeName(t));
    EXPECT_EQ(MakeListWalker(t) != nullptr, row.MakeWalker != nullptr) << row.Name;
    EXPECT_EQ(MakeReader(t) != nullptr, ArcTypeHasExtractor(t)) << row.Name;
    if (auto writer = row.MakeWriter ? row.MakeWriter() : nullptr) {
      // One LHA writer serves both extensions.
      EXPECT_EQ(writer->ArcType(), t == atLzh ? atLha : t) << row.Name;
    }
    EXPECT_EQ(row.MakeWriter != nullptr, ArcTypeHasWriter(t)) << row.Name;
    EXPECT_EQ(ArcTypeCanEncrypt(t), row.Encrypts) << row.Name;
    EXPECT_TRUE(!row.Encrypts || row.MakeWriter) << row.Name;
    EXPECT_EQ(TMakeSFX::StubFileName(t).empty(), row.SfxStub.empty()) << row.Name;
    // Only the types the library names are walked, read or written.
    if (!IsValidArcType(t)) {
      EXPECT_TRUE(!row.MakeWalker && !row.MakeReader && !row.MakeWriter) << row.Name;
    }
  }
  // A value past the last member reads as "not available".
  EXPECT_EQ(ArcTypeRow(static_cast<TArcType>(kArcTypeCount)).Type, atNA);
  EXPECT_EQ(ArcTypeName(static_cast<TArcType>(200)), "Not avail. ");
  // The JAR readers keep their own class, the other ZIP types share one.
  EXPECT_NE(dynamic_cast<TUnJar*>(MakeReader(atJar).get()), nullptr);
  EXPECT_EQ(dynamic_cast<TUnJar*>(MakeReader(atZipMV).get()), nullptr);
}

TEST(ArcTable, FlagsSayWhatTheComponentsDo) {
  EXPECT_EQ(TypesWhere([](const TArcTypeRow& r) { return r.OpensOwnArchive; }),
            (TArcTypes{atAce, atAceExe, atCab, atRar, atRarExe}));
  EXPECT_EQ(TypesWhere([](const TArcTypeRow& r) { return r.SizesTrusted; }),
            (TArcTypes{atZip, atZipExe, atZipMV, atJar, atJarExe, atTar, atLha, atLhaExe, atLzh, atLzhExe, atArj,
                       atArjExe, atBh, atBhExe}));
  EXPECT_EQ(TypesWhere([](const TArcTypeRow& r) { return r.Testable; }), TestableArcTypes);
  EXPECT_EQ(TypesWhere([](const TArcTypeRow& r) { return r.ConvertTarget; }),
            (TArcTypes{atZip, atJar, atLzh, atBh, atCab, atTar, atTarGZip}));
  EXPECT_EQ(TypesWhere([](const TArcTypeRow& r) { return r.Encrypts; }), (TArcTypes{atBh, atJar, atZip}));
  EXPECT_EQ(TypesWhere([](const TArcTypeRow& r) { return !r.SfxStub.empty(); }),
            (TArcTypes{atAce, atArj, atBh, atJar, atLha, atLzh, atRar, atZip}));
  EXPECT_EQ(TMakeSFX::StubFileName(atLha), "vsk_Lha.SFX");
  EXPECT_EQ(TMakeSFX::StubFileName(atAce), "vsk_Ace.SFX");
  EXPECT_EQ(TMakeSFX::StubFileName(atZipExe), "");
}

}  // namespace
}  // namespace vsk
