#include "archive/tools/readers.h"

#include <array>
#include <type_traits>

#include "archive/formats/ace/unace.h"
#include "archive/formats/arc/unarc.h"
#include "archive/formats/arj/unarj.h"
#include "archive/formats/cab/uncab.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/formats/lha/unbh.h"
#include "archive/formats/lha/unlha.h"
#include "archive/formats/rar/unrar.h"
#include "archive/formats/tar/untar.h"
#include "archive/formats/uu/uudecode.h"
#include "archive/formats/zip/unzip.h"
#include "archive/formats/zoo/unzoo.h"

namespace vsk {

namespace {

using TMakeReader = std::unique_ptr<TUnBase> (*)();

template <class T>
std::unique_ptr<TUnBase> Made() {
  if constexpr (std::is_void_v<T>)
    return nullptr;
  else
    return std::make_unique<T>();
}

constexpr std::array<TMakeReader, kArcTypeCount> kReaders = {{
#define VSK_ARC_TYPE(Type, Name, Walker, Reader, Writer, Flags, SfxStub) Made<Reader>,
#include "archive/core/arctypes.inc"
#undef VSK_ARC_TYPE
}};

}  // namespace

std::unique_ptr<TUnBase> MakeReader(TArcType T) {
  return static_cast<int>(T) < kArcTypeCount ? kReaders[T]() : nullptr;
}

}  // namespace vsk
