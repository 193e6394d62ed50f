#pragma once
// Testing an archive of any readable type: the matching reader runs in
// test mode (it decodes and checks, writing nothing) and every file gets
// one pass/fail verdict.

#include <functional>
#include <string>

#include "archive/core/unbase.h"

namespace vsk {

class TZipCheck : public TUnBase {
 public:
  using TOnIntegrityStatus = std::function<void(TZipCommon& Sender, const std::string& FileName, bool PassFail)>;
  using TOnIntegrityEnd = std::function<void(TZipCommon& Sender, const std::string& FileName)>;
  using TOnChangeArchive =
      std::function<void(TZipCommon& Sender, const std::string& ArchiveName, TArcType ArcType)>;

  TOnIntegrityStatus OnStatus;
  // After each file's verdict (the readers' own end event is relayed here).
  TOnIntegrityEnd OnEnd;
  TOnChangeArchive OnChangeArchive;

  // Tests ArchiveFile; returns the files tested. A type without a reader
  // and a missing OnStatus are reported through OnError (25243, 25270)
  // and nothing runs. Never raises.
  int Activate();
};

}  // namespace vsk
