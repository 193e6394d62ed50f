#include "app/main/components.h"

#include <stdexcept>

#include "archive/tools/readers.h"
#include "archive/tools/writers.h"
#include "base/textcase.h"
#include "base/paths.h"

namespace brevane {

using namespace vsk;

TArcType WriterTypeForArchive(TArcType T) {
  // A one-file archive (gzip) is not changed in place.
  return ArcTypeHasWriter(T) && !ArcTypeRow(T).OneFile ? T : atNA;
}

namespace {

constexpr bool SomeRowNames(std::string_view Word) {
  for (const TArcTypeRow& row : arcflag::kRows)
    if (arcflag::HasWord(row.NewExt, Word)) return true;
  return false;
}

// A name of no other row's extension is written by the row naming "*".
static_assert(SomeRowNames("*"));

// The row whose NewExt column holds Word; null when none does.
const TArcTypeRow* RowNaming(std::string_view Word) {
  for (const TArcTypeRow& row : arcflag::kRows)
    if (arcflag::HasWord(row.NewExt, Word)) return &row;
  return nullptr;
}

// The type a new archive of Row's type is made as: that of the first row
// with the same writer (one LHA writer makes both LHA and LZH names).
TArcType WrittenAs(const TArcTypeRow& Row) {
  if (Row.WriterClass.empty()) return Row.Type;
  for (const TArcTypeRow& row : arcflag::kRows)
    if (row.WriterClass == Row.WriterClass) return row.Type;
  return Row.Type;
}

}  // namespace

TArcType WriterTypeForName(const std::string& ArchiveName, bool ForCmdAdd) {
  // The whole extension decides: "notes.c" or "new.t" is no cabinet or
  // tar but a zip, like any other name.
  const std::string ext = AsciiUpperCase(PathExtension(ArchiveName));
  if (!ext.empty()) {
    if (ForCmdAdd) {
      if (const TArcTypeRow* row = RowNaming("+" + ext)) return WrittenAs(*row);
    }
    if (const TArcTypeRow* row = RowNaming(ext)) return WrittenAs(*row);
  }
  return WrittenAs(*RowNaming("*"));
}

bool WritesCompressedTar(const std::string& ArchiveName, bool ForCmdAdd) {
  return ArcTypeRow(WriterTypeForName(ArchiveName, ForCmdAdd)).GzippedTar;
}

TArcType WriterTypeForFilterIndex(int Index) {
  int position = 0;
  for (const TArcTypeRow& row : arcflag::kRows)
    if (row.NewListed && ++position == Index) return WrittenAs(row);
  return WrittenAs(*RowNaming("*"));
}

std::string TarGzListName(const std::string& ArchiveName) {
  // A name that already ends in ".tar.gz" is the tar's own name.
  if (ArchiveName.size() > 7 && EndsWithTextAscii(ArchiveName, ".tar.gz")) return ArchiveName;
  return ArchiveName.substr(0, ArchiveName.size() - PathExtension(ArchiveName).size()) + ".tar.gz";
}

TArchiveComponents::TArchiveComponents() {
  for (int i = 0; i < kArcTypeCount; ++i) {
    const TArcTypeRow& row = ArcTypeRow(static_cast<TArcType>(i));
    if (!row.ReaderClass.empty() && !FReaders.count(row.ReaderClass)) {
      FReaderList.push_back(FReaders.emplace(row.ReaderClass, MakeReader(row.Type)).first->second.get());
    }
    if (!row.WriterClass.empty() && !FWriters.count(row.WriterClass)) {
      FWriterList.push_back(FWriters.emplace(row.WriterClass, MakeWriter(row.Type)).first->second.get());
    }
  }
}

TArchiveComponents::~TArchiveComponents() = default;

TUnBase* TArchiveComponents::Reader(TArcType T) const {
  const auto it = FReaders.find(ArcTypeRow(T).ReaderClass);
  return it == FReaders.end() ? nullptr : it->second.get();
}

TCompBase* TArchiveComponents::Writer(TArcType T) const {
  const TArcTypeRow& row = ArcTypeRow(T);
  if (row.GzippedTar) return TarGzipWriter();
  const auto it = FWriters.find(row.WriterClass);
  return it == FWriters.end() ? nullptr : it->second.get();
}

TCompBase* TArchiveComponents::WriterToMake(TArcType T) const {
  // The writer that gzips tars makes plain ones too: it gets the method of
  // the one asked for.
  TCompBase* writer = Writer(T);
  if (writer && writer == TarGzipWriter()) writer->SetCompressMethod(ArcTypeRow(T).GzippedTar ? cmTarGzip : cmTarred);
  return writer;
}

TCompBase* TArchiveComponents::CommentWriter(TArcType T) const {
  return ArcTypeRow(T).CommentShown ? Writer(T) : nullptr;
}

TCompBase& TArchiveComponents::WriterOfClass(const std::type_info& Class) const {
  for (TCompBase* w : FWriterList)
    if (typeid(*w) == Class) return *w;
  throw std::logic_error(std::string("no writer of class ") + Class.name());
}

TCompBase* TArchiveComponents::TarGzipWriter() const {
  for (TCompBase* w : FWriterList)
    if (w->SupportsMethod(cmTarGzip)) return w;
  return nullptr;
}

std::string TArchiveComponents::ClassName(const TZipCommon& C) const {
  std::string_view name;
  for (const auto& [n, r] : FReaders)
    if (r.get() == &C) name = n;
  for (const auto& [n, w] : FWriters)
    if (w.get() == &C) name = n;
  return AsciiLowerCase(name);
}

}  // namespace brevane
