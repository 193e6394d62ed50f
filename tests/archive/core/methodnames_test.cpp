#include "archive/core/methodnames.h"

#include <gtest/gtest.h>

namespace vsk {
namespace {

std::string Name(TArcType t, int m) {
  TMethodQuery q;
  q.ArcType = t;
  q.Method = m;
  return CompressMethodName(q);
}

TEST(MethodNames, ZipFamily) {
  for (TArcType t : {atZip, atZipExe, atZipMV, atJar, atJarExe}) {
    EXPECT_EQ(Name(t, 0), "Stored");
    EXPECT_EQ(Name(t, 6), "Imploded");
    EXPECT_EQ(Name(t, 10), "DCL-implode");
  }
  EXPECT_EQ(Name(atZip, 1), "Shrunk");
  EXPECT_EQ(Name(atZip, 5), "Reduce-4");
  EXPECT_EQ(Name(atZip, 7), "Tokened");
  TMethodQuery q{.ArcType = atZip, .Method = 8};
  for (auto [flags, name, name64] : {std::tuple{0, "DeflateN", "Def-64N"}, {2, "DeflateX", "Def-64X"},
                                     {4, "DeflateF", "Def-64F"}, {6, "DeflateS", "Def-64S"},
                                     {0x0809, "DeflateN", "Def-64N"}, {0xFFFF, "DeflateS", "Def-64S"}}) {
    q.Flags = static_cast<UInt16>(flags);
    q.Method = 8;
    EXPECT_EQ(CompressMethodName(q), name) << flags;
    q.Method = 9;
    EXPECT_EQ(CompressMethodName(q), name64) << flags;
  }
  q = {.ArcType = atZip, .Method = 12};
  EXPECT_EQ(CompressMethodName(q), "Unsupported");
  q.ExternalAttr = 0x10;
  EXPECT_EQ(CompressMethodName(q), "<Dir>");
  q.Method = 0;
  EXPECT_EQ(CompressMethodName(q), "Stored");
}

TEST(MethodNames, OtherFormats) {
  EXPECT_EQ(Name(atAce, 0), "Fastest");
  EXPECT_EQ(Name(atAceExe, 5), "Lzw");
  EXPECT_EQ(Name(atAce, 6), "Unsupported");

  EXPECT_EQ(Name(atArc, 1), "Stored");
  EXPECT_EQ(Name(atArc, 4), "Squeezed");
  EXPECT_EQ(Name(atArcExe, 8), "Pack10");
  EXPECT_EQ(Name(atArc, 11), "Stored");
  EXPECT_EQ(Name(atArc, 0), "Unsupported");
  EXPECT_EQ(Name(atArc, 30), "<Dir>");

  EXPECT_EQ(Name(atArj, 2), "2nd Most");
  EXPECT_EQ(Name(atArj, 3), "2nd Fast");
  EXPECT_EQ(Name(atArj, 4), "Fastest");
  EXPECT_EQ(Name(atArj, 7), "Unsupported");
  TMethodQuery arjDir{.ArcType = atArj, .Method = 7, .IsDirectory = true};
  EXPECT_EQ(CompressMethodName(arjDir), "<Dir>");

  EXPECT_EQ(Name(atBh, 1), "Fused1");
  EXPECT_EQ(Name(atBhExe, 3), "Fused3");
  TMethodQuery bh{.ArcType = atBh, .Method = 8, .Flags = 2};
  EXPECT_EQ(CompressMethodName(bh), "DeflateX");
  EXPECT_EQ(Name(atBh, 4), "Unsupported");

  EXPECT_EQ(Name(atCab, 0), "Stored");
  EXPECT_EQ(Name(atCab, 1), "MsZIP");
  EXPECT_EQ(Name(atCab, 2), "Quantum");
  EXPECT_EQ(Name(atCab, 3), "Lzx");
  EXPECT_EQ(Name(atCab, 5), "Lzx5");
  EXPECT_EQ(Name(atCab, 15), "Lzx15");
  EXPECT_EQ(Name(atCab, 0x1503), "Lzx");  // the window bits above are ignored

  EXPECT_EQ(Name(atGZip, 0), "Stored");
  EXPECT_EQ(Name(atGZip, 8), "Deflate");
  EXPECT_EQ(Name(atGZip, 144), "LzwMAGIC");
  TMethodQuery gz{.ArcType = atGZip, .Method = 3, .GzMagic0 = 0x1F, .GzMagic1 = 0x1E};
  EXPECT_EQ(CompressMethodName(gz), "PackMAGIC");
  gz.GzMagic1 = 0xA0;
  EXPECT_EQ(CompressMethodName(gz), "LzhMAGIC");
  gz.GzMagic1 = 0x8B;
  EXPECT_EQ(CompressMethodName(gz), "Unsupported");

  EXPECT_EQ(Name(atHA, 2), "HSC");
  EXPECT_EQ(Name(atHA, 14), "<Dir>");
  EXPECT_EQ(Name(atHA, 15), "Special");
  EXPECT_EQ(Name(atHA, 3), "Unsupported");

  EXPECT_EQ(Name(atLha, '0'), "Stored");
  EXPECT_EQ(Name(atLzh, '5'), "Frozen-5");
  EXPECT_EQ(Name(atLhaExe, '7'), "Frozen-7");
  EXPECT_EQ(Name(atLzhExe, 'd'), "<Dir>");
  EXPECT_EQ(Name(atLha, 100), "<Dir>");
  EXPECT_EQ(Name(atLha, '8'), "Unsupported");
  EXPECT_EQ(Name(atLha, 0), "Unsupported");

  EXPECT_EQ(Name(atPak, 2), "Stored");
  EXPECT_EQ(Name(atPak, 3), "RLE");
  EXPECT_EQ(Name(atPak, 5), "FixedLen");
  EXPECT_EQ(Name(atPakExe, 7), "FixedLen");
  EXPECT_EQ(Name(atPak, 8), "Varible");
  EXPECT_EQ(Name(atPak, 9), "Varible");
  EXPECT_EQ(Name(atPak, 10), "Crushed");
  EXPECT_EQ(Name(atPak, 11), "Distill");
  EXPECT_EQ(Name(atPak, 12), "Unsupported");

  EXPECT_EQ(Name(atRar, '0'), "Stored");
  EXPECT_EQ(Name(atRarExe, '3'), "Normal");
  EXPECT_EQ(Name(atRar, '5'), "Best");
  EXPECT_EQ(Name(atRar, '6'), "Unsupported");
  TMethodQuery rarDir{.ArcType = atRar, .Method = '0', .IsDirectory = true};
  EXPECT_EQ(CompressMethodName(rarDir), "<Dir>");

  EXPECT_EQ(Name(atTar, 0), "Tarred");
  TMethodQuery tar{.ArcType = atTar, .Method = 53, .EntryName = "docs/"};
  EXPECT_EQ(CompressMethodName(tar), "<Dir>");
  tar.EntryName = "docs/a.txt";
  EXPECT_EQ(CompressMethodName(tar), "Unsupported");

  EXPECT_EQ(Name(atZoo, 2), "Greatest");
  EXPECT_EQ(Name(atZoo, 3), "Unsupported");

  for (TArcType t : {atNA, atUnknown, atUUE, atMsGZ, atTarGZip}) EXPECT_EQ(Name(t, 0), "Unsupported");
}

}  // namespace
}  // namespace vsk
