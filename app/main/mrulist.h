#pragma once
// The list of recently opened archives, most recent first, kept in the
// registry under "\Software\Brevane\MRU Items" as values "1", "2", ...

#include <string>
#include <utility>
#include <vector>

namespace brevane {

inline constexpr const char* kMruKey = "\\Software\\Brevane\\MRU Items";

class TMruList {
 public:
  explicit TMruList(std::string RegKey = kMruKey) : FRegKey(std::move(RegKey)) {}

  // Entries beyond the maximum are dropped (0 keeps none).
  int MaxItems() const { return FMaxItems; }
  void SetMaxItems(int Value);
  const std::vector<std::string>& Items() const { return FItems; }

  // Puts the name at the top; an entry naming the same file moves there.
  void Add(const std::string& FileName);
  void Remove(const std::string& FileName);
  void Clear();
  // Drops the entries whose files no longer exist.
  void RemoveObsolete();

  // Whether changes reach the registry (the uninstaller's clean-up turns it off).
  bool AutoSave = true;
  // Reads the stored list whole; the maximum applies when it is set.
  void Load();
  void Save() const;

 private:
  void Trim();
  void Changed() const;
  std::string FRegKey;
  int FMaxItems = 8;
  std::vector<std::string> FItems;
};

}  // namespace brevane
