#include "archive/core/arctable.h"

#include <array>

#include "archive/core/compbase.h"
#include "archive/formats/ace/unace.h"
#include "archive/formats/arc/unarc.h"
#include "archive/formats/arj/unarj.h"
#include "archive/formats/cab/makecab.h"
#include "archive/formats/cab/uncab.h"
#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/lha/bhwriter.h"
#include "archive/formats/lha/lhawriter.h"
#include "archive/formats/lha/unbh.h"
#include "archive/formats/lha/unlha.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/rar/unrar.h"
#include "archive/formats/tar/tarwriter.h"
#include "archive/formats/tar/untar.h"
#include "archive/formats/uu/uudecode.h"
#include "archive/formats/zip/unzip.h"
#include "archive/formats/zip/zipwriter.h"
#include "archive/formats/zoo/unzoo.h"

namespace vsk {

namespace {

template <class T>
std::unique_ptr<TUnBase> Reader() {
  return std::make_unique<T>();
}

template <class T>
std::unique_ptr<TCompBase> Writer() {
  return std::make_unique<T>();
}

// Column flags, so that each row reads as a list of what the type can do.
enum : unsigned {
  kOwnOpen = 1,       // OpensOwnArchive
  kSizes = 2,         // SizesTrusted
  kTest = 4,          // Testable
  kConvertTo = 8,     // ConvertTarget
  kEncrypt = 16,      // Encrypts
};

constexpr TArcTypeRow Row(TArcType Type, std::string_view Name, std::unique_ptr<TListWalker> (*Walker)(),
                          std::unique_ptr<TUnBase> (*MakeReader)(), std::unique_ptr<TCompBase> (*MakeWriter)(),
                          unsigned Flags, std::string_view SfxStub = {}) {
  return TArcTypeRow{Type,
                     Name,
                     Walker,
                     MakeReader,
                     MakeWriter,
                     (Flags & kOwnOpen) != 0,
                     (Flags & kSizes) != 0,
                     (Flags & kTest) != 0,
                     (Flags & kConvertTo) != 0,
                     (Flags & kEncrypt) != 0,
                     SfxStub};
}

// In the order of TArcType, one row per member.
constexpr std::array<TArcTypeRow, kArcTypeCount> kRows = {{
    Row(atNA, "Not avail. ", nullptr, nullptr, nullptr, 0),
    Row(atUnsupported, "Unsupport.", nullptr, nullptr, nullptr, 0),
    Row(atFileOpenErr, "File Error", nullptr, nullptr, nullptr, 0),
    Row(atUnknown, "Unknown   ", nullptr, nullptr, nullptr, 0),
    Row(atAce, "ACE       ", MakeAceListWalker, Reader<TUnACE>, nullptr, kOwnOpen | kTest, "Ace"),
    Row(atAceExe, "ACE SFX   ", MakeAceListWalker, Reader<TUnACE>, nullptr, kOwnOpen | kTest),
    Row(atArc, "ARC       ", MakeArcListWalker, Reader<TUnArc>, nullptr, kTest),
    Row(atArcExe, "ARC SFX   ", MakeArcListWalker, Reader<TUnArc>, nullptr, kTest),
    Row(atArj, "ARJ       ", MakeArjListWalker, Reader<TUnArj>, nullptr, kSizes | kTest, "Arj"),
    Row(atArjExe, "ARJ SFX   ", MakeArjListWalker, Reader<TUnArj>, nullptr, kSizes | kTest),
    Row(atBh, "BH        ", MakeBhListWalker, Reader<TUnBh>, Writer<TBlakHole>,
        kSizes | kTest | kConvertTo | kEncrypt, "Bh"),
    Row(atBhExe, "BH  SFX   ", MakeBhListWalker, Reader<TUnBh>, nullptr, kSizes | kTest),
    Row(atCab, "CAB       ", MakeCabListWalker, Reader<TUnCab>, Writer<TMakeCab>, kOwnOpen | kTest | kConvertTo),
    Row(atGZip, "GZip      ", MakeGzipListWalker, Reader<TUnGZip>, Writer<TGZip>, kTest),
    Row(atHA, "HA        ", MakeHaListWalker, nullptr, nullptr, 0),
    Row(atJar, "Java JAR  ", MakeZipListWalker, Reader<TUnJar>, Writer<TJar>, kSizes | kTest | kConvertTo | kEncrypt,
        "Jar"),
    // The tester checks a self-extracting JAR with its own ZIP walk.
    Row(atJarExe, "JJAR SFX  ", MakeZipListWalker, nullptr, nullptr, kSizes | kTest),
    Row(atLha, "LHA       ", MakeLhaListWalker, Reader<TUnLha>, Writer<TLha>, kSizes | kTest, "Lha"),
    Row(atLhaExe, "LHA SFX   ", MakeLhaListWalker, Reader<TUnLha>, nullptr, kSizes | kTest),
    Row(atLzh, "LZH       ", MakeLhaListWalker, Reader<TUnLha>, Writer<TLha>, kSizes | kTest | kConvertTo, "Lha"),
    Row(atLzhExe, "LZH SFX   ", MakeLhaListWalker, Reader<TUnLha>, nullptr, kSizes | kTest),
    Row(atMsGZ, "MsGZ     \t", MakeMsGzListWalker, nullptr, nullptr, 0),
    Row(atPak, "PAK       ", MakeArcListWalker, nullptr, nullptr, 0),
    Row(atPakExe, "PAK SFX   ", MakeArcListWalker, nullptr, nullptr, 0),
    Row(atRar, "RAR       ", MakeRarListWalker, Reader<TUnRar>, nullptr, kOwnOpen | kTest, "Rar"),
    Row(atRarExe, "RAR SFX   ", MakeRarListWalker, Reader<TUnRar>, nullptr, kOwnOpen | kTest),
    Row(atTar, "TAR       ", MakeTarListWalker, Reader<TUnTar>, Writer<TTar>, kSizes | kTest | kConvertTo),
    // Written by the TAR writer with its gzip method; read as a GZIP file.
    Row(atTarGZip, "TarGzip   ", nullptr, nullptr, nullptr, kConvertTo),
    // UU/XX/Base64 texts are encoded whole by their own component, never
    // updated as an archive.
    Row(atUUE, "UUE       ", MakeUueListWalker, Reader<TUUDecode>, nullptr, kTest),
    Row(atZip, "ZIP       ", MakeZipListWalker, Reader<TUnZip>, Writer<TZip>, kSizes | kTest | kConvertTo | kEncrypt,
        "Zip"),
    Row(atZipExe, "ZIP SFX   ", MakeZipListWalker, Reader<TUnZip>, nullptr, kSizes | kTest),
    Row(atZipMV, "Zip MVol  ", MakeZipListWalker, Reader<TUnZip>, nullptr, kSizes | kTest),
    Row(atZoo, "ZOO       ", MakeZooListWalker, Reader<TUnZoo>, nullptr, kTest),
}};

// A row out of place or missing fails the build here.
constexpr bool RowsInOrder() {
  for (int i = 0; i < kArcTypeCount; ++i)
    if (kRows[i].Type != static_cast<TArcType>(i)) return false;
  return true;
}
static_assert(RowsInOrder(), "one row per TArcType, in the enum's order");

// The type sets of arctype.h stay usable in constant expressions; they must
// say what the rows say. (Whether a factory is null is not a constant
// expression in sanitized builds, so the reader and writer sets are
// compared with the rows by the table's test.)
constexpr bool SetsAgree() {
  for (const TArcTypeRow& r : kRows)
    if (r.Testable != TestableArcTypes.Contains(r.Type)) return false;
  return true;
}
static_assert(SetsAgree(), "the testable types of arctype.h disagree with the table");

}  // namespace

const TArcTypeRow& ArcTypeRow(TArcType T) {
  return static_cast<int>(T) < kArcTypeCount ? kRows[T] : kRows[atNA];
}

std::string_view ArcTypeName(TArcType t) { return ArcTypeRow(t).Name; }

}  // namespace vsk
