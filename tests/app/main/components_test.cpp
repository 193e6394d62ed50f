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
    EXPECT_EQ(WriterKindForName(name, false), wkZip) << name;
  EXPECT_EQ(WriterKindForName("a.bh", false), wkBlakHole);
  EXPECT_EQ(WriterKindForName("a.Cab", false), wkMakeCab);
  EXPECT_EQ(WriterKindForName("a.lha", false), wkLha);
  EXPECT_EQ(WriterKindForName("a.LZH", false), wkLha);
  EXPECT_EQ(WriterKindForName("a.tar", true), wkTar);
  EXPECT_EQ(WriterKindForName("a.jar", true), wkJar);
  // Partial extensions select the writer whose extension they begin.
  EXPECT_EQ(WriterKindForName("a.c", false), wkMakeCab);
  EXPECT_EQ(WriterKindForName("a.t", false), wkTar);
  EXPECT_EQ(WriterKindForName("a.l", false), wkLha);
  EXPECT_EQ(WriterKindForName("a.j", false), wkJar);
  // ".gz": the gzip writer for New Archive, a gzip-compressed tar for the
  // command line's add.
  EXPECT_EQ(WriterKindForName("a.gz", false), wkGZip);
  EXPECT_EQ(WriterKindForName("a.gz", true), wkTarGzip);
  EXPECT_EQ(WriterKindForName("a.g", true), wkTarGzip);
  // A bare point is no extension.
  EXPECT_EQ(WriterKindForName("a.", false), wkZip);
  // Longer than any table entry.
  EXPECT_EQ(WriterKindForName("a.tarx", false), wkZip);
}

TEST(WriterChoice, ByTheTypeListOfTheAddOptionsDialog) {
  const TWriterKind want[] = {wkZip, wkBlakHole, wkMakeCab, wkJar, wkLha, wkLha, wkTar, wkZip, wkZip};
  for (int i = 0; i <= 8; ++i) EXPECT_EQ(WriterKindForFilterIndex(i), want[i]) << i;
  EXPECT_EQ(WriterKindForFilterIndex(-1), wkZip);
}

TEST(WriterChoice, TypesAndShownNames) {
  EXPECT_EQ(WriterArcType(wkZip), vsk::atZip);
  EXPECT_EQ(WriterArcType(wkJar), vsk::atJar);
  EXPECT_EQ(WriterArcType(wkTarGzip), vsk::atTar);
  EXPECT_EQ(WriterArcType(wkNone), vsk::atNA);
  EXPECT_EQ(TarGzListName("/x/backup.gz"), "/x/backup.tar.gz");
  EXPECT_EQ(TarGzListName("/x.d/backup"), "/x.d/backup.tar.gz");
  EXPECT_EQ(TarGzListName("backup.TAR.gz"), "backup.TAR.gz");
  // An open gzip file is never changed in place.
  EXPECT_EQ(WriterKindForArchive(vsk::atGZip), wkNone);
  EXPECT_EQ(WriterKindForArchive(vsk::atZip), wkZip);
  EXPECT_EQ(WriterKindForArchive(vsk::atZipExe), wkNone);
}

}  // namespace
}  // namespace brevane
