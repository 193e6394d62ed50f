// The reader and writer factories: the Reader and Writer columns of the
// table of archive types, each class name made into a function that makes
// one. The classes' headers come from the build's list of every format
// folder's headers.

#include <array>
#include <type_traits>

#include "archive/formatclasses.h"
#include "archive/tools/readers.h"
#include "archive/tools/writers.h"

namespace vsk {

namespace {

// A new T as a Base; null for the column's "void".
template <class Base, class T>
std::unique_ptr<Base> Made() {
  if constexpr (std::is_void_v<T>)
    return nullptr;
  else
    return std::make_unique<T>();
}

constexpr std::array<std::unique_ptr<TUnBase> (*)(), kArcTypeCount> kReaders = {{
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, ...) Made<TUnBase, Reader>,
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
}};

constexpr std::array<std::unique_ptr<TCompBase> (*)(), kArcTypeCount> kWriters = {{
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, ...) Made<TCompBase, Writer>,
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
}};

}  // namespace

std::unique_ptr<TUnBase> MakeReader(TArcType T) {
  return static_cast<int>(T) < kArcTypeCount ? kReaders[T]() : nullptr;
}

std::unique_ptr<TCompBase> MakeWriter(TArcType T) {
  return static_cast<int>(T) < kArcTypeCount ? kWriters[T]() : nullptr;
}

}  // namespace vsk
