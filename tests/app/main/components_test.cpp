// Which writer a new archive's name selects, and the names and types that
// go with the writers.

#include "app/main/components.h"

#include <gtest/gtest.h>

#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/tar/tarwriter.h"
#include "archive/formats/zip/zipwriter.h"

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

TEST(WriterChoice, ANameWritesACompressedTarWhereItsTypeIsOne) {
  for (const char* name : {"a.gz", "a.tgz", "a.zip", "a.tar", "a", "a.cab"})
    for (bool forAdd : {false, true})
      EXPECT_EQ(WritesCompressedTar(name, forAdd), WriterTypeForName(name, forAdd) == vsk::atTarGZip)
          << name << forAdd;
  EXPECT_FALSE(WritesCompressedTar("a.gz", false));
  EXPECT_TRUE(WritesCompressedTar("a.gz", true));
}

// The writers are found by their class and by the table's facts, not by
// the type that asks: these lookups say which component a command drives.
TEST(Components, WritersByClassAndByTheTablesFacts) {
  using namespace vsk;
  const TArchiveComponents components;
  // Exactly the class asked for: the jar writer is a TZip too, and comes
  // first in the table.
  EXPECT_EQ(&components.WriterAs<TZip>(), components.Writer(atZip));
  EXPECT_NE(&components.WriterAs<TZip>(), components.Writer(atJar));
  EXPECT_EQ(&components.WriterAs<TJar>(), components.Writer(atJar));
  EXPECT_EQ(&components.WriterAs<TGZip>(), components.Writer(atGZip));
  EXPECT_EQ(&components.WriterAs<TTar>(), components.Writer(atTar));

  // A gzip-compressed tar is the tar writer with its gzip method, and a
  // plain tar gets the plain method back.
  EXPECT_EQ(components.Writer(atTarGZip), components.Writer(atTar));
  EXPECT_EQ(components.WriterToMake(atTarGZip)->CompressMethod(), cmTarGzip);
  EXPECT_EQ(components.WriterToMake(atTar)->CompressMethod(), cmTarred);
  EXPECT_EQ(components.WriterToMake(atZip)->CompressMethod(), cmDeflate);
  EXPECT_EQ(components.WriterToMake(atArj), nullptr);

  // The comment is shown for zip archives only, through the zip writer;
  // a self-extracting zip has no writer to read it.
  for (int i = 0; i < kArcTypeCount; ++i) {
    const auto t = static_cast<TArcType>(i);
    EXPECT_EQ(components.CommentWriter(t), t == atZip ? components.Writer(atZip) : nullptr) << i;
  }
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.CommentShown; }), (TArcTypes{atZip, atZipExe}));
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.RebuiltWhole; }), TArcTypes{atCab});
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.OneFile; }), TArcTypes{atGZip});
  EXPECT_EQ(ArcTypesWhere([](const TArcTypeRow& r) { return r.GzippedTar; }), TArcTypes{atTarGZip});
}

}  // namespace
}  // namespace brevane
