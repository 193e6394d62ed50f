#pragma once
// A folder's data blocks checked ahead of decoding (sizes, completeness,
// checksums), so that damage fails the files it reaches and no others:
// the decoder reads a little past the file it decodes, and without this
// would stop at damage that lies after the file.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "libs/cabinet/cabrecords.h"

namespace vsk::cab {

struct TFolderCheck {
  bool Stored = false;  // blocks independent of each other
  // Bytes the readable blocks unpack to, and the unpacked spans of the
  // damaged ones (the last may be open-ended: nothing after it was read).
  std::uint64_t Total = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> Damaged;

  bool Clean() const { return Damaged.empty(); }
  // Whether the Length bytes at Offset decode from sound blocks: none of
  // their own blocks is damaged and, when each block depends on the ones
  // before, no block before them either.
  bool Readable(std::uint64_t Offset, std::uint64_t Length) const;
};

// Reads the data blocks of Folder (a folder of the cabinet Name, whole in
// it) into Out; false when the cabinet cannot be read at all.
bool CheckFolder(TCabFiles& Files, const std::string& Name, const TCabHeader& Header, const TCabFolder& Folder,
                 TFolderCheck& Out);

}  // namespace vsk::cab
