#include "libs/cabinet/cabio.h"

#include <algorithm>
#include <climits>

namespace vsk::cab {

void ClearError(PERF Erf) {
  if (Erf) *Erf = ERF{};
}

void SetError(PERF Erf, int Oper, int Type) {
  if (Erf) *Erf = ERF{Oper, Type, 1};
}

intptr_t TCabFiles::Open(const std::string& Name, int Flags, int Mode) {
  int err = 0;
  const intptr_t h = FOpen(Name.c_str(), Flags, Mode, &err, FUser);
  if (h == -1) LastError = err;
  return h;
}

bool TCabFiles::ReadSome(intptr_t Handle, void* Buffer, unsigned Count, unsigned& Got) {
  int err = 0;
  Got = FRead(Handle, Buffer, Count, &err, FUser);
  if (Got == static_cast<unsigned>(-1) || Got > Count) {
    Got = 0;
    LastError = err;
    return false;
  }
  return true;
}

bool TCabFiles::ReadAll(intptr_t Handle, void* Buffer, std::size_t Count) {
  auto* p = static_cast<unsigned char*>(Buffer);
  while (Count > 0) {
    unsigned got = 0;
    const auto step = static_cast<unsigned>(std::min<std::size_t>(Count, UINT_MAX / 2));
    if (!ReadSome(Handle, p, step, got)) return false;
    if (got == 0) {
      LastError = 0;
      return false;
    }
    p += got;
    Count -= got;
  }
  return true;
}

bool TCabFiles::WriteAll(intptr_t Handle, const void* Buffer, std::size_t Count) {
  const auto* p = static_cast<const unsigned char*>(Buffer);
  while (Count > 0) {
    const auto step = static_cast<unsigned>(std::min<std::size_t>(Count, UINT_MAX / 2));
    int err = 0;
    if (FWrite(Handle, p, step, &err, FUser) != step) {
      LastError = err;
      return false;
    }
    p += step;
    Count -= step;
  }
  return true;
}

bool TCabFiles::Close(intptr_t Handle) {
  int err = 0;
  if (FClose(Handle, &err, FUser) == 0) return true;
  LastError = err;
  return false;
}

int64_t TCabFiles::Seek(intptr_t Handle, int64_t Distance, int Origin) {
  int err = 0;
  const int64_t pos = FSeek(Handle, Distance, Origin, &err, FUser);
  if (pos < 0) {
    LastError = err;
    return -1;
  }
  return pos;
}

bool TCabFiles::Delete(const std::string& Name) {
  int err = 0;
  if (FDelete(Name.c_str(), &err, FUser) == 0) return true;
  LastError = err;
  return false;
}

std::string JoinCabPath(const std::string& Path, const std::string& Name) {
  if (Path.empty() || Path.back() == '/') return Path + Name;
  return Path + "/" + Name;
}

}  // namespace vsk::cab
