#pragma once
// The writer's coders of one folder: each frame of at most 32768 bytes
// becomes the contents of one data block.

#include <cstddef>
#include <memory>
#include <vector>

#include "base/types.h"
#include "libs/cabinet/fdifci.h"

namespace vsk::cab {

// The most a data block may hold (what readers accept) and unpack to.
inline constexpr std::size_t kCabMaxPacked = 32768 + 6144;
inline constexpr std::size_t kCabFrameSize = 32768;

class TFrameCoder {
 public:
  virtual ~TFrameCoder() = default;
  // Codes the next frame of the folder into Out (replacing what it held);
  // false when the coder fails.
  virtual bool Code(const Byte* Data, std::size_t Size, std::vector<Byte>& Out) = 0;
};

// Whether the writer makes folders of this compression word.
bool CanCode(TCOMP Type);
// The word as a folder record holds it (only the bits that mean something).
TCOMP FolderWord(TCOMP Type);
// A coder for a word that CanCode accepts; nullptr when it cannot be set up.
std::unique_ptr<TFrameCoder> MakeFrameCoder(TCOMP Type);

}  // namespace vsk::cab
