#include "archive/formats/zip/zipdirectory.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/core/detect.h"
#include "archive/core/register.h"
#include "archive/core/zipcrypt.h"
#include "base/checksum.h"

namespace vsk {

namespace {

constexpr Int32 kZipTailWindow = 32768;
constexpr Int32 kZipStartWindows = 4;

}  // namespace

Int64 LocateZipDirectory(TRegisterVorsk& R, TStream32& F) {
  R.ZipRecFlags = 0;
  R.ZipEndPos = -1;
  if (R.ArcSize <= 0) return 0;
  // The tail window reaches down to the first byte of small files, so a lone
  // end record (an empty archive) is found too.
  const Int32 window = static_cast<Int32>(std::min<Int64>(kZipTailWindow, R.ArcSize));
  const Int64 base = R.ArcSize - window;
  std::vector<Byte> tail(static_cast<std::size_t>(window));
  const Int32 got = ReadAt(F, base, tail.data(), window);

  // Of several end records, the one nearest the end whose comment runs
  // exactly to the end of the file wins; failing that, the one nearest the end.
  TZipCrypt crypt;
  Int64 chosen = -1;
  Byte chosenRec[TZipEndRecord::Size] = {};
  bool haveFallback = false;
  Byte fallbackRec[TZipEndRecord::Size] = {};
  Int64 fallback = -1;
  for (Int64 i = static_cast<Int64>(got) - static_cast<Int64>(TZipEndRecord::Size); i >= 0; --i) {
    if (tail[static_cast<std::size_t>(i)] != 'P') continue;
    bool enc = false;
    if (ClassifyZipSignature(GetLE32(&tail[static_cast<std::size_t>(i)]), kZipEndKind, enc) != kZipEndKind)
      continue;
    Byte rec[TZipEndRecord::Size];
    std::memcpy(rec, &tail[static_cast<std::size_t>(i)], sizeof rec);
    if (enc) crypt.DecryptZipHeader(rec, kZipEndKind);
    if (!haveFallback) {
      haveFallback = true;
      fallback = i;
      std::memcpy(fallbackRec, rec, sizeof rec);
    }
    if (base + i + static_cast<Int64>(sizeof rec) + GetLE16(rec + 20) == R.ArcSize) {
      chosen = i;
      std::memcpy(chosenRec, rec, sizeof rec);
      break;
    }
  }
  if (chosen < 0) {
    if (!haveFallback) return 0;
    chosen = fallback;
    std::memcpy(chosenRec, fallbackRec, sizeof chosenRec);
  }

  R.ZipEndRec = TZipEndRecord::Parse(chosenRec);
  const Int64 endPos = base + chosen;
  R.ZipEndPos = endPos;
  R.ZipCommentPos = R.ZipEndRec.CommentLength != 0 ? endPos + static_cast<Int64>(TZipEndRecord::Size) : 0;
  R.ZipRecFlags |= kZipEndFound;

  Byte central[TZipCentralRecord::Size];
  bool enc = false;
  const Int64 stored = R.ZipEndRec.CentralDirOffset;
  Int64 candidate = stored;
  if (ReadAt(F, stored, central, sizeof central) < static_cast<Int32>(sizeof central)) return 0;
  bool found = ClassifyZipSignature(GetLE32(central), kZipCentralKind, enc) == kZipCentralKind;
  if (found) {
    R.ZipOffsetShift = 0;
  } else {
    // The data may have been moved behind a prefix without their offsets
    // being adjusted: the directory then ends right before the end record.
    candidate = endPos - static_cast<Int64>(R.ZipEndRec.CentralDirSize);
    if (ReadAt(F, candidate, central, sizeof central) < static_cast<Int32>(sizeof central)) return 0;
    found = ClassifyZipSignature(GetLE32(central), kZipCentralKind, enc) == kZipCentralKind;
    R.ZipOffsetShift = found ? candidate - stored : 0;
  }

  if (found) {
    R.ZipRecFlags |= kZipCentralFound;
    if (enc) crypt.DecryptZipHeader(central, kZipCentralKind);
    R.ZipCentralRec = TZipCentralRecord::Parse(central);
    Byte local[TZipLocalHeader::Size];
    const Int64 localPos = static_cast<Int64>(R.ZipCentralRec.LocalHeaderOffset) + R.ZipOffsetShift;
    if (ReadAt(F, localPos, local, sizeof local) == static_cast<Int32>(sizeof local)) {
      bool localEnc = false;
      if (ClassifyZipSignature(GetLE32(local), kZipLocalKind, localEnc) == kZipLocalKind) {
        if (localEnc) crypt.DecryptZipHeader(local, kZipLocalKind);
        R.ZipRecFlags |= kZipLocalFound;
      }
      R.ZipLocalRec = TZipLocalHeader::Parse(local);
    }
    return candidate;
  }

  // No directory: the first local header from the start of the file is
  // where a walk can begin.
  Int64 result = 0;
  std::vector<Byte> buf(static_cast<std::size_t>(window) + 3);
  for (Int32 w = 0; w < kZipStartWindows; ++w) {
    const Int64 pos = static_cast<Int64>(w) * window;
    const Int32 n = ReadAt(F, pos, buf.data(), window + 3);
    if (n <= 0) break;
    const Int32 last = std::min(n - 4, window - 1);
    for (Int32 p = 0; p <= last; ++p) {
      if (buf[static_cast<std::size_t>(p)] != 'P') continue;
      bool localEnc = false;
      if (ClassifyZipSignature(GetLE32(&buf[static_cast<std::size_t>(p)]), kZipLocalKind, localEnc) ==
          kZipLocalKind) {
        R.ZipRecFlags = kZipLocalFound;
        return pos + p;
      }
    }
    result = -1;
    if (n < window) break;
  }
  return result;
}

}  // namespace vsk
