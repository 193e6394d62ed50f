#pragma once
// One row per archive type: its display name, the components that list,
// read and write it, and what the library and the program may do with it.
// The rows are defined in archive/formats/arctable.cpp, the one place that
// sees every format family; everything that asks a question per type reads
// them instead of keeping a list of its own.

#include <memory>
#include <string_view>

#include "archive/core/arctype.h"

namespace vsk {

class TListWalker;
class TUnBase;
class TCompBase;

struct TArcTypeRow {
  TArcType Type;
  // Fixed-width display name, untrimmed.
  std::string_view Name;
  // The lister's per-format walker; null when the lister does not walk it.
  std::unique_ptr<TListWalker> (*MakeWalker)();
  // The reader component; null when the library has none.
  std::unique_ptr<TUnBase> (*MakeReader)();
  // The writer component that adds to and updates such archives; null when
  // there is none.
  std::unique_ptr<TCompBase> (*MakeWriter)();
  // The reader's library opens the archive by name rather than the reader
  // base opening it first.
  bool OpensOwnArchive;
  // The reader's entry sizes and dates are the real ones before the entry
  // is decoded, so they may be shown when an existing file would be replaced.
  bool SizesTrusted;
  // The tester takes it.
  bool Testable;
  // The converter writes it.
  bool ConvertTarget;
  // Its writer encrypts entries.
  bool Encrypts;
  // The word naming its self-extractor stub ("vsk_<word>.SFX"); empty when
  // none is made for it.
  std::string_view SfxStub;
};

// The row of type T; rows of types out of range are the "not available" row.
const TArcTypeRow& ArcTypeRow(TArcType T);

}  // namespace vsk
