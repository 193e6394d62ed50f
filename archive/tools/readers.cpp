#include "archive/tools/readers.h"

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

std::unique_ptr<TUnBase> MakeReader(TArcType T) {
  switch (T) {
    case atAce:
    case atAceExe: return std::make_unique<TUnACE>();
    case atArc:
    case atArcExe: return std::make_unique<TUnArc>();
    case atArj:
    case atArjExe: return std::make_unique<TUnArj>();
    case atBh:
    case atBhExe: return std::make_unique<TUnBh>();
    case atCab: return std::make_unique<TUnCab>();
    case atGZip: return std::make_unique<TUnGZip>();
    case atJar: return std::make_unique<TUnJar>();
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe: return std::make_unique<TUnLha>();
    case atRar:
    case atRarExe: return std::make_unique<TUnRar>();
    case atTar: return std::make_unique<TUnTar>();
    case atUUE: return std::make_unique<TUUDecode>();
    case atZip:
    case atZipExe:
    case atZipMV: return std::make_unique<TUnZip>();
    case atZoo: return std::make_unique<TUnZoo>();
    default: return nullptr;
  }
}

}  // namespace vsk
