#include "archive/core/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vsk {
namespace {

TEST(Numbers, Percent) {
  EXPECT_EQ(Percent(0.0, 50.0), 0);
  EXPECT_EQ(Percent(-5.0, 50.0), 0);
  EXPECT_EQ(Percent(100.0, 150.0), 100);
  EXPECT_EQ(Percent(200.0, 1.0), 0);    // 0.5 rounds to even
  EXPECT_EQ(Percent(200.0, 3.0), 2);    // 1.5 -> 2
  EXPECT_EQ(Percent(200.0, 5.0), 2);    // 2.5 -> 2
  EXPECT_EQ(Percent(3.0, 2.0), 67);
  EXPECT_EQ(Percent(1.0, std::nan("")), 0);
  EXPECT_EQ(Percent(100.0, -20.0), 0);

  EXPECT_EQ(Percent(0u, 123u), 0);
  EXPECT_EQ(Percent(200u, 1u), 0);
  EXPECT_EQ(Percent(200u, 3u), 2);
  EXPECT_EQ(Percent(200u, 5u), 2);
  EXPECT_EQ(Percent(200u, 7u), 4);
  EXPECT_EQ(Percent(3u, 2u), 67);
  EXPECT_EQ(Percent(100u, 150u), 100);
  EXPECT_EQ(Percent(UInt32{0xFFFFFFFF}, UInt32{0xFFFFFFFE}), 100);
  EXPECT_EQ(Percent(UInt32{0xFFFFFFFF}, UInt32{0x7FFFFFFF}), 50);
}

TEST(Numbers, CompressRatio) {
  EXPECT_EQ(CompressRatio(Int32{50}, Int32{100}), 50);
  EXPECT_EQ(CompressRatio(Int32{100}, Int32{100}), 0);
  EXPECT_EQ(CompressRatio(Int32{120}, Int32{100}), 0);
  EXPECT_EQ(CompressRatio(Int32{0}, Int32{0}), 0);
  EXPECT_EQ(CompressRatio(Int32{0}, Int32{10}), 100);
  EXPECT_EQ(CompressRatio(Int32{1}, Int32{200}), 100);  // 99.5 -> 100
  EXPECT_EQ(CompressRatio(Int32{3}, Int32{200}), 98);   // 98.5 -> 98
  EXPECT_EQ(CompressRatio(Int32{-5}, Int32{10}), 100);
  // The product would not fit in 32 bits.
  EXPECT_EQ(CompressRatio(Int32{1}, std::numeric_limits<Int32>::max()), 100);
  EXPECT_EQ(CompressRatio(Int32{0x40000000}, std::numeric_limits<Int32>::max()), 50);

  EXPECT_EQ(CompressRatio(Int64{50}, Int64{100}), 50);
  EXPECT_EQ(CompressRatio(Int64{100}, Int64{100}), 0);
  EXPECT_EQ(CompressRatio(Int64{0}, Int64{0}), 0);
  EXPECT_EQ(CompressRatio(Int64{1} << 61, std::numeric_limits<Int64>::max()), 75);
  EXPECT_EQ(CompressRatio(Int64{1}, std::numeric_limits<Int64>::max()), 100);

  EXPECT_EQ(CompressRatio(50.0, 100.0), 50);
  EXPECT_EQ(CompressRatio(120.0, 100.0), 0);
  EXPECT_EQ(CompressRatio(0.0, 0.0), 0);
  EXPECT_EQ(CompressRatio(3.0, 200.0), 98);
  EXPECT_EQ(CompressRatio(std::nan(""), 100.0), 0);

  // Header fields of other widths go through the 64-bit form.
  EXPECT_EQ(CompressRatio(UInt32{1000}, UInt32{0xFFFFFFFF}), 100);
  EXPECT_EQ(CompressRatio(UInt32{0x80000000}, UInt32{0xFFFFFFFF}), 50);
}

TEST(Numbers, MinAndCompareBytes) {
  EXPECT_EQ(Min(3u, 0xFFFFFFFFu), 3u);
  EXPECT_EQ(Min(0xFFFFFFFFu, 0xFFFFFFFEu), 0xFFFFFFFEu);
  const char a[] = "abcdef";
  const char b[] = "abcxef";
  EXPECT_TRUE(CompareBytes(a, b, 3));
  EXPECT_FALSE(CompareBytes(a, b, 4));
  EXPECT_TRUE(CompareBytes(nullptr, nullptr, 0));
}

}  // namespace
}  // namespace vsk
