#include "archive/core/deflateahead.h"

#include <gtest/gtest.h>

#include "base/checksum.h"
#include "tests/support/rawdeflate.h"
#include "tests/support/testutil.h"

namespace vsktest {
namespace {

using vsk::TDeflateAhead;
using vsk::TDeflatedEntry;

std::string Output(const TDeflatedEntry& e) {
  std::string s(static_cast<std::size_t>(e.OutputSize()), '\0');
  EXPECT_TRUE(e.ReadOutput(0, s.data(), e.OutputSize()));
  return s;
}

TEST(DeflateAhead, WorkersMakeZlibsStreamsWithinABoundedWindow) {
  TempDir tmp;
  const std::string text = TextBytes(300000, 2);
  const std::string noise = RandomBytes(6 << 20, 3);  // its output passes the memory limit
  WriteFile(tmp / "text.txt", text);
  WriteFile(tmp / "noise.bin", noise);
  WriteFile(tmp / "tiny-text.txt", std::string(200, 'x'));
  WriteFile(tmp / "tiny-noise.bin", RandomBytes(200, 4));

  TDeflateAhead ahead(2, vsk::dtDeflateN, tmp.path().string());
  EXPECT_FALSE(ahead.Take(0, {}));  // nothing queued
  const char* names[] = {"text.txt", "noise.bin", "tiny-text.txt", "tiny-noise.bin", "missing.txt"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    ASSERT_TRUE(ahead.HasRoom(1000));
    ahead.Queue(i, (tmp / names[i]).string(), 1000);
  }
  // The window of two threads takes 64 entries and 32 MiB of sources; an
  // entry of any size fits an empty window.
  ahead.Queue(5, (tmp / "text.txt").string(), 1000);
  EXPECT_TRUE(ahead.HasRoom(1000));
  EXPECT_FALSE(ahead.HasRoom(vsk::Int64{32} << 20));
  TDeflateAhead other(2, vsk::dtDeflateN, tmp.path().string());
  EXPECT_TRUE(other.HasRoom(vsk::Int64{1} << 40));
  for (std::size_t i = 0; i < 64; ++i) other.Queue(i, (tmp / "tiny-text.txt").string(), 1);
  EXPECT_FALSE(other.HasRoom(1));

  auto t = ahead.Take(0, {});
  ASSERT_TRUE(t);
  EXPECT_TRUE(t->Deflated);
  EXPECT_EQ(t->Total, static_cast<vsk::Int64>(text.size()));
  EXPECT_EQ(t->StatSize, t->Total);
  EXPECT_EQ(t->Crc, vsk::Crc32Of(text.data(), text.size()));
  EXPECT_EQ(Output(*t), RawDeflate(text));

  auto n = ahead.Take(1, {});
  ASSERT_TRUE(n);
  EXPECT_GT(n->OutputSize(), vsk::kAheadHeldBytes);
  EXPECT_EQ(Output(*n), RawDeflate(noise));
  // Reads at an offset inside the spilled output, and none past its end.
  std::string part(100, '\0');
  ASSERT_TRUE(n->ReadOutput(n->OutputSize() - 100, part.data(), 100));
  EXPECT_EQ(part, Output(*n).substr(static_cast<std::size_t>(n->OutputSize() - 100)));
  EXPECT_FALSE(n->ReadOutput(n->OutputSize() - 99, part.data(), 100));

  // Small sources keep the smaller of both forms.
  auto s = ahead.Take(2, {});
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->Deflated);
  EXPECT_EQ(Output(*s), RawDeflate(std::string(200, 'x')));
  auto r = ahead.Take(3, {});
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->Deflated);
  EXPECT_EQ(Output(*r), RandomBytes(200, 4));

  EXPECT_FALSE(ahead.Take(4, {}));  // the source is missing: the writer handles it
  ahead.Forget(6);
  EXPECT_FALSE(ahead.Queued(5));
  EXPECT_TRUE(ahead.HasRoom(vsk::Int64{1} << 40));
}

}  // namespace
}  // namespace vsktest
