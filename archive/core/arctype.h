#pragma once
// Archive types, their display names, the archive extensions and the type
// sets behind the predicates.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "base/types.h"

namespace vsk {

enum TArcType : Byte {
#define VSK_ARC_TYPE(Type, ...) Type,
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
};

using TArcTypes = TSet<TArcType>;

// A row of the table of archive types (archive/core/arctypes.inc) as the
// library and the program read it: names and flags only, so that reading
// it links no format. The factories are in archive/tools/readers.h,
// archive/tools/writers.h and archive/formats/lister/walker.h.
struct TArcTypeRow {
  TArcType Type;
  // Fixed-width display name, untrimmed.
  std::string_view Name;
  // The lister walks it.
  bool Walked;
  // The class of its reader component ("TUnZip"); empty when none.
  std::string_view ReaderClass;
  // The class of its writer component; empty when none.
  std::string_view WriterClass;
  // The reader's library opens the archive by name rather than the reader
  // base opening it first.
  bool OpensOwnArchive;
  // The reader's entry sizes and dates are the real ones before the entry
  // is decoded, so they may be shown when an existing file would be replaced.
  bool SizesTrusted;
  // The tester takes it.
  bool Testable;
  // The converter writes it.
  bool ConvertTarget;
  // Its writer encrypts entries.
  bool Encrypts;
  // Its entries made on Unix (host system 3) carry their Unix mode as
  // attributes.
  bool UnixModes;
  // Its volumes are named "x.partN.rar" when the first one is, else with
  // the extension's letter counting on past 99 (x.r99, x.s00).
  bool PartNamedVolumes;
  // Made self-extracting, the offsets its records store move by the stub's size.
  bool SfxSlidesOffsets;
  // Its entries carry no packed size: the archive's own size stands for
  // the packed total.
  bool PackedByArchive;
  // The converter reads it.
  bool ConvertSource;
  // The word naming its self-extractor stub ("vsk_<word>.SFX"); empty when
  // none is made for it.
  std::string_view SfxStub;
  // What its signature makes of it inside a program: its self-extracting
  // type, atUnsupported when no such type is read.
  TArcType SfxTwin;
  // The words of the stubs that run a self-extractor of this type.
  std::string_view RunByStub;
  // Its archive file extensions, upper case with the point, space-separated.
  std::string_view Exts;
  // The extensions by which a new archive's name chooses its writer; one
  // marked "+" does so only for the command line's add, and before the
  // unmarked ones; "*" stands for any other name.
  std::string_view NewExt;
  // Listed among the types of a new archive in the add-options dialog.
  bool NewListed;
  // The window shows and changes its archive comment, through the type's
  // writer when it has one.
  bool CommentShown;
  // Its writer adds files by building the archive anew, so the list takes
  // no files dropped onto an open one.
  bool RebuiltWhole;
  // Its writer packs a single file into a new archive; an open one is
  // never changed in place.
  bool OneFile;
  // A gzip-compressed tar: the writer that gzips tars makes it with that
  // method, whatever the Writer column says.
  bool GzippedTar;
};

namespace arcflag {

// The Flags column of the table.
enum : unsigned {
  kOwnOpen = 1,        // OpensOwnArchive
  kSizes = 2,          // SizesTrusted
  kTest = 4,           // Testable
  kConvertTo = 8,      // ConvertTarget
  kEncrypt = 16,       // Encrypts
  kUnixModes = 32,     // UnixModes
  kPartVolumes = 64,   // PartNamedVolumes
  kSfxSlide = 128,     // SfxSlidesOffsets
  kPackedWhole = 256,  // PackedByArchive
  kConvertFrom = 512,  // ConvertSource
  kNewListed = 1024,   // NewListed
  kComment = 2048,     // CommentShown
  kRebuilt = 4096,     // RebuiltWhole
  kOneFile = 8192,     // OneFile
  kGzipTar = 16384,    // GzippedTar
};

// A class column's text, empty for "void".
constexpr std::string_view ClassColumn(std::string_view Text) { return Text == "void" ? std::string_view{} : Text; }

constexpr TArcTypeRow Row(TArcType Type, std::string_view Name, std::string_view Walker, std::string_view Reader,
                          std::string_view Writer, unsigned Flags, std::string_view SfxStub, TArcType SfxTwin,
                          std::string_view RunByStub, std::string_view Exts, std::string_view NewExt) {
  return TArcTypeRow{Type,
                     Name,
                     Walker != "nullptr",
                     ClassColumn(Reader),
                     ClassColumn(Writer),
                     (Flags & kOwnOpen) != 0,
                     (Flags & kSizes) != 0,
                     (Flags & kTest) != 0,
                     (Flags & kConvertTo) != 0,
                     (Flags & kEncrypt) != 0,
                     (Flags & kUnixModes) != 0,
                     (Flags & kPartVolumes) != 0,
                     (Flags & kSfxSlide) != 0,
                     (Flags & kPackedWhole) != 0,
                     (Flags & kConvertFrom) != 0,
                     SfxStub,
                     SfxTwin,
                     RunByStub,
                     Exts,
                     NewExt,
                     (Flags & kNewListed) != 0,
                     (Flags & kComment) != 0,
                     (Flags & kRebuilt) != 0,
                     (Flags & kOneFile) != 0,
                     (Flags & kGzipTar) != 0};
}

inline constexpr auto kRows = std::to_array<TArcTypeRow>({
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, Flags, SfxStub, Detect, SfxTwin, RunByStub, Methods, Exts, \
                     NewExt)                                                                                   \
  Row(Type, Name, #Walker, #Reader, #Writer, Flags, SfxStub, SfxTwin, RunByStub, Exts, NewExt),
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
});

}  // namespace arcflag

inline constexpr int kArcTypeCount = static_cast<int>(arcflag::kRows.size());

// The row of type T; a value out of range reads as the "not available" row.
constexpr const TArcTypeRow& ArcTypeRow(TArcType T) {
  return static_cast<int>(T) < kArcTypeCount ? arcflag::kRows[T] : arcflag::kRows[atNA];
}

// Fixed-width display name of a type, returned untrimmed.
constexpr std::string_view ArcTypeName(TArcType t) { return ArcTypeRow(t).Name; }

// The types whose row says Has.
constexpr TArcTypes ArcTypesWhere(bool (*Has)(const TArcTypeRow&)) {
  TArcTypes s;
  for (const TArcTypeRow& r : arcflag::kRows)
    if (Has(r)) s.Include(r.Type);
  return s;
}

namespace arcflag {

// Calls Each with every word of a space-separated column.
template <class F>
constexpr void ForEachWord(std::string_view Text, F Each) {
  while (!Text.empty()) {
    const std::size_t end = Text.find(' ');
    if (end != 0) Each(Text.substr(0, end));
    if (end == std::string_view::npos) break;
    Text.remove_prefix(end + 1);
  }
}

constexpr bool HasWord(std::string_view Text, std::string_view Word) {
  bool found = false;
  ForEachWord(Text, [&](std::string_view w) { found = found || w == Word; });
  return found;
}

constexpr std::size_t ExtensionCount() {
  std::size_t n = 0;
  for (const TArcTypeRow& r : kRows) ForEachWord(r.Exts, [&](std::string_view) { ++n; });
  return n;
}

// The Exts column of every row, sorted.
constexpr std::array<std::string_view, ExtensionCount()> SortedExtensions() {
  std::array<std::string_view, ExtensionCount()> all{};
  std::size_t n = 0;
  for (const TArcTypeRow& r : kRows) ForEachWord(r.Exts, [&](std::string_view w) { all[n++] = w; });
  std::sort(all.begin(), all.end());
  return all;
}

}  // namespace arcflag

// The archive file extensions the library knows, upper case with the dot.
inline constexpr auto ArchiveExtensions = arcflag::SortedExtensions();

inline constexpr TArcTypes InvalidArcTypes{atNA, atUnsupported, atFileOpenErr, atUnknown};
// The type each output kind of the converter writes, in the order of its
// public enumeration (TOutArcType in archive/tools/arc2arc.h); the
// converter checks that they are the rows marked kConvertTo.
inline constexpr std::array<TArcType, 7> ConverterOutputTypes = {atBh,  atCab,     atLzh, atZip,
                                                                 atTar, atTarGZip, atJar};
inline constexpr TArcTypes WriterArcTypes =
    ArcTypesWhere([](const TArcTypeRow& r) { return !r.WriterClass.empty(); });
inline constexpr TArcTypes ExtractorArcTypes =
    ArcTypesWhere([](const TArcTypeRow& r) { return !r.ReaderClass.empty(); });
inline constexpr TArcTypes TestableArcTypes = ArcTypesWhere([](const TArcTypeRow& r) { return r.Testable; });

constexpr bool IsValidArcType(TArcType t) { return !InvalidArcTypes.Contains(t); }
constexpr bool ArcTypeHasWriter(TArcType t) { return WriterArcTypes.Contains(t); }
constexpr bool ArcTypeHasExtractor(TArcType t) { return ExtractorArcTypes.Contains(t); }
constexpr bool ArcTypeCanTest(TArcType t) { return TestableArcTypes.Contains(t); }

}  // namespace vsk
