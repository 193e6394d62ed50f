#include "archive/core/regularfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vsk {

TRegularFileStream::TRegularFileStream(const std::string& FileName) {
  FFileName = FileName;
  FHandle = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (FHandle < 0) {
    FLastError = errno;
    return;
  }
  struct stat st;
  if (fstat(FHandle, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    FLastError = EINVAL;
    return;
  }
  // Reads of a regular file never wait anyway; the flag is for the open only.
  const int flags = fcntl(FHandle, F_GETFL);
  if (flags >= 0) fcntl(FHandle, F_SETFL, flags & ~O_NONBLOCK);
}

bool IsRegularFile(const std::string& Name) {
  struct stat st;
  return !Name.empty() && ::stat(Name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace vsk
