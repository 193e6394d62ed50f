#pragma once
// Archive types, their display names, the archive extensions and the type
// sets behind the predicates.

#include <array>
#include <string_view>

#include "base/types.h"

namespace vsk {

enum TArcType : Byte {
  atNA,
  atUnsupported,
  atFileOpenErr,
  atUnknown,
  atAce,
  atAceExe,
  atArc,
  atArcExe,
  atArj,
  atArjExe,
  atBh,
  atBhExe,
  atCab,
  atGZip,
  atHA,
  atJar,
  atJarExe,
  atLha,
  atLhaExe,
  atLzh,
  atLzhExe,
  atMsGZ,
  atPak,
  atPakExe,
  atRar,
  atRarExe,
  atTar,
  atTarGZip,
  atUUE,
  atZip,
  atZipExe,
  atZipMV,
  atZoo,
};
inline constexpr int kArcTypeCount = atZoo + 1;

using TArcTypes = TSet<TArcType>;

// Fixed-width display name of a type, returned untrimmed.
std::string_view ArcTypeName(TArcType t);

// The archive file extensions the library knows, upper case with the dot.
extern const std::array<std::string_view, 23> ArchiveExtensions;

inline constexpr TArcTypes InvalidArcTypes{atNA, atUnsupported, atFileOpenErr, atUnknown};
inline constexpr TArcTypes ZipArcTypes{atZip, atZipExe};
inline constexpr TArcTypes WriterArcTypes{atBh, atCab, atGZip, atJar, atLha, atLzh, atTar, atZip};
inline constexpr TArcTypes ExtractorArcTypes{
    atAce, atAceExe, atArc, atArcExe, atArj, atArjExe, atBh,     atBhExe,  atCab,    atGZip, atJar, atLha,
    atLhaExe, atLzh, atLzhExe, atRar, atRarExe, atTar, atUUE, atZip, atZipExe, atZipMV, atZoo};
// The tester runs the cabinet reader too, so cabinets are testable.
inline constexpr TArcTypes TestableArcTypes = ExtractorArcTypes + TArcTypes{atJarExe};
inline constexpr TArcTypes ZipFamilyExeTypes{atJar, atJarExe, atZip, atZipExe};

constexpr bool IsValidArcType(TArcType t) { return !InvalidArcTypes.Contains(t); }
constexpr bool IsZipArcType(TArcType t) { return ZipArcTypes.Contains(t); }
constexpr bool ArcTypeHasWriter(TArcType t) { return WriterArcTypes.Contains(t); }
constexpr bool ArcTypeHasExtractor(TArcType t) { return ExtractorArcTypes.Contains(t); }
constexpr bool ArcTypeCanTest(TArcType t) { return TestableArcTypes.Contains(t); }

}  // namespace vsk
