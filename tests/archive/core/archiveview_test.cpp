#include "archive/core/archiveview.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/testutil.h"

namespace vsk {
namespace {

// Reads at any position and of any length, within a block, across block
// edges, larger than a block and past the end, give the archive's bytes, from
// a file as from a stream that is no file; a file's own position is left
// where it was.
TEST(ArchiveView, ReadsGiveTheBytesWhereverTheyLie) {
  vsktest::TempDir dir;
  const std::string data = vsktest::RandomBytes(5000, 9);
  vsktest::WriteFile(dir / "a.bin", data);
  TFileStream32 file((dir / "a.bin").string(), fmOpenRead);
  TMemoryStream32 memory;
  memory.WriteBuffer(data.data(), static_cast<Int64>(data.size()));
  ASSERT_EQ(file.Seek(123, soBeginning), 123);
  for (TStream32* source : {static_cast<TStream32*>(&file), static_cast<TStream32*>(&memory)}) {
    TArchiveView view(256);
    view.SetSource(source);
    std::mt19937 rng(4);
    for (int i = 0; i < 2000; ++i) {
      const Int64 at = static_cast<Int64>(rng() % 5200);
      const Int32 count = static_cast<Int32>(i % 50 == 0 ? rng() % 1200 : rng() % 300);
      std::string got(static_cast<std::size_t>(count), '\0');
      const Int32 n = view.ReadAt(at, got.data(), count);
      const std::string want = at < 5000 ? data.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(count)) : "";
      ASSERT_EQ(n, static_cast<Int32>(want.size())) << at << " " << count;
      ASSERT_EQ(got.substr(0, want.size()), want) << at << " " << count;
    }
  }
  EXPECT_EQ(file.Position(), 123);
}

}  // namespace
}  // namespace vsk
