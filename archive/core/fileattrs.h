#pragma once
// File attribute sets and the attribute filter shared by the file scanner
// and the components that hand their filter to it.

#include "base/types.h"

namespace vsk {

enum TvskFileAttr : Byte { fsZeroAttr, fsReadOnly, fsHidden, fsSysFile, fsVolumeID, fsDirectory, fsArchive };
using TvskFileAttrs = TSet<TvskFileAttr>;

// The DOS attribute word of a set; fsZeroAttr has no bit.
constexpr UInt32 AttrSetToDos(TvskFileAttrs Set) {
  UInt32 r = 0;
  if (Set.Contains(fsReadOnly)) r |= 0x01;
  if (Set.Contains(fsHidden)) r |= 0x02;
  if (Set.Contains(fsSysFile)) r |= 0x04;
  if (Set.Contains(fsVolumeID)) r |= 0x08;
  if (Set.Contains(fsDirectory)) r |= 0x10;
  if (Set.Contains(fsArchive)) r |= 0x20;
  return r;
}

// True when any member of Set is present in the DOS attribute word Attr:
// fsArchive, fsDirectory, fsReadOnly, fsHidden and fsSysFile by their bits,
// fsZeroAttr for the word 0 or the lone "normal" bit 0x80. The volume bit
// takes no part.
constexpr bool MeetsAttributes(UInt32 Attr, TvskFileAttrs Set) {
  return (Set.Contains(fsArchive) && (Attr & 0x20) != 0) || (Set.Contains(fsDirectory) && (Attr & 0x10) != 0) ||
         (Set.Contains(fsReadOnly) && (Attr & 0x01) != 0) || (Set.Contains(fsHidden) && (Attr & 0x02) != 0) ||
         (Set.Contains(fsSysFile) && (Attr & 0x04) != 0) || (Set.Contains(fsZeroAttr) && (Attr == 0 || Attr == 0x80));
}

// The scanner's filter: the attributes meet Attributes and do not meet
// AttributesEx.
constexpr bool PassesAttributeFilter(UInt32 Attr, TvskFileAttrs Attributes, TvskFileAttrs AttributesEx) {
  return MeetsAttributes(Attr, Attributes) && !MeetsAttributes(Attr, AttributesEx);
}

}  // namespace vsk
