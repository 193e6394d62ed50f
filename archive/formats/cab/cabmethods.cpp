// The names of a cabinet folder's compression types (the low four bits).

#include "archive/core/methodnames.h"

namespace vsk {

std::string_view CabMethodName(const TMethodQuery& Q) {
  static constexpr std::array<std::string_view, 16> k = {"Stored", "MsZIP", "Quantum", "Lzx",   "Lzx4",  "Lzx5",
                                                         "Lzx6",   "Lzx7",  "Lzx8",    "Lzx9",  "Lzx10", "Lzx11",
                                                         "Lzx12",  "Lzx13", "Lzx14",   "Lzx15"};
  return k[static_cast<std::size_t>(Q.Method & 15)];
}

}  // namespace vsk
