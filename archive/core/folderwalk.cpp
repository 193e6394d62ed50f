#include "archive/core/folderwalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "archive/core/paths.h"

namespace vsk {

namespace {

constexpr int kFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

std::vector<std::string_view> PathParts(std::string_view Path) {
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i <= Path.size()) {
    const std::size_t j = std::min(Path.find('/', i), Path.size());
    if (j > i) parts.push_back(Path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

TFolderHandle::~TFolderHandle() {
  if (Fd >= 0) ::close(Fd);
}

void TFolderWalk::Drop(std::size_t From) {
  FLevels.resize(std::min(From, FLevels.size()));
  if (FChecked > FLevels.size()) FChecked = FLevels.size();
}

void TFolderWalk::Close() {
  Drop(0);
  FRoot.clear();
}

bool TFolderWalk::Holds(std::size_t I) const {
  // The root is held by its handle for as long as the walk has it: it is
  // never looked up by its path again.
  if (I == 0) return true;
  struct stat st;
  const int r = fstatat(FLevels[I - 1].Fd(), FLevels[I].Name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
  return r == 0 && S_ISDIR(st.st_mode) && st.st_dev == FLevels[I].Handle->Dev && st.st_ino == FLevels[I].Handle->Ino;
}

int TFolderWalk::Open(const std::string& Root, const std::vector<std::string_view>& Parts, bool Create,
                      unsigned long OutsideCalls, TStop* Stop) {
  TStop ignored;
  TStop& stop = Stop ? *Stop : ignored;
  stop = wsNone;
  if (Root != FRoot) {
    Close();
    FRoot = Root;
  }
  if (OutsideCalls != FOutsideCalls) {
    FOutsideCalls = OutsideCalls;
    FChecked = 0;
  }
  // The kept levels that lie on the way, as long as they still hold.
  std::size_t keep = 0;
  while (keep < FLevels.size() && keep <= Parts.size() && (keep == 0 || FLevels[keep].Name == Parts[keep - 1])) {
    if (keep >= FChecked) {
      if (!Holds(keep)) break;
      FChecked = keep + 1;
    }
    ++keep;
  }
  Drop(keep);
  auto add = [&](int fd, std::string_view name) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
      const int e = errno;
      ::close(fd);
      errno = e;
      return false;
    }
    FLevels.push_back({std::string(name), std::make_shared<TFolderHandle>(fd, st.st_dev, st.st_ino)});
    FChecked = FLevels.size();
    return true;
  };
  if (FLevels.empty()) {
    if (Create && !DirectoryExists(FRoot)) ForceDirectories(FRoot);
    const int fd = ::open(FRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || !add(fd, {})) {
      stop = wsRoot;
      return -1;
    }
  }
  while (FLevels.size() <= Parts.size()) {
    const std::string name(Parts[FLevels.size() - 1]);
    const int at = FLevels.back().Fd();
    int fd = openat(at, name.c_str(), kFolder);
    if (fd < 0 && errno == ENOENT && Create) {
      if (mkdirat(at, name.c_str(), 0777) != 0 && errno != EEXIST) {
        stop = wsMake;
        return -1;
      }
      fd = openat(at, name.c_str(), kFolder);
    }
    if (fd < 0 && errno == ENOTDIR) {
      // O_NOFOLLOW with O_DIRECTORY answers a link like a file: a link is
      // told apart, since it is a name that leads outside.
      struct stat st;
      const bool link = fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
      errno = link ? ELOOP : ENOTDIR;
    }
    if (fd < 0 || !add(fd, name)) {
      stop = wsEnter;
      return -1;
    }
  }
  return FLevels.back().Fd();
}

}  // namespace vsk
