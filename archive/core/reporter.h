#pragma once
// The error path the file primitives report through; the base component
// implements it with its OnError handler and cancel rules.

#include <string>

namespace vsk {

class TErrorReporter {
 public:
  virtual ~TErrorReporter() = default;
  virtual void ReportError(const std::string& FileName, const std::string& ExtendedMsg, const std::string& VolumeID,
                           int ECode) = 0;
  // The short form: a code about a file, with no further text and no volume.
  void ReportError(const std::string& FileName, int ECode) { ReportError(FileName, "", "0", ECode); }
};

}  // namespace vsk
