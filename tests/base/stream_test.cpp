#include "base/stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <limits>
#include <vector>

#include "base/errors.h"
#include "base/pump.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::ReadFile;
using vsktest::TempDir;
using vsktest::WriteFile;

TEST(FileStream, OpenFailureGivesErrorByteAndUsableObject) {
  TempDir dir;
  Byte err = 0;
  TFileStream32 missing((dir / "missing").string(), fmOpenRead | fmShareDenyNone, err);
  EXPECT_EQ(err, kStreamOpenFailed);
  EXPECT_EQ(missing.Handle(), -1);
  char buf[4];
  EXPECT_EQ(missing.Read(buf, 4), 0);
  EXPECT_EQ(missing.GetSize(), 0);
  EXPECT_THROW(missing.ReadBuffer(buf, 4), EReadError);

  TFileStream32 badCreate((dir / "no/such/dir/x").string(), fmCreate, err);
  EXPECT_EQ(err, kStreamCreateFailed);

  // A folder is no file.
  TFileStream32 folder(dir.str(), fmOpenRead, err);
  EXPECT_EQ(err, kStreamOpenFailed);
  EXPECT_THROW(TFileStream32(dir.str(), fmOpenRead), EFOpenError);
}

TEST(FileStream, ReadWriteSeekSizeBeyond4GiB) {
  TempDir dir;
  const auto name = (dir / "f.bin").string();
  Byte err = 1;
  {
    TFileStream32 s(name, fmCreate, err);
    ASSERT_EQ(err, 0);
    s.WriteBuffer("hello world", 11);
    EXPECT_EQ(s.Position(), 11);
    EXPECT_EQ(s.GetSize(), 11);
    // Sizes and positions are 64-bit: a sparse file past 4 GiB.
    const Int64 far = (Int64{1} << 32) + 5;
    s.SetSize(far + 3);
    EXPECT_EQ(s.GetSize(), far + 3);
    EXPECT_EQ(s.Seek(far, soBeginning), far);
    s.WriteBuffer("xyz", 3);
    EXPECT_EQ(s.Seek(-3, soEnd), far);
    char b[3];
    s.ReadBuffer(b, 3);
    EXPECT_EQ(std::string(b, 3), "xyz");
    s.SetSize(11);
  }
  EXPECT_EQ(ReadFile(name), "hello world");

  TFileStream32 s(name, fmOpenRead | fmShareDenyWrite, err);
  ASSERT_EQ(err, 0);
  // A negative target is refused and the stream then reads nothing.
  EXPECT_EQ(s.Seek(-1, soBeginning), -1);
  char b[4];
  EXPECT_EQ(s.Read(b, 4), 0);
  EXPECT_EQ(s.Seek(6, soBeginning), 6);
  EXPECT_EQ(s.Read(b, 4), 4);
  EXPECT_EQ(std::string(b, 4), "worl");
  // Past the end: a short read, never stale bytes.
  EXPECT_EQ(s.Seek(100, soBeginning), 100);
  EXPECT_EQ(s.Read(b, 4), 0);
  // A read-only stream refuses writes.
  s.SetPosition(0);
  EXPECT_THROW(s.WriteBuffer("a", 1), EWriteError);
}

TEST(FileStream, DiskFullIsItsOwnError) {
  Byte err = 0;
  TFileStream32 full("/dev/full", fmOpenWrite, err);
  ASSERT_EQ(err, 0);
  try {
    full.WriteBuffer("abc", 3);
    FAIL() << "no exception";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Code, 25160);
    EXPECT_STREQ(e.what(), "Disk full");
  }
}

TEST(MemoryStream, GrowsInGranulesAndRefusesBadPositions) {
  TMemoryStream32 m;
  m.WriteBuffer("abc", 3);
  EXPECT_EQ(m.GetSize(), 3);
  EXPECT_EQ(m.Capacity(), 8192);
  std::vector<char> big(9000, 'x');
  m.WriteBuffer(big.data(), static_cast<Int64>(big.size()));
  EXPECT_EQ(m.Capacity(), 16384);
  EXPECT_EQ(m.GetSize(), 9003);

  char b[3];
  EXPECT_EQ(m.Seek(-5, soBeginning), -1);
  EXPECT_EQ(m.Read(b, 3), 0);
  EXPECT_EQ(m.Write("zz", 2), 0);
  EXPECT_EQ(m.Seek(std::numeric_limits<Int64>::max(), soBeginning), std::numeric_limits<Int64>::max());
  EXPECT_EQ(m.Seek(1, soCurrent), -1);  // would overflow
  EXPECT_EQ(m.Seek(std::numeric_limits<Int64>::max() - 1, soBeginning), std::numeric_limits<Int64>::max() - 1);
  EXPECT_EQ(m.Write("zz", 2), 0);  // end position would overflow
  EXPECT_EQ(m.GetSize(), 9003);

  m.SetPosition(0);
  m.ReadBuffer(b, 3);
  EXPECT_EQ(std::string(b, 3), "abc");

  // Writing past the end fills the gap with zeros.
  m.SetPosition(9010);
  m.WriteBuffer("q", 1);
  EXPECT_EQ(m.GetSize(), 9011);
  EXPECT_EQ(m.Memory()[9005], 0);

  m.SetPosition(500);
  m.SetSize(100);
  EXPECT_EQ(m.Position(), 100);
  m.SetSize(0);
  EXPECT_EQ(m.Capacity(), 0);
  EXPECT_EQ(m.Memory(), nullptr);
}

TEST(MemoryStream, CustomStreamStaysWithinItsBlock) {
  char block[4] = {'a', 'b', 'c', 'd'};
  TCustomMemoryStream32 s;
  s.SetPointer(block, 4);
  s.SetPosition(2);
  EXPECT_EQ(s.Write("XYZ", 3), 2);
  EXPECT_EQ(std::string(block, 4), "abXY");
  char b[8];
  s.SetPosition(1);
  EXPECT_EQ(s.Read(b, 8), 3);
}

TEST(Stream, CopyFromWholeSourceAndCancel) {
  TMemoryStream32 src;
  const std::string data = vsktest::RandomBytes(200000, 7);
  src.WriteBuffer(data.data(), static_cast<Int64>(data.size()));  // positioned at its end

  int pumps = 0;
  SetMessagePump([&] { ++pumps; });
  TMemoryStream32 dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 200000);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), 200000), data);
  EXPECT_EQ(pumps, 4);  // 61440-byte chunks

  // A cancel set by the pump stops the copy within one chunk.
  bool cancel = false;
  SetMessagePump([&] { cancel = true; });
  TMemoryStream32 part;
  EXPECT_EQ(part.CopyFrom(src, 0, &cancel), 200000);
  EXPECT_EQ(part.GetSize(), 61440);
  SetMessagePump({});

  TMemoryStream32 none;
  EXPECT_EQ(none.CopyFrom(src, 100, &cancel), 100);
  EXPECT_EQ(none.GetSize(), 0);

  // A short source raises instead of copying garbage.
  src.SetPosition(199990);
  TMemoryStream32 shortDst;
  EXPECT_THROW(shortDst.CopyFrom(src, 100), EReadError);
}

TEST(Stream, SeekNotImplementedNamesTheClass) {
  struct TNoSeek : TStream32 {
    Int32 Read(void*, Int32) override { return 0; }
    Int32 Write(const void*, Int32) override { return 0; }
    const char* ClassName() const override { return "TNoSeek"; }
  } s;
  try {
    s.Seek(0, soBeginning);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "TNoSeek.Seek not implemented");
  }
}

}  // namespace
}  // namespace vsk
