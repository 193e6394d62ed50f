#pragma once
// What the LHA and BH writers share: the walk over the old archive's
// headers. An update keeps every entry of the old archive or changes
// nothing, so the walk accepts an archive only when it is read to its end
// the way the format ends: a header that cannot be read, or an end found
// before the format's own end, stops the run with "Bad file header" and the
// target stays as it was. A file of another kind at the target is such an
// archive too, and is never replaced.

#include "archive/core/compbase.h"

namespace vsk {

class TLzhFamilyWriter : public TCompBase {
 protected:
  enum class TOldHeader : Byte {
    Entry,    // an entry was read into the record
    End,      // the format's end mark (or what it reads as one)
    Damaged,  // a header that cannot be taken as it stands
  };
  // Reads the header at Pos of the old archive into E: Name, RawName, IsDir,
  // Head, Times and OldLength (header to the end of its data, within the
  // archive).
  virtual TOldHeader ReadOldEntry(Int64 Pos, TCompEntry& E) = 0;
  // The bytes from At, where an end was read, to the end of the old archive
  // are what the format allows after its last entry.
  virtual bool SoundEnd(Int64 At) = 0;

  bool LoadOldDirectory() override;
  // Every write goes to the archive: a full disk is its failure.
  std::string WriteFailureName() const override { return FArchiveFile; }
  // Reads up to Count bytes of the old archive at Pos (never past its end);
  // the count read, 0 on failure.
  Int32 ReadOldAt(Int64 Pos, void* Buffer, Int32 Count);
};

}  // namespace vsk
