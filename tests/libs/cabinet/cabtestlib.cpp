#include "tests/libs/cabinet/cabtestlib.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/dates.h"
#include "tests/support/testutil.h"

namespace vsktest {


intptr_t CabOpen(const char* name, int oflag, int pmode, int* err, void* pv) {
  int flags = (oflag & CAB_O_RDWR) ? O_RDWR : (oflag & CAB_O_WRONLY) ? O_WRONLY : O_RDONLY;
  if (oflag & CAB_O_CREAT) flags |= O_CREAT;
  if (oflag & CAB_O_TRUNC) flags |= O_TRUNC;
  if (oflag & CAB_O_EXCL) flags |= O_EXCL;
  if (oflag & CAB_O_APPEND) flags |= O_APPEND;
  const mode_t mode = (pmode & CAB_S_IWRITE) ? 0644 : 0444;
  const int fd = ::open(name, flags | O_CLOEXEC, mode);
  if (fd < 0) {
    *err = errno;
    return -1;
  }
  auto* files = static_cast<PosixFiles*>(pv);
  ++files->openHandles;
  files->opened.push_back(name);
  return fd;
}

unsigned int CabRead(intptr_t hf, void* memory, unsigned int cb, int* err, void*) {
  const ssize_t n = ::read(static_cast<int>(hf), memory, cb);
  if (n < 0) {
    *err = errno;
    return static_cast<unsigned>(-1);
  }
  return static_cast<unsigned>(n);
}

unsigned int CabWrite(intptr_t hf, const void* memory, unsigned int cb, int* err, void*) {
  const auto* p = static_cast<const char*>(memory);
  unsigned done = 0;
  while (done < cb) {
    const ssize_t n = ::write(static_cast<int>(hf), p + done, cb - done);
    if (n <= 0) {
      *err = n < 0 ? errno : ENOSPC;
      return done;
    }
    done += static_cast<unsigned>(n);
  }
  return done;
}

int CabClose(intptr_t hf, int* err, void* pv) {
  --static_cast<PosixFiles*>(pv)->openHandles;
  if (::close(static_cast<int>(hf)) != 0) {
    *err = errno;
    return -1;
  }
  return 0;
}

int64_t CabSeek(intptr_t hf, int64_t dist, int seektype, int* err, void*) {
  const off_t pos = ::lseek(static_cast<int>(hf), dist, seektype);
  if (pos < 0) *err = errno;
  return pos;
}

int CabDelete(const char* name, int* err, void* pv) {
  static_cast<PosixFiles*>(pv)->deleted.push_back(name);
  struct stat st;
  if (::lstat(name, &st) == 0 && !S_ISREG(st.st_mode)) {
    *err = EPERM;
    return -1;
  }
  if (::unlink(name) != 0) {
    *err = errno;
    return -1;
  }
  return 0;
}

int CabGetTempFile(char* name, int cb, void* pv) {
  auto* files = static_cast<PosixFiles*>(pv);
  const std::string path = files->tempDir + "/fci" + std::to_string(++files->tempCount) + ".tmp";
  if (path.size() + 1 > static_cast<std::size_t>(cb)) return 0;
  std::memcpy(name, path.c_str(), path.size() + 1);
  return 1;
}

intptr_t CabGetOpenInfo(const char* name, uint16_t* date, uint16_t* time, uint16_t* attribs, int* err, void* pv) {
  struct stat st;
  if (::stat(name, &st) != 0) {
    *err = errno;
    return -1;
  }
  const vsk::UInt32 dos = vsk::FileTimeToLocalDos(st.st_mtim);
  *date = static_cast<uint16_t>(dos >> 16);
  *time = static_cast<uint16_t>(dos & 0xFFFF);
  *attribs = CAB_A_ARCH | ((st.st_mode & S_IWUSR) ? 0 : CAB_A_RDONLY);
  return CabOpen(name, CAB_O_RDONLY | CAB_O_BINARY, 0, err, pv);
}

HFDI MakeFdi(const CabinetLib& lib, ERF& erf, PosixFiles& files) {
  return lib.FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, cpuUNKNOWN, &erf, &files);
}

std::vector<FDINOTIFICATIONTYPE> Extraction::Types() const {
  std::vector<FDINOTIFICATIONTYPE> t;
  for (const auto& e : events) t.push_back(e.type);
  return t;
}

const Event* Extraction::Closed(const std::string& name) const {
  for (const auto& e : events) {
    if (e.type == fdintCLOSE_FILE_INFO && e.psz1 == name) return &e;
  }
  return nullptr;
}

namespace {

std::string OutName(const std::string& stored) {
  std::string n = stored;
  for (char& c : n) {
    if (c == '\\') c = '/';
  }
  return n;
}

intptr_t Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION n) {
  auto& x = *static_cast<Extraction*>(n->pv);
  x.events.push_back({type, n->psz1, n->psz2, n->psz3, n->cb, n->fdie, n->attribs, n->iCabinet, n->date, n->time});
  int err = 0;
  switch (type) {
    case fdintCOPY_FILE: {
      const std::string name = n->psz1;
      if (x.skip.count(name)) return 0;
      if (name == x.abortAt) return -1;
      const fs::path out = name == x.fullAt ? fs::path("/dev/full") : x.outDir / OutName(name);
      fs::create_directories(out.parent_path());
      return CabOpen(out.c_str(), CAB_O_WRONLY | CAB_O_CREAT | CAB_O_TRUNC, CAB_S_IWRITE, &err, &x.files);
    }
    case fdintCLOSE_FILE_INFO:
      CabClose(n->hf, &err, &x.files);
      return x.closeAnswer;
    case fdintNEXT_CABINET:
      ++x.nextAsked;
      return x.onNext ? x.onNext(*n, x.nextAsked) : 0;
    default:
      return 0;
  }
}

}  // namespace

void Extract(const CabinetLib& lib, const fs::path& cab, Extraction& x) {
  HFDI fdi = MakeFdi(lib, x.erf, x.files);
  ASSERT_NE(fdi, nullptr);
  const std::string dir = cab.parent_path().string() + "/";
  x.ok = lib.FDICopy(fdi, cab.filename().c_str(), dir.c_str(), 0, Notify, nullptr, &x) != 0;
  EXPECT_EQ(lib.FDIDestroy(fdi), 1);
  EXPECT_EQ(x.files.openHandles, 0) << "a handle was left open";
}

}  // namespace vsktest
