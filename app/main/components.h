#pragma once
// The archive components of a window: one reader and one writer per class
// that the table of archive types names, and which of them serves an
// archive: the reader by the detected type, the writer by the type of an
// open archive or by the extension of a new archive's name.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "archive/core/arctype.h"

namespace vsk {
class TCompBase;
class TUnBase;
class TZipCommon;
}  // namespace vsk

namespace brevane {

// The type of archive a writer makes for an archive of type T that is open
// and changed; atNA for gzip files (never changed in place) and types
// without a writer.
vsk::TArcType WriterTypeForArchive(vsk::TArcType T);

// The type of a new archive by its name's extension, as the NewExt column
// of the table of archive types says: for the add entry points of the
// command line (ForCmdAdd) an extension marked "+" first (".gz" is then a
// gzip-compressed tar, for the New Archive command the gzip writer). Only a
// whole extension counts: an unknown, partial or missing one gives the type
// of the row naming "*" (zip).
vsk::TArcType WriterTypeForName(const std::string& ArchiveName, bool ForCmdAdd);
// Whether that type is a gzip-compressed tar, which the tar writer makes
// under the tar's name (see TarGzListName).
bool WritesCompressedTar(const std::string& ArchiveName, bool ForCmdAdd);

// The type of a position of the add-options dialog's type list: the rows
// flagged kNewListed, from 1 in the table's order (bh, cab, jar, lha, lzh,
// tar, zip); for any other position that of the row naming "*".
vsk::TArcType WriterTypeForFilterIndex(int Index);

// The name the list shows after CmdAdd wrote a gzip-compressed tar: the
// name with ".tar.gz" in place of its extension.
std::string TarGzListName(const std::string& ArchiveName);

class TArchiveComponents {
 public:
  TArchiveComponents();
  ~TArchiveComponents();
  TArchiveComponents(const TArchiveComponents&) = delete;
  TArchiveComponents& operator=(const TArchiveComponents&) = delete;

  // The reader of type T; null when the library has none.
  vsk::TUnBase* Reader(vsk::TArcType T) const;
  // The writer that makes archives of type T (a gzip-compressed tar: the
  // tar writer); null when the library has none.
  vsk::TCompBase* Writer(vsk::TArcType T) const;
  // Writer(T) set to make type T before a run: the tar writer serves plain
  // and gzip-compressed tars and gets the method of the one asked for.
  vsk::TCompBase* WriterToMake(vsk::TArcType T) const;
  // The writer whose class is C itself: WriterAs<TZip> is never the jar
  // writer, though that derives from it.
  template <class C>
  C& WriterAs() const {
    return static_cast<C&>(WriterOfClass(typeid(C)));
  }
  // Writer(T) when the window shows comments of type T; null otherwise.
  vsk::TCompBase* CommentWriter(vsk::TArcType T) const;
  // Every reader and every writer, in the table's order.
  const std::vector<vsk::TUnBase*>& Readers() const { return FReaderList; }
  const std::vector<vsk::TCompBase*>& Writers() const { return FWriterList; }
  // The lower-case class name of one of them ("tunzip"); empty for any other.
  std::string ClassName(const vsk::TZipCommon& C) const;

 private:
  // Throws std::logic_error when the table names no writer of that class.
  vsk::TCompBase& WriterOfClass(const std::type_info& Class) const;
  // The writer that also gzips the tars it makes; null when none does.
  vsk::TCompBase* TarGzipWriter() const;

  std::map<std::string_view, std::unique_ptr<vsk::TUnBase>> FReaders;
  std::map<std::string_view, std::unique_ptr<vsk::TCompBase>> FWriters;
  std::vector<vsk::TUnBase*> FReaderList;
  std::vector<vsk::TCompBase*> FWriterList;
};

}  // namespace brevane
