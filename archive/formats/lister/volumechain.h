#pragma once
// Following the volume chains of ACE, ARJ and RAR archives while listing.

namespace vsk {

class TVorsk;

// Derives the next volume's number from the archive's own name, so a
// listing that runs again starts the chain afresh. Self-extracting ARJ and
// ACE volumes go on in the same numbered names as the plain ones.
void StartVolumeChain(TVorsk& L);

// Asks for the next volume (OnNextVolume) and puts it in place of the
// current stream; VolumeName, the size and the end offset then describe
// it. False when the chain cannot be followed: the event is missing (which
// is reported), the user declined, or the volume cannot be opened. The
// cancel flag is then set, so the walk ends.
bool FollowVolumeChain(TVorsk& L);

}  // namespace vsk
