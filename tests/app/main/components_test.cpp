// Which writer a new archive's name selects, and the names and types that
// go with the writers.

#include "app/main/components.h"

#include <gtest/gtest.h>

namespace brevane {
namespace {

TEST(WriterChoice, ByTheExtensionOfANewArchiveName) {
  // A missing or unknown extension is a zip archive, whatever the folders
  // are called.
  for (const char* name : {"archive", "/data/v1.2/archive", "a.zip", "A.ZIP", "a.xyz", "a.Z", "a.A", "a.H"})
    EXPECT_EQ(WriterTypeForName(name, false), vsk::atZip) << name;
  EXPECT_EQ(WriterTypeForName("a.bh", false), vsk::atBh);
  EXPECT_EQ(WriterTypeForName("a.Cab", false), vsk::atCab);
  EXPECT_EQ(WriterTypeForName("a.lha", false), vsk::atLha);
  EXPECT_EQ(WriterTypeForName("a.LZH", false), vsk::atLha);
  EXPECT_EQ(WriterTypeForName("a.tar", true), vsk::atTar);
  EXPECT_EQ(WriterTypeForName("a.jar", true), vsk::atJar);
  // Only the whole extension counts: a partial one is no writer's.
  for (const char* name : {"a.c", "notes.c", "a.t", "a.l", "a.j", "a.z", "a.g", "a.ca", "a.tg"})
    EXPECT_EQ(WriterTypeForName(name, true), vsk::atZip) << name;
  // ".gz": the gzip writer for New Archive, a gzip-compressed tar for the
  // command line's add; ".tgz" is a gzip-compressed tar for both.
  EXPECT_EQ(WriterTypeForName("a.gz", false), vsk::atGZip);
  EXPECT_EQ(WriterTypeForName("a.gz", true), vsk::atTarGZip);
  EXPECT_EQ(WriterTypeForName("new.tgz", true), vsk::atTarGZip);
  EXPECT_EQ(WriterTypeForName("new.TGZ", false), vsk::atTarGZip);
  // A bare point is no extension.
  EXPECT_EQ(WriterTypeForName("a.", false), vsk::atZip);
  // Longer than any table entry.
  EXPECT_EQ(WriterTypeForName("a.tarx", false), vsk::atZip);
}

TEST(WriterChoice, ByTheTypeListOfTheAddOptionsDialog) {
  const vsk::TArcType want[] = {vsk::atZip, vsk::atBh,  vsk::atCab, vsk::atJar, vsk::atLha,
                                vsk::atLha, vsk::atTar, vsk::atZip, vsk::atZip};
  for (int i = 0; i <= 8; ++i) EXPECT_EQ(WriterTypeForFilterIndex(i), want[i]) << i;
  EXPECT_EQ(WriterTypeForFilterIndex(-1), vsk::atZip);
}

TEST(WriterChoice, TypesAndShownNames) {
  EXPECT_EQ(TarGzListName("/x/backup.gz"), "/x/backup.tar.gz");
  EXPECT_EQ(TarGzListName("/x.d/backup"), "/x.d/backup.tar.gz");
  EXPECT_EQ(TarGzListName("backup.TAR.gz"), "backup.TAR.gz");
  // An open gzip file is never changed in place.
  EXPECT_EQ(WriterTypeForArchive(vsk::atGZip), vsk::atNA);
  EXPECT_EQ(WriterTypeForArchive(vsk::atZip), vsk::atZip);
  EXPECT_EQ(WriterTypeForArchive(vsk::atZipExe), vsk::atNA);
  EXPECT_EQ(WriterTypeForArchive(vsk::atLzh), vsk::atLzh);
}

}  // namespace
}  // namespace brevane
