#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/volume.h"

namespace vsk {

namespace {

struct TMount {
  std::string Root;
  std::string FsType;
  std::string Source;
  unsigned Major = 0, Minor = 0;
};

// Mount-info fields escape blanks and the like as octal \NNN.
std::string Unescape(const std::string& s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const std::string oct = s.substr(i + 1, 3);
      if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos) {
        r += static_cast<char>(std::stoi(oct, nullptr, 8));
        i += 3;
        continue;
      }
    }
    r += s[i];
  }
  return r;
}

std::string RealFolder(const std::string& Path) {
  // The path itself may not exist yet (a file to be written): use the
  // nearest existing folder above it.
  std::string p = Path.empty() ? "." : Path;
  for (;;) {
    char buf[PATH_MAX];
    if (realpath(p.c_str(), buf)) return buf;
    const auto slash = p.find_last_of('/');
    if (slash == std::string::npos) return realpath(".", buf) ? buf : "/";
    p = slash == 0 ? "/" : p.substr(0, slash);
  }
}

bool FindMount(const std::string& Path, TMount& Out) {
  std::ifstream in("/proc/self/mountinfo");
  const std::string real = RealFolder(Path);
  std::string line;
  std::size_t best = 0;
  bool found = false;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string id, parent, devno, root, mountPoint;
    ls >> id >> parent >> devno >> root >> mountPoint;
    std::string field;
    while (ls >> field && field != "-") {
    }
    std::string fstype, source;
    ls >> fstype >> source;
    mountPoint = Unescape(mountPoint);
    const bool under = real == mountPoint || mountPoint == "/" ||
                       (real.compare(0, mountPoint.size(), mountPoint) == 0 && real.size() > mountPoint.size() &&
                        real[mountPoint.size()] == '/');
    if (under && mountPoint.size() >= best) {
      best = mountPoint.size();
      Out.Root = mountPoint;
      Out.FsType = fstype;
      Out.Source = Unescape(source);
      unsigned ma = 0, mi = 0;
      if (std::sscanf(devno.c_str(), "%u:%u", &ma, &mi) == 2) {
        Out.Major = ma;
        Out.Minor = mi;
      }
      found = true;
    }
  }
  return found;
}

std::string ReadSmallFile(const std::string& name) {
  std::ifstream in(name);
  std::string s;
  std::getline(in, s);
  return s;
}

bool IsRemovableDevice(unsigned major, unsigned minor) {
  // /sys/dev/block/M:m is the partition or disk; "removable" sits on the disk.
  const std::string base = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  if (ReadSmallFile(base + "/removable") == "1") return true;
  return ReadSmallFile(base + "/../removable") == "1";
}

std::string LabelFromDevice(const std::string& source) {
  char dev[PATH_MAX];
  if (source.empty() || source[0] != '/' || !realpath(source.c_str(), dev)) return {};
  const char* dir = "/dev/disk/by-label";
  if (auto* d = opendir(dir)) {
    std::string label;
    while (auto* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      char target[PATH_MAX];
      const std::string link = std::string(dir) + "/" + e->d_name;
      if (realpath(link.c_str(), target) && std::strcmp(target, dev) == 0) {
        label = Unescape(e->d_name);
        // by-label names escape characters as \xNN.
        std::string out;
        for (std::size_t i = 0; i < label.size(); ++i) {
          if (label[i] == '\\' && i + 3 < label.size() && label[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(label.substr(i + 2, 2), nullptr, 16));
            i += 3;
          } else {
            out += label[i];
          }
        }
        label = out;
        break;
      }
    }
    closedir(d);
    return label;
  }
  return {};
}

class TLinuxVolumeService : public IVolumeService {
 public:
  std::string VolumeRoot(const std::string& Path) override {
    TMount m;
    return FindMount(Path, m) ? m.Root : "/";
  }

  bool IsReady(const std::string& Path) override {
    struct statvfs sv;
    return statvfs(RealFolder(Path).c_str(), &sv) == 0;
  }

  bool IsWriteProtected(const std::string& Path) override {
    struct stat st;
    std::string folder = Path;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) folder = RealFolder(Path);
    std::string tmpl = folder + "/vskXXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const int fd = mkstemp(buf.data());
    if (fd < 0) return errno == EROFS || errno == EACCES || errno == EPERM;
    ::close(fd);
    ::unlink(buf.data());
    return false;
  }

  bool GetVolumeInfo(const std::string& Path, TVolumeInfo& Info) override {
    TMount m;
    struct statvfs sv;
    if (!FindMount(Path, m) || statvfs(m.Root.c_str(), &sv) != 0) return false;
    Info.FileSystem = m.FsType;
    Info.Serial = static_cast<UInt32>(sv.f_fsid ^ (static_cast<UInt64>(sv.f_fsid) >> 32));
    std::string marker = ReadSmallFile(m.Root + (m.Root == "/" ? "" : "/") + kVolumeLabelMarker);
    Info.Label = !marker.empty() ? marker : LabelFromDevice(m.Source);
    return true;
  }

  TDriveType DriveType(const std::string& Path) override {
    struct stat st;
    if (stat(RealFolder(Path).c_str(), &st) != 0) return DRIVE_NO_ROOT_DIR;
    TMount m;
    if (!FindMount(Path, m)) return DRIVE_UNKNOWN;
    const std::string& t = m.FsType;
    if (t == "tmpfs" || t == "ramfs") return DRIVE_RAMDISK;
    if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "fuse.sshfs" ||
        t == "9p" || t == "afs")
      return DRIVE_REMOTE;
    if (t == "iso9660" || t == "udf") return DRIVE_CDROM;
    if (m.Major != 0 && IsRemovableDevice(m.Major, m.Minor)) return DRIVE_REMOVABLE;
    return DRIVE_FIXED;
  }

  bool GetSpace(const std::string& Path, Int64& FreeBytes, Int64& TotalBytes) override {
    struct statvfs sv;
    if (statvfs(RealFolder(Path).c_str(), &sv) != 0) return false;
    FreeBytes = static_cast<Int64>(sv.f_bavail) * static_cast<Int64>(sv.f_frsize);
    TotalBytes = static_cast<Int64>(sv.f_blocks) * static_cast<Int64>(sv.f_frsize);
    return true;
  }

  bool SetLabel(const std::string& Path, const std::string& Label) override {
    // Setting a file system's own label needs privileged tools; the marker
    // file is what our reader looks at first.
    const std::string root = VolumeRoot(Path);
    const std::string name = root + (root == "/" ? "" : "/") + kVolumeLabelMarker;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    const std::string text = Label + "\n";
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
  }
};

IVolumeService*& Installed() {
  static IVolumeService* service = nullptr;
  return service;
}

}  // namespace

IVolumeService& VolumeService() {
  static TLinuxVolumeService system;
  IVolumeService* s = Installed();
  return s ? *s : system;
}

void SetVolumeService(IVolumeService* Service) { Installed() = Service; }

}  // namespace vsk
