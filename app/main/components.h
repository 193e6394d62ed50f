#pragma once
// Which of the main window's archive components serves an archive: the
// reader by the detected type, the writer by the type of an open archive or
// by the extension of a new archive's name.

#include <string>

#include "archive/core/arctype.h"

namespace brevane {

enum TReaderKind : int {
  rkNone,
  rkUnACE,
  rkUnARC,
  rkUnArj,
  rkUnBh,
  rkUnCab,
  rkUnGZIP,
  rkUnJar,
  rkUnLha,
  rkUnRar,
  rkUnTar,
  rkUUDecode,
  rkUnZip,
  rkUnZoo,
};

enum TWriterKind : int {
  wkNone,
  wkBlakHole,
  wkMakeCab,
  wkJar,
  wkLha,
  wkTar,
  wkTarGzip,  // the tar writer making a gzip-compressed tar
  wkZip,
  wkGZip,
};

// The reader that extracts an archive of type T; rkNone when none does.
TReaderKind ReaderKindFor(vsk::TArcType T);

// The writer that changes an open archive of type T; rkNone for gzip
// files and types without a writer.
TWriterKind WriterKindForArchive(vsk::TArcType T);

// The writer for a new archive by its name's extension. The New Archive
// command gives ".gz" names the gzip writer; the add entry points of the
// command line (ForCmdAdd) a gzip-compressed tar. An unknown or missing
// extension gives the zip writer.
TWriterKind WriterKindForName(const std::string& ArchiveName, bool ForCmdAdd);

// The writer of a position of the add-options dialog's type list (1 bh,
// 2 cab, 3 jar, 4 lha, 5 lzh, 6 tar, 7 zip); zip for any other.
TWriterKind WriterKindForFilterIndex(int Index);

// The archive type a writer kind produces.
vsk::TArcType WriterArcType(TWriterKind Kind);

// The name the list shows after CmdAdd wrote a gzip-compressed tar: the
// name with ".tar.gz" in place of its extension.
std::string TarGzListName(const std::string& ArchiveName);

}  // namespace brevane
