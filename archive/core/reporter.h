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
};

}  // namespace vsk
