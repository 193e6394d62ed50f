#include "archive/core/fileprims.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "base/dates.h"
#include "base/messages.h"
#include "archive/core/reporter.h"

namespace vsk {

namespace {

void ReportOpenFailure(TErrorReporter* Component, const std::string& Name) {
  if (Component) Component->ReportError(Name, msg::ErrorOpeningFile);
}

UInt32 PackUtcDos(const struct statx_timestamp& ts) {
  const time_t t = static_cast<time_t>(ts.tv_sec);
  struct tm tm;
  if (!gmtime_r(&t, &tm)) return 0;
  int year = tm.tm_year + 1900;
  if (year < 1980) return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00
  if (year > 2107) year = 2107;
  const UInt32 date = static_cast<UInt32>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const UInt32 time = static_cast<UInt32>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return date << 16 | time;
}

UInt32 DosTimeOf(int dirfd, const char* path, int flags, TFileTimeSelector Selector) {
  struct statx sx;
  if (statx(dirfd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return 0;
  switch (Selector) {
    case ftCreation:
      return PackUtcDos((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime);
    case ftLastWrite:
      return PackUtcDos(sx.stx_mtime);
    case ftLastAccess:
      return PackUtcDos(sx.stx_atime);
  }
  return 0;
}

}  // namespace

int OpenFileHandle(TErrorReporter* Component, const std::string& Name, UInt32 Access, UInt32 Flags,
                   TCreateDisposition Disposition, UInt32) {
  int oflags = O_CLOEXEC;
  const bool rd = Access & GENERIC_READ, wr = Access & GENERIC_WRITE;
  oflags |= (rd && wr) ? O_RDWR : wr ? O_WRONLY : O_RDONLY;
  switch (Disposition) {
    case CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: oflags |= O_CREAT; break;
    case TRUNCATE_EXISTING: oflags |= O_TRUNC; break;
  }
  if (Flags & kOpenNoFollow) oflags |= O_NOFOLLOW;
  int fd;
  do {
    fd = ::open(Name.c_str(), oflags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      ::close(fd);
      fd = kInvalidHandle;
    }
  }
  if (fd < 0) {
    ReportOpenFailure(Component, Name);
    return kInvalidHandle;
  }
  return fd;
}

int CreateFileHandle(TErrorReporter* Component, const std::string& Name, bool Overwrite) {
  return OpenFileHandle(Component, Name, GENERIC_WRITE, kOpenNoFollow, Overwrite ? CREATE_ALWAYS : CREATE_NEW);
}

void CloseFileHandle(int Handle) {
  if (Handle >= 0) ::close(Handle);
}

Int64 FileHandlePos(int Handle) { return Handle < 0 ? -1 : ::lseek(Handle, 0, SEEK_CUR); }

bool FileHandleSeek(int Handle, Int64 Offset, int Origin) {
  const int whence = Origin == 0 ? SEEK_SET : Origin == 1 ? SEEK_CUR : SEEK_END;
  return Handle >= 0 && ::lseek(Handle, static_cast<off_t>(Offset), whence) >= 0;
}

Int64 FileHandleSize(int Handle) {
  struct stat st;
  if (Handle < 0 || fstat(Handle, &st) != 0) return 0;
  return st.st_size;
}

UInt32 FileHandleDosTime(int Handle, TFileTimeSelector Selector) {
  if (Handle < 0) return 0;
  return DosTimeOf(Handle, "", AT_EMPTY_PATH, Selector);
}

UInt32 FileDosTime(const std::string& Name, TFileTimeSelector Selector) {
  return DosTimeOf(AT_FDCWD, Name.c_str(), 0, Selector);
}

void SetFileHandleDosTime(int Handle, UInt32 DosDateTime) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(DateTimeToUnix(DosDateTimeToDateTime(DosDateTime)));
  times[1].tv_nsec = 0;
  futimens(Handle, times);
}

}  // namespace vsk
