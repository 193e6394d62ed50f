#pragma once
// The per-format half of the lister: where the first header lies, how many
// fixed bytes each header has, and the per-entry step that checks a header,
// fills the entry's properties, reports it through the lister and returns
// where the next header lies.

#include <memory>

#include "archive/core/arctype.h"
#include "base/types.h"

namespace vsk {

class TVorsk;

class TListWalker {
 public:
  virtual ~TListWalker() = default;
  // Reads what precedes the entries; returns the first header's offset, or
  // -1 when the walk ends at once (an error was reported where due).
  virtual Int64 FirstHeader(TVorsk& L) = 0;
  // Fixed bytes to read at each header offset; 0 ends the walk.
  virtual Int32 FixedSize(TVorsk& L) = 0;
  // Header holds Got (at least 1) bytes read at L.ArcOffset. Returns the
  // next header's offset; the lister ends the walk at L.EndOffset or at an
  // offset that does not move forward.
  virtual Int64 Step(TVorsk& L, const Byte* Header, Int32 Got) = 0;
};

// The walker of each format family, null for a type the lister does not walk.
std::unique_ptr<TListWalker> MakeListWalker(TArcType Type);

// Each family's factory, defined in its own folder under archive/formats/.
std::unique_ptr<TListWalker> MakeZipListWalker();
std::unique_ptr<TListWalker> MakeLhaListWalker();
std::unique_ptr<TListWalker> MakeBhListWalker();
std::unique_ptr<TListWalker> MakeArjListWalker();
std::unique_ptr<TListWalker> MakeAceListWalker();
std::unique_ptr<TListWalker> MakeRarListWalker();
std::unique_ptr<TListWalker> MakeArcListWalker();
std::unique_ptr<TListWalker> MakeZooListWalker();
std::unique_ptr<TListWalker> MakeHaListWalker();
std::unique_ptr<TListWalker> MakeMsGzListWalker();
std::unique_ptr<TListWalker> MakeGzipListWalker();
std::unique_ptr<TListWalker> MakeTarListWalker();
std::unique_ptr<TListWalker> MakeUueListWalker();
std::unique_ptr<TListWalker> MakeCabListWalker();

}  // namespace vsk
