#include "app/main/mrulist.h"

#include <algorithm>
#include <filesystem>

#include "app/main/settings.h"
#include "platform/registry.h"

namespace brevane {

void TMruList::SetMaxItems(int Value) {
  FMaxItems = Value < 0 ? 0 : Value;
  const auto before = FItems.size();
  Trim();
  if (FItems.size() != before) Changed();
}

void TMruList::Trim() {
  if (FItems.size() > static_cast<std::size_t>(FMaxItems)) FItems.resize(static_cast<std::size_t>(FMaxItems));
}

void TMruList::Add(const std::string& FileName) {
  if (FileName.empty()) return;
  std::erase(FItems, FileName);
  FItems.insert(FItems.begin(), FileName);
  Trim();
  Changed();
}

void TMruList::Remove(const std::string& FileName) {
  if (std::erase(FItems, FileName) > 0) Changed();
}

void TMruList::Clear() {
  if (FItems.empty()) return;
  FItems.clear();
  Changed();
}

void TMruList::RemoveObsolete() {
  std::error_code ec;
  const auto n = std::erase_if(FItems, [&](const std::string& f) { return !std::filesystem::is_regular_file(f, ec); });
  if (n > 0) Changed();
}

void TMruList::Changed() const {
  if (AutoSave) Save();
}

void TMruList::Load() {
  FItems.clear();
  vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
  if (!reg.OpenKeyReadOnly(FRegKey)) return;
  for (int i = 1;; ++i) {
    const std::string name = std::to_string(i);
    if (!reg.ValueExists(name) || reg.GetDataType(name) != vsk::rdString) break;
    const std::string file = reg.ReadString(name);
    if (!file.empty() && std::find(FItems.begin(), FItems.end(), file) == FItems.end()) FItems.push_back(file);
  }
  reg.CloseKey();
}

void TMruList::Save() const {
  try {
    std::vector<std::pair<std::string, std::string>> values;
    for (std::size_t i = 0; i < FItems.size(); ++i) values.emplace_back(std::to_string(i + 1), FItems[i]);
    ReplaceKeyValues(vsk::HKEY_CURRENT_USER, FRegKey, values);
  } catch (const vsk::ERegistryException&) {
    // The list stays in memory and the old one in the registry; the next
    // change tries again.
  }
}

}  // namespace brevane
