#include "archive/formats/lha/lzhwriter.h"

#include <algorithm>



namespace vsk {

Int32 TLzhFamilyWriter::ReadOldAt(Int64 Pos, void* Buffer, Int32 Count) {
  if (Count <= 0 || Pos < 0 || Pos >= FOldSize) return 0;
  const Int32 n = static_cast<Int32>(std::min<Int64>(Count, FOldSize - Pos));
  return ReadOld(Pos, Buffer, n) ? n : 0;
}

bool TLzhFamilyWriter::LoadOldDirectory() {
  FMarkedForDelete = 0;
  const auto refuse = [this](Int64 At) {
    ReportError(ArchiveFile(), "at offset " + std::to_string(At), "0", msg::BadFileHeader);
    FEntries.clear();
    FNameIndex.clear();
    return false;
  };
  Int64 pos = 0;
  while (pos < FOldSize) {
    if (GetCancel()) return false;
    TCompEntry e;
    const TOldHeader got = ReadOldEntry(pos, e);
    if (got == TOldHeader::End) {
      if (!SoundEnd(pos)) return refuse(pos);
      break;
    }
    if (got != TOldHeader::Entry || e.OldLength <= 0 || e.OldLength > FOldSize - pos) return refuse(pos);
    if (e.IsDir && !e.Name.empty() && e.Name.back() != '/') e.Name += '/';
    if (e.Name.empty() || e.Name == "/") return refuse(pos);
    e.IsOld = true;
    e.OldOffset = pos;
    e.State = esCopy;
    FEntries.push_back(std::move(e));
    pos += FEntries.back().OldLength;
  }
  MarkOldEntries();
  return true;
}

}  // namespace vsk
