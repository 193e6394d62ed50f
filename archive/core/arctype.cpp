#include "archive/core/arctype.h"

namespace vsk {

namespace {

constexpr std::array<std::string_view, kArcTypeCount> kNames = {
    "Not avail. ", "Unsupport.", "File Error", "Unknown   ", "ACE       ", "ACE SFX   ",
    "ARC       ",  "ARC SFX   ", "ARJ       ", "ARJ SFX   ", "BH        ", "BH  SFX   ",
    "CAB       ",  "GZip      ", "HA        ", "Java JAR  ", "JJAR SFX  ", "LHA       ",
    "LHA SFX   ",  "LZH       ", "LZH SFX   ", "MsGZ     \t", "PAK       ", "PAK SFX   ",
    "RAR       ",  "RAR SFX   ", "TAR       ", "TarGzip   ", "UUE       ", "ZIP       ",
    "ZIP SFX   ",  "Zip MVol  ", "ZOO       ",
};

}  // namespace

std::string_view ArcTypeName(TArcType t) {
  return static_cast<int>(t) < kArcTypeCount ? kNames[t] : kNames[atNA];
}

const std::array<std::string_view, 23> ArchiveExtensions = {
    ".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",  ".JAR", ".LHA", ".LZH", ".PAK",
    ".PK3", ".PK_", ".RAR", ".TAR", ".TGZ", ".UUE", ".UU",  ".XXE", ".Z",   ".ZIP", ".ZOO",
};

}  // namespace vsk
