#pragma once
// The folders of the outputs below a destination, entered from the
// destination down without following a link, and made where missing. The
// handles of the last folder walked and of those above it are kept, so the
// next output in the same folder or near it needs no walk of its own. When
// code outside the library may have changed the tree meanwhile (an event
// handler, the message pump), each kept handle is checked once against the
// name it was opened by before it is used again, so what the walk enters is
// what a fresh walk would enter. The destination itself is opened by its
// path once and then held by its handle until Close: a folder or link put
// at its path meanwhile is never entered.

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vsk {

// An open folder, closed when the last one holding it lets it go, with the
// device and inode it had when opened.
struct TFolderHandle {
  TFolderHandle(int Fd, dev_t Dev, ino_t Ino) : Fd(Fd), Dev(Dev), Ino(Ino) {}
  ~TFolderHandle();
  TFolderHandle(const TFolderHandle&) = delete;
  TFolderHandle& operator=(const TFolderHandle&) = delete;
  const int Fd;
  const dev_t Dev;
  const ino_t Ino;
};

class TFolderWalk {
 public:
  TFolderWalk() = default;
  ~TFolderWalk() { Close(); }
  TFolderWalk(const TFolderWalk&) = delete;
  TFolderWalk& operator=(const TFolderWalk&) = delete;

  // Where a walk that failed stopped.
  enum TStop { wsNone, wsRoot, wsMake, wsEnter };

  // The folder Root/Parts[0]/.../Parts[n-1] (Root itself for no parts),
  // made where missing when Create is set (Root with all its missing
  // parents). The handle stays the walk's own: it is valid until the next
  // call or Close. OutsideCalls counts the calls out of the library so far.
  // -1 with errno when Root cannot be opened (wsRoot), a folder cannot be
  // made (wsMake, the error of mkdir), or is missing and not made (ENOENT),
  // is a link or no folder (ELOOP, ENOTDIR) (wsEnter).
  int Open(const std::string& Root, const std::vector<std::string_view>& Parts, bool Create,
           unsigned long OutsideCalls, TStop* Stop = nullptr);
  void Close();
  // The folder the last successful Open gave, shared: it stays open for
  // its holder whatever the walk does next.
  std::shared_ptr<TFolderHandle> Last() const { return FLevels.empty() ? nullptr : FLevels.back().Handle; }

 private:
  struct TLevel {
    std::string Name;
    std::shared_ptr<TFolderHandle> Handle;
    int Fd() const { return Handle->Fd; }
  };
  // Whether kept level I still is the folder its name holds.
  bool Holds(std::size_t I) const;
  void Drop(std::size_t From);

  std::string FRoot;
  std::vector<TLevel> FLevels;  // [0] is Root
  std::size_t FChecked = 0;     // levels checked since outside code last ran
  unsigned long FOutsideCalls = 0;
};

// The components of a relative path, empty ones left out.
std::vector<std::string_view> PathParts(std::string_view Path);

}  // namespace vsk
