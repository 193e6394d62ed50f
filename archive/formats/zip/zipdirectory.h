#pragma once
// Where a zip archive's walk begins, found from its end record.

#include "base/types.h"

namespace vsk {

class TRegisterVorsk;
class TStream32;

// Finds the zip end record in the file's tail and from it the central
// directory, filling R's zip records and flags; returns the directory's
// position, 0 when no end record was found, or the first local header found
// by scanning from the start when there is no directory (-1 when none is
// found either).
Int64 LocateZipDirectory(TRegisterVorsk& R, TStream32& F);

}  // namespace vsk
