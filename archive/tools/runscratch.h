#pragma once
// A private scratch folder for one run of a tool, named so that the process
// owning it is known ("vsk2arc.<host>.<pid>.XXXXXX"). A run killed before it
// could remove its folder leaves it behind; a later run in the same place
// removes such folders once their owner is gone.

#include <string>

namespace vsk {

// Makes a fresh folder (mode 0700) of this process in Parent; empty when
// that fails (errno tells why).
std::string MakeRunFolder(const std::string& Parent);

// Removes the run folders in Parent whose owner process is gone: only
// folders of this host and user, made by another process id that no
// longer exists. Never follows a link. Returns how many went.
int SweepRunFolders(const std::string& Parent);

}  // namespace vsk
