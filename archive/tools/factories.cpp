// The reader and writer factories: the Reader and Writer columns of the
// table of archive types, each class name made into a function that makes
// one.

#include <array>
#include <type_traits>

#include "archive/formats/ace/unace.h"
#include "archive/formats/arc/unarc.h"
#include "archive/formats/arj/unarj.h"
#include "archive/formats/cab/makecab.h"
#include "archive/formats/cab/uncab.h"
#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/lha/bhwriter.h"
#include "archive/formats/lha/lhawriter.h"
#include "archive/formats/lha/unbh.h"
#include "archive/formats/lha/unlha.h"
#include "archive/formats/rar/unrar.h"
#include "archive/formats/tar/tarwriter.h"
#include "archive/formats/tar/untar.h"
#include "archive/formats/uu/uudecode.h"
#include "archive/formats/zip/unzip.h"
#include "archive/formats/zip/zipwriter.h"
#include "archive/formats/zoo/unzoo.h"
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
