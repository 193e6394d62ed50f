#pragma once
// Display names of compression methods by archive type and method number.
// Each format names its own methods in its folder; the Methods column of the
// table of archive types says whose names a type's entries take.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "archive/core/arctype.h"

namespace vsk {

// What a method name can depend on besides the type and the number; fields
// a type does not use are ignored.
struct TMethodQuery {
  TArcType ArcType = atNA;
  // The stored method: a number, or for LHA/LZH and RAR the method character
  // ('5' for "-lh5-", 'd' for a directory; RAR '0'..'5').
  int Method = 0;
  // ZIP family: the general-purpose flag word; BH: the option byte.
  UInt16 Flags = 0;
  // ZIP family: a set directory bit (0x10) makes an unknown method "<Dir>".
  UInt32 ExternalAttr = 0;
  // ARC, ARJ (file type 3) and RAR: the entry is a directory.
  bool IsDirectory = false;
  // TAR: a name that ends in a separator is a directory.
  std::string_view EntryName = {};
  // GZIP: the member's first two bytes.
  Byte GzMagic0 = 0;
  Byte GzMagic1 = 0;
};

// A format's method names: the name, empty when it has none for the query.
using TMethodNames = std::string_view (*)(const TMethodQuery& Query);

// The method's name; "Unsupported" for a combination no table covers.
std::string CompressMethodName(const TMethodQuery& Query);

// Names of the deflate and Deflate64 levels by the ZIP flag bits 1..2.
std::string_view DeflateLevelName(UInt16 Flags);
std::string_view Deflate64LevelName(UInt16 Flags);

// The name of a directory entry.
inline constexpr std::string_view kDirMethodName = "<Dir>";

// Names[Method - First]; empty when Method is outside the list.
template <std::size_t N>
constexpr std::string_view PickMethodName(const std::array<std::string_view, N>& Names, int First, int Method) {
  const long i = static_cast<long>(Method) - First;
  if (i < 0 || i >= static_cast<long>(N)) return {};
  return Names[static_cast<std::size_t>(i)];
}

}  // namespace vsk
