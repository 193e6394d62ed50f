#pragma once
// The per-user registry as text hive files: one file per root key
// (HKCU.reg, HKCR.reg, HKLM.reg) in $BREVANE_REGISTRY_DIR, or else in
// $XDG_CONFIG_HOME/brevane/registry.
//
// A hive file is readable text: a "[Software\Brevane\View]" line for every
// key (empty keys too), and below it the key's values in stored order:
//   "Name"="text"           a string ("\\", "\"", "\n", "\r", "\t", "\xHH")
//   "Name"=dword:0000000a   a 32-bit integer
//   @="text"                the key's default (unnamed) value
// Key names are percent-encoded ("%25", "%0A") where they hold "%" or control
// characters. Lines starting with ";" are comments.
//
// Writers lock a sidecar file (HKCU.reg.lock), re-read the hive, apply their
// changes, write a temporary file, flush it and rename it over the hive, so
// concurrent writers lose nothing and readers, which take no lock, always
// see a whole file. Blanks around lines are allowed and a line that cannot
// be read is kept as it is; a file holding no hive at all reads as empty,
// and a writer moves it aside (HKCU.reg.corrupt-<time>) before writing a new
// one. A hive behind a symbolic link is written where the link points.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vsk {

// Raised by TRegistry with the registry's own texts.
class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum THKey : std::uint8_t { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

enum TRegDataType : std::uint8_t { rdUnknown, rdString, rdInteger };

// The folder holding the hive files (not created here).
std::string RegistryDirectory();
// Full name of a root key's hive file.
std::string HiveFileName(THKey Root);
// The hive files this process found damaged and moved aside since the last
// call, by the names they were given; each is told once.
std::vector<std::string> TakeDamagedHives();
// For the program, which writes its settings (never for a mere reader):
// moves the root's hive aside now when it holds no hive at all, as the
// next write would.
void SetAsideDamagedHive(THKey Root);

// One view of the registry, rooted at RootKey, with at most one open key.
// Key paths are backslash-separated: one with a leading backslash starts at
// the root, any other is relative to the open key (or the root when none is
// open). Key and value names compare case-insensitively and keep the case
// they were created with.
//
// Value writes and deletions made through an open key are visible to this
// object at once and reach the hive file as one transaction when the key is
// closed (CloseKey, opening another key, changing RootKey, destruction).
// CreateKey and DeleteKey are written at once.
class TRegistry {
 public:
  TRegistry();
  explicit TRegistry(THKey Root);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  THKey RootKey() const;
  void SetRootKey(THKey Root);
  // Path of the open key below the root, without a leading backslash;
  // empty when no key is open or the root itself is open.
  std::string CurrentPath() const;
  bool HasCurrentKey() const;

  // Opens a key for reading and writing; with CanCreate a missing key (and
  // its missing parents) is created. False when the key is missing and may
  // not be created, or when the hive cannot be written.
  bool OpenKey(const std::string& Key, bool CanCreate);
  // Opens an existing key for reading only; never creates anything.
  bool OpenKeyReadOnly(const std::string& Key);
  // Creates a key (and its parents) without opening it. Raises "Failed to
  // create key %s" when it cannot be created.
  bool CreateKey(const std::string& Key);
  // Whether a key exists; creates nothing.
  bool KeyExists(const std::string& Key);
  // Deletes a key with all its subkeys and values; false (and nothing
  // happens) when the key does not exist or cannot be deleted.
  bool DeleteKey(const std::string& Key);
  // Closes the open key, writing what was changed through it. Raises
  // "Failed to set data for '%s'" when that write fails.
  void CloseKey();

  // Values of the open key. An empty Name is the key's default value.
  bool ValueExists(const std::string& Name);
  TRegDataType GetDataType(const std::string& Name);
  // A missing value reads as ""; an integer value raises
  // "Invalid data type for '%s'".
  std::string ReadString(const std::string& Name);
  // A missing value raises "Failed to get data for '%s'", a string value
  // "Invalid data type for '%s'".
  int ReadInteger(const std::string& Name);
  bool ReadBool(const std::string& Name);  // any non-zero integer is true
  // Writing without a key opened for writing raises
  // "Failed to set data for '%s'". An existing value keeps its place.
  void WriteString(const std::string& Name, const std::string& Value);
  void WriteInteger(const std::string& Name, int Value);
  void WriteBool(const std::string& Name, bool Value);  // 0 or 1
  bool DeleteValue(const std::string& Name);
  std::vector<std::string> GetValueNames();
  std::vector<std::string> GetKeyNames();

 private:
  struct State;
  std::unique_ptr<State> d_;
};

}  // namespace vsk
