#pragma once
// A read-only view of a Windows executable (PE32 or PE32+) loaded as data:
// nothing in it runs, only its headers and its resource tree are read. Every
// offset, size and count taken from the file is checked before use, so a
// malformed file simply fails to load or yields no string.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/types.h"

namespace vsk {

class TPeImage {
 public:
  TPeImage();
  ~TPeImage();
  TPeImage(const TPeImage&) = delete;
  TPeImage& operator=(const TPeImage&) = delete;

  // Opens FileName and reads its headers; false when it is no PE image. The
  // file stays open until the object is released or loads another file.
  bool LoadFromFile(const std::string& FileName);
  // The same over a block of memory the object does not own; the block must
  // outlive the object.
  bool LoadFromMemory(const Byte* Data, std::size_t Size);
  void Release();
  bool Loaded() const { return static_cast<bool>(FSource); }

  // String Id of the RT_STRING table as UTF-8, cut to at most MaxChars UTF-16
  // code units; empty when the image has no such string.
  std::string LoadString(UInt32 Id, std::size_t MaxChars = 4096) const;

  // Where the image's bytes come from.
  struct TSource;

 private:
  struct TSection {
    UInt32 VirtualAddress;
    UInt32 VirtualSize;
    UInt32 RawSize;
    UInt32 RawPointer;
  };

  bool ReadHeaders();
  // Reads Count bytes at relative virtual address Rva; false unless all of
  // them lie in the file's raw data.
  bool ReadRva(UInt64 Rva, void* Buffer, std::size_t Count) const;
  // Target of the entry for Id (with AnyId: of the preferred language) in
  // the resource directory at DirOffset, both relative to the resource
  // root; -1 when there is none.
  Int64 FindResourceEntry(UInt32 DirOffset, UInt32 Id, bool AnyId, bool& IsDirectory) const;

  std::unique_ptr<TSource> FSource;
  UInt64 FFileSize = 0;
  UInt32 FSizeOfHeaders = 0;
  UInt32 FResourceRva = 0;
  UInt32 FResourceSize = 0;
  std::vector<TSection> FSections;
};

}  // namespace vsk
