#include "archive/core/fileprims.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "archive/core/reporter.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::ReadFile;
using vsktest::TempDir;
using vsktest::WriteFile;

struct TRecorder : TErrorReporter {
  std::vector<std::pair<std::string, int>> errors;
  void ReportError(const std::string& FileName, const std::string&, const std::string& VolumeID, int ECode) override {
    EXPECT_EQ(VolumeID, "0");
    errors.emplace_back(FileName, ECode);
  }
};

TEST(FilePrimitives, CreateAppendAndReport) {
  TempDir dir;
  TRecorder rec;
  const auto name = (dir / "out.txt").string();
  int fd = CreateFileHandle(&rec, name, false);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "abc", 3), 3);
  EXPECT_EQ(FileHandlePos(fd), 3);
  EXPECT_EQ(FileHandleSize(fd), 3);
  EXPECT_TRUE(FileHandleSeek(fd, 1, 0));
  EXPECT_EQ(FileHandlePos(fd), 1);
  EXPECT_FALSE(FileHandleSeek(fd, -10, 0));
  CloseFileHandle(fd);

  // Create-new refuses an existing file; overwrite truncates it.
  EXPECT_EQ(CreateFileHandle(&rec, name, false), kInvalidHandle);
  ASSERT_EQ(rec.errors.size(), 1u);
  EXPECT_EQ(rec.errors[0], std::make_pair(name, 25235));

  fd = CreateFileHandle(&rec, name, true);
  ASSERT_GE(fd, 0);
  CloseFileHandle(fd);
  EXPECT_EQ(ReadFile(name), "");

  EXPECT_EQ(OpenFileHandle(nullptr, dir.str(), GENERIC_READ, 0, OPEN_EXISTING), kInvalidHandle);
}

TEST(FilePrimitives, OutputNeverFollowsASymlink) {
  TempDir dir;
  TempDir outside;
  WriteFile(outside / "victim", "precious");
  fs::create_symlink(outside / "victim", dir / "link");
  TRecorder rec;
  EXPECT_EQ(CreateFileHandle(&rec, (dir / "link").string(), true), kInvalidHandle);
  EXPECT_EQ(ReadFile(outside / "victim"), "precious");
}

TEST(FilePrimitives, DosTimeIsTheUtcStampPacked) {
  TempDir dir;
  const auto name = (dir / "f").string();
  WriteFile(name, "x");
  // 2021-03-04 05:06:08 UTC
  struct tm tm = {};
  tm.tm_year = 121;
  tm.tm_mon = 2;
  tm.tm_mday = 4;
  tm.tm_hour = 5;
  tm.tm_min = 6;
  tm.tm_sec = 8;
  const time_t t = timegm(&tm);
  struct timespec ts[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, name.c_str(), ts, 0), 0);
  const UInt32 expect = ((41u << 9 | 3u << 5 | 4u) << 16) | (5u << 11 | 6u << 5 | 4u);
  EXPECT_EQ(FileDosTime(name, ftLastWrite), expect);
  EXPECT_EQ(FileDosTime(name, ftLastAccess), expect);
  const int fd = OpenFileHandle(nullptr, name, GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_EQ(FileHandleDosTime(fd, ftLastWrite), expect);
  EXPECT_NE(FileHandleDosTime(fd, ftCreation), 0u);
  CloseFileHandle(fd);
  EXPECT_EQ(FileDosTime((dir / "missing").string(), ftLastWrite), 0u);
}

}  // namespace
}  // namespace vsk
