// The name of a tar member's one method; a directory by its name.

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view TarMethodName(const TMethodQuery& Q) {
  if (Q.Method == 0) return "Tarred";
  if (!Q.EntryName.empty() && (Q.EntryName.back() == '/' || Q.EntryName.back() == '\\')) return kDirMethodName;
  return {};
}

}  // namespace vsk
