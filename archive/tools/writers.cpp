#include "archive/tools/writers.h"

#include <array>
#include <type_traits>

#include "archive/formats/cab/makecab.h"
#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/lha/bhwriter.h"
#include "archive/formats/lha/lhawriter.h"
#include "archive/formats/tar/tarwriter.h"
#include "archive/formats/zip/zipwriter.h"

namespace vsk {

namespace {

using TMakeWriter = std::unique_ptr<TCompBase> (*)();

template <class T>
std::unique_ptr<TCompBase> Made() {
  if constexpr (std::is_void_v<T>)
    return nullptr;
  else
    return std::make_unique<T>();
}

constexpr std::array<TMakeWriter, kArcTypeCount> kWriters = {{
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, Flags, SfxStub) Made<Writer>,
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
}};

}  // namespace

std::unique_ptr<TCompBase> MakeWriter(TArcType T) {
  return static_cast<int>(T) < kArcTypeCount ? kWriters[T]() : nullptr;
}

}  // namespace vsk
