#include "archive/core/methodnames.h"

#include <array>

namespace vsk {

// The Methods column: each format's names, declared by the table itself so
// that a new row needs no include here.
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, Flags, SfxStub, Detect, SfxTwin, RunByStub, Methods, ...) \
  std::string_view Methods(const TMethodQuery&);
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE

// The rows whose entries have no method names.
std::string_view NoMethodNames(const TMethodQuery&) { return {}; }

namespace {

constexpr std::string_view kUnsupported = "Unsupported";

constexpr std::array<TMethodNames, kArcTypeCount> kMethodNames = {{
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, Flags, SfxStub, Detect, SfxTwin, RunByStub, Methods, ...) \
  Methods,
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
}};

}  // namespace

std::string_view DeflateLevelName(UInt16 Flags) {
  static constexpr std::array<std::string_view, 4> k = {"DeflateN", "DeflateX", "DeflateF", "DeflateS"};
  return k[(Flags & 6) >> 1];
}

std::string_view Deflate64LevelName(UInt16 Flags) {
  static constexpr std::array<std::string_view, 4> k = {"Def-64N", "Def-64X", "Def-64F", "Def-64S"};
  return k[(Flags & 6) >> 1];
}

std::string CompressMethodName(const TMethodQuery& Query) {
  const auto type = static_cast<int>(Query.ArcType);
  const std::string_view n = type < kArcTypeCount ? kMethodNames[type](Query) : std::string_view{};
  return std::string(n.empty() ? kUnsupported : n);
}

}  // namespace vsk
