#include "archive/formats/lister/volumechain.h"

#include "archive/formats/lister/vorsk.h"

namespace vsk {

void StartVolumeChain(TVorsk& L) {
  L.SetVolumeNumber();
  if (L.ArcType() == atArjExe) {
    L.VolLetter = 'a';
    L.VolNum = 1;
  } else if (L.ArcType() == atAceExe) {
    L.VolLetter = 'C';
    L.VolNum = 0;
  }
}

bool FollowVolumeChain(TVorsk& L) {
  if (!L.OnNextVolume) {
    L.ReportError(L.ArchiveFile(), "OnNextVolume", "0", msg::RequiredEventNotAssigned);
    *L.CancelRef() = true;
    return false;
  }
  if (!L.SwitchToNextVolume(L.StreamRef(), L.VolumeName)) {
    *L.CancelRef() = true;
    return false;
  }
  L.EndOffset = L.ArcSize;
  L.VolumeSwitched();
  if (L.ArcSize == 0) {
    // The volume could not be opened (reported by the switch).
    *L.CancelRef() = true;
    return false;
  }
  return true;
}

}  // namespace vsk
