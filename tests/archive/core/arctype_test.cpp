#include "archive/core/arctype.h"

#include <gtest/gtest.h>

namespace vsk {
namespace {

TEST(ArcType, DisplayNamesAreFixedWidthAndUntrimmed) {
  EXPECT_EQ(ArcTypeName(atNA), "Not avail. ");
  EXPECT_EQ(ArcTypeName(atMsGZ), "MsGZ     \t");
  EXPECT_EQ(ArcTypeName(atBhExe), "BH  SFX   ");
  EXPECT_EQ(ArcTypeName(atZoo), "ZOO       ");
  for (int t = 1; t < kArcTypeCount; ++t) EXPECT_EQ(ArcTypeName(static_cast<TArcType>(t)).size(), 10u) << t;
  EXPECT_EQ(static_cast<int>(atZoo), 32);
  EXPECT_EQ(static_cast<int>(atLha), 17);
}

TEST(ArcType, PredicateSets) {
  EXPECT_EQ(ExtractorArcTypes.Count(), 23u);
  EXPECT_EQ(TestableArcTypes.Count(), 24u);
  EXPECT_TRUE(ArcTypeHasExtractor(atCab));
  EXPECT_TRUE(ArcTypeCanTest(atCab));
  EXPECT_TRUE(ArcTypeCanTest(atJarExe));
  EXPECT_FALSE(ArcTypeHasExtractor(atJarExe));
  EXPECT_FALSE(ArcTypeHasExtractor(atHA));
  for (TArcType t : {atNA, atUnsupported, atFileOpenErr, atUnknown}) EXPECT_FALSE(IsValidArcType(t));
  EXPECT_TRUE(IsValidArcType(atMsGZ));
  EXPECT_TRUE(ArcTypeHasWriter(atLzh));
  EXPECT_FALSE(ArcTypeHasWriter(atZipExe));
  EXPECT_EQ(ArchiveExtensions.front(), ".ACE");
  EXPECT_EQ(ArchiveExtensions.back(), ".ZOO");
}

}  // namespace
}  // namespace vsk
