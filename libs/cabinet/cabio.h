#pragma once
// What the reading and the writing side of the cabinet library share: the
// error record, objects placed in the caller's memory, and the caller's
// file callbacks wrapped so that each failure keeps its system error.

#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "libs/cabinet/fdifci.h"

#define CABINET_EXPORT extern "C" __attribute__((visibility("default")))

namespace vsk::cab {

void ClearError(PERF Erf);
void SetError(PERF Erf, int Oper, int Type = 0);

// Constructs a T in a block of the caller's memory; nullptr when there is
// none.
template <class T, class... A>
T* NewIn(PFNCABALLOC Alloc, A&&... Args) {
  void* p = Alloc(sizeof(T));
  return p ? new (p) T(std::forward<A>(Args)...) : nullptr;
}
template <class T>
void DeleteIn(PFNCABFREE Free, T* Object) {
  Object->~T();
  Free(Object);
}

// The caller's file callbacks. Each operation answers whether it worked;
// after a failure LastError holds the system error the callback gave.
class TCabFiles {
 public:
  TCabFiles(PFNCABOPEN Open, PFNCABREAD Read, PFNCABWRITE Write, PFNCABCLOSE Close, PFNCABSEEK Seek,
            PFNCABDELETE Delete, void* User)
      : FOpen(Open), FRead(Read), FWrite(Write), FClose(Close), FSeek(Seek), FDelete(Delete), FUser(User) {}

  int LastError = 0;

  // The handle, or -1.
  intptr_t Open(const std::string& Name, int Flags, int Mode = 0);
  // Up to Count bytes; Got is 0 only at the end of the file.
  bool ReadSome(intptr_t Handle, void* Buffer, unsigned Count, unsigned& Got);
  // Exactly Count bytes: the end of the file before them is a failure
  // (LastError 0).
  bool ReadAll(intptr_t Handle, void* Buffer, std::size_t Count);
  bool WriteAll(intptr_t Handle, const void* Buffer, std::size_t Count);
  bool Close(intptr_t Handle);
  // The new position, or -1.
  int64_t Seek(intptr_t Handle, int64_t Distance, int Origin);
  bool Delete(const std::string& Name);

 private:
  PFNCABOPEN FOpen;
  PFNCABREAD FRead;
  PFNCABWRITE FWrite;
  PFNCABCLOSE FClose;
  PFNCABSEEK FSeek;
  PFNCABDELETE FDelete;
  void* FUser;
};

// Path + Name with one "/" between them (Path may be empty or end in "/").
std::string JoinCabPath(const std::string& Path, const std::string& Name);

}  // namespace vsk::cab
