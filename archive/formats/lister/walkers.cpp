#include "archive/formats/lister/walker.h"

namespace vsk {

std::unique_ptr<TListWalker> MakeListWalker(TArcType Type) {
  switch (Type) {
    case atZip:
    case atZipExe:
    case atJar:
    case atJarExe:
    case atZipMV:
      return MakeZipListWalker();
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe:
      return MakeLhaListWalker();
    case atBh:
    case atBhExe:
      return MakeBhListWalker();
    case atArj:
    case atArjExe:
      return MakeArjListWalker();
    case atAce:
    case atAceExe:
      return MakeAceListWalker();
    case atRar:
    case atRarExe:
      return MakeRarListWalker();
    case atArc:
    case atArcExe:
    case atPak:
    case atPakExe:
      return MakeArcListWalker();
    case atZoo:
      return MakeZooListWalker();
    case atHA:
      return MakeHaListWalker();
    case atMsGZ:
      return MakeMsGzListWalker();
    case atGZip:
      return MakeGzipListWalker();
    case atTar:
      return MakeTarListWalker();
    case atUUE:
      return MakeUueListWalker();
    case atCab:
      return MakeCabListWalker();
    default:
      return nullptr;
  }
}

}  // namespace vsk
