#include "archive/core/diskmanager.h"

#include <gtest/gtest.h>

#include "archive/core/zipcommon.h"
#include "tests/support/fakevolume.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

using vsktest::TempDir;
using vsktest::WriteFile;

TEST(DiskManager, LabelsNumberTheDisks) {
  EXPECT_EQ(SpanVolumeLabel(3), "PKBACK# 003");
  EXPECT_EQ(DiskNumberFromLabel("PKBACK# 003"), 3);
  EXPECT_EQ(DiskNumberFromLabel("BACKUP"), 0);
  EXPECT_EQ(DiskNumberFromLabel("PKBACK# "), 0);
  EXPECT_EQ(DiskNumberFromLabel("PKBACK# 0x1"), 0);
  EXPECT_EQ(DriveKindText(5), "CD-ROM");
  EXPECT_EQ(DriveKindText(7), "3\xC2\xBD Floppy");
}

TEST(DiskManager, PrepareDriveWaitsForAReadyWritableDisk) {
  vsktest::FakeVolumeService fake;
  TZipCommon c;
  std::vector<int> errors;
  c.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
    errors.push_back(code);
  };
  fake.Ready = false;
  // Without the event the missing disk is an error.
  EXPECT_FALSE(c.DiskManager->PrepareDrive("/media/a/x.zip"));
  EXPECT_EQ(errors.back(), 25170);

  int inDrv = 0, protect = 0;
  c.OnDiskInDrvErr = [&](TZipCommon&, bool& abort) {
    ++inDrv;
    fake.Ready = true;  // the user inserts a disk
    abort = false;
  };
  c.OnDiskWriteProtectErr = [&](TZipCommon&, bool& abort) {
    ++protect;
    fake.WriteProtected = false;
    abort = false;
  };
  fake.WriteProtected = true;
  fake.Info.Label = "PKBACK# 002";
  ASSERT_TRUE(c.DiskManager->PrepareDrive("/media/a/x.zip"));
  EXPECT_EQ(inDrv, 1);
  EXPECT_EQ(protect, 1);
  EXPECT_EQ(c.DiskManager->DiskNumber, 2);
  EXPECT_EQ(c.DiskManager->Serial, 0x1234ABCDu);
  EXPECT_EQ(c.DiskManager->DriveType, DRIVE_REMOVABLE);
  EXPECT_EQ(c.DiskManager->DriveKindName, "Floppy");
  EXPECT_EQ(c.DiskManager->FreeSpace, 1440 * 1024);

  // An abort is a cancel.
  fake.WriteProtected = true;
  c.OnDiskWriteProtectErr = [](TZipCommon&, bool&) {};
  EXPECT_FALSE(c.DiskManager->PrepareDrive("/media/a/x.zip"));
  EXPECT_EQ(errors.back(), 25443);
}

TEST(DiskManager, ReadingAsksForTheLastDiskUntilItHasTheDirectory) {
  TempDir dir;
  const auto name = (dir / "set.zip").string();
  // Disk 1 of a set: a span marker and a local header, no end record.
  WriteFile(name, std::string("PK\x07\x08PK\x03\x04", 8) + std::string(40, '\0'));
  TZipCommon c;
  c.SetArchiveFile(name);
  std::unique_ptr<TStream32> s;
  std::vector<int> errors;
  c.OnError = [&](TZipCommon&, const std::string&, const std::string& x, const std::string&, int code) {
    errors.push_back(code);
    if (code == 25270) {
      EXPECT_EQ(x, "OnGetZipLastDisk");
    }
  };
  EXPECT_FALSE(c.DiskManager->ChangeDisk(s));
  EXPECT_EQ(errors.back(), 25270);

  *c.CancelRef() = false;
  int asked = 0;
  c.OnGetZipLastDisk = [&](TZipCommon&, bool& cancel) {
    if (++asked == 3) {
      // The last disk: the end record is now there.
      WriteFile(name, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    }
    cancel = false;
  };
  ASSERT_TRUE(c.DiskManager->ChangeDisk(s));
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(c.DiskManager->Step, 1);
  ASSERT_TRUE(s);
  EXPECT_EQ(c.ArcSize, 22);

  // The first disk: the user cancels.
  c.OnGetZipFirstDisk = [](TZipCommon&, bool&) {};
  c.DiskManager->FirstEntryOffset = 4;
  EXPECT_FALSE(c.DiskManager->ChangeDisk(s));
  EXPECT_TRUE(c.GetCancel());
}

}  // namespace
}  // namespace vsk
