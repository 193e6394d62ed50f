#include "app/main/components.h"

#include <cctype>
#include <string_view>

namespace brevane {

using namespace vsk;

TReaderKind ReaderKindFor(TArcType T) {
  switch (T) {
    case atAce:
    case atAceExe: return rkUnACE;
    case atArc:
    case atArcExe: return rkUnARC;
    case atArj:
    case atArjExe: return rkUnArj;
    case atBh:
    case atBhExe: return rkUnBh;
    case atCab: return rkUnCab;
    case atGZip: return rkUnGZIP;
    case atJar: return rkUnJar;
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe: return rkUnLha;
    case atRar:
    case atRarExe: return rkUnRar;
    case atTar: return rkUnTar;
    case atUUE: return rkUUDecode;
    case atZip:
    case atZipExe:
    case atZipMV: return rkUnZip;
    case atZoo: return rkUnZoo;
    default: return rkNone;
  }
}

TWriterKind WriterKindForArchive(TArcType T) {
  if (!ArcTypeHasWriter(T)) return wkNone;
  switch (T) {
    case atBh: return wkBlakHole;
    case atCab: return wkMakeCab;
    case atJar: return wkJar;
    case atLha:
    case atLzh: return wkLha;
    case atTar: return wkTar;
    case atZip: return wkZip;
    default: return wkNone;  // gzip files are not changed in place
  }
}

namespace {

// The extension with its point, upper case; "" when the last name has none.
std::string UpperExtension(const std::string& Name) {
  const auto slash = Name.find_last_of('/');
  const auto dot = Name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = Name.substr(dot);
  if (ext == ".") return {};  // "name." has no extension either
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

TWriterKind WriterKindForName(const std::string& ArchiveName, bool ForCmdAdd) {
  constexpr std::string_view kTable = ".BH .CAB.LHA.LZH.ZIP.GZ .TAR.JAR";
  const std::string ext = UpperExtension(ArchiveName);
  // An empty extension would match at the first position; it means zip.
  if (ext.empty()) return wkZip;
  const auto found = kTable.find(ext);
  if (found == std::string_view::npos) return wkZip;
  switch (found + 1) {
    case 1: return wkBlakHole;
    case 5: return wkMakeCab;
    case 9:
    case 13: return wkLha;
    case 21: return ForCmdAdd ? wkTarGzip : wkGZip;
    case 25: return wkTar;
    case 29: return wkJar;
    default: return wkZip;
  }
}

TWriterKind WriterKindForFilterIndex(int Index) {
  switch (Index) {
    case 1: return wkBlakHole;
    case 2: return wkMakeCab;
    case 3: return wkJar;
    case 4:
    case 5: return wkLha;
    case 6: return wkTar;
    default: return wkZip;
  }
}

TArcType WriterArcType(TWriterKind Kind) {
  switch (Kind) {
    case wkBlakHole: return atBh;
    case wkMakeCab: return atCab;
    case wkJar: return atJar;
    case wkLha: return atLha;
    case wkTar: return atTar;
    case wkTarGzip: return atTar;
    case wkZip: return atZip;
    case wkGZip: return atGZip;
    default: return atNA;
  }
}

std::string TarGzListName(const std::string& ArchiveName) {
  // A name that already ends in ".tar.gz" is the tar's own name.
  if (ArchiveName.size() > 7) {
    std::string tail = ArchiveName.substr(ArchiveName.size() - 7);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ".tar.gz") return ArchiveName;
  }
  const auto slash = ArchiveName.find_last_of('/');
  const auto dot = ArchiveName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return ArchiveName + ".tar.gz";
  return ArchiveName.substr(0, dot) + ".tar.gz";
}

}  // namespace brevane
