#include "archive/core/arctype.h"

namespace vsk {

const std::array<std::string_view, 23> ArchiveExtensions = {
    ".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",  ".JAR", ".LHA", ".LZH", ".PAK",
    ".PK3", ".PK_", ".RAR", ".TAR", ".TGZ", ".UUE", ".UU",  ".XXE", ".Z",   ".ZIP", ".ZOO",
};

}  // namespace vsk
