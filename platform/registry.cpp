#include "platform/registry.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/registry_file.h"
#include "platform/registry_hive.h"

namespace vsk {

using reghive::Node;

namespace {

using Path = std::vector<std::string>;

const char* RootName(THKey root) {
  switch (root) {
    case HKEY_CLASSES_ROOT:
      return "HKEY_CLASSES_ROOT";
    case HKEY_LOCAL_MACHINE:
      return "HKEY_LOCAL_MACHINE";
    default:
      return "HKEY_CURRENT_USER";
  }
}

std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

[[noreturn]] void FailGetData(const std::string& name) {
  throw ERegistryException("Failed to get data for " + Quoted(name));
}
[[noreturn]] void FailDataType(const std::string& name) {
  throw ERegistryException("Invalid data type for " + Quoted(name));
}
[[noreturn]] void FailSetData(const std::string& name) {
  throw ERegistryException("Failed to set data for " + Quoted(name));
}
[[noreturn]] void FailCreateKey(const std::string& key) { throw ERegistryException("Failed to create key " + key); }

Node* FindPath(Node& root, const Path& path) {
  Node* node = &root;
  for (const std::string& name : path) {
    node = node->FindKey(reghive::FoldName(name));
    if (!node) return nullptr;
  }
  return node;
}

Node& MakePath(Node& root, const Path& path) {
  Node* node = &root;
  for (const std::string& name : path) node = &node->GetKey(name);
  return *node;
}

// A change made through this object, replayed on the hive as it is on disk
// when it is written, so changes of other writers in between are kept.
struct Change {
  enum Kind { SetValue, RemoveValue, AddKey, RemoveKey } What;
  Path Key;
  std::string Name;
  TRegDataType Type = rdString;
  std::string Text;
  std::uint32_t Number = 0;
  std::string Failure;  // the text raised when the write fails

  void Apply(Node& root) const {
    switch (What) {
      case SetValue:
        MakePath(root, Key).SetValue(Name, Type, Text, Number);
        break;
      case RemoveValue:
        if (Node* n = FindPath(root, Key)) n->RemoveValue(reghive::FoldName(Name));
        break;
      case AddKey:
        MakePath(root, Key);
        break;
      case RemoveKey: {
        Path parent(Key.begin(), Key.end() - 1);
        if (Node* n = FindPath(root, parent)) n->RemoveKey(reghive::FoldName(Key.back()));
        break;
      }
    }
  }
};

}  // namespace

std::string RegistryDirectory() {
  if (const char* d = std::getenv("BREVANE_REGISTRY_DIR"); d && *d) return d;
  std::string config;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
    config = x;
  else
    config = HomeFolder() + "/.config";
  return config + "/brevane/registry";
}

std::string HiveFileName(THKey root) {
  const char* file = root == HKEY_CLASSES_ROOT ? "HKCR.reg" : root == HKEY_LOCAL_MACHINE ? "HKLM.reg" : "HKCU.reg";
  return RegistryDirectory() + "/" + file;
}

void SetAsideDamagedHive(THKey root) { reghive::SetAsideIfNoHive(HiveFileName(root)); }

struct TRegistry::State {
  THKey Root = HKEY_CURRENT_USER;
  bool Open = false;
  bool ReadOnly = false;
  Path Current;

  // The hive as this object sees it: the file as last read plus the
  // changes not yet written.
  std::string File;
  bool Loaded = false;
  reghive::Snapshot View;
  std::vector<Change> Pending;

  void Refresh() {
    if (!Pending.empty() && Loaded) {
      if (reghive::StatHive(File) == View.Identity) return;
    } else {
      const std::string file = HiveFileName(Root);
      if (Loaded && file == File && reghive::StatHive(File) == View.Identity) return;
      File = file;
    }
    View = reghive::LoadHive(File);
    Loaded = true;
    for (const Change& c : Pending) c.Apply(*View.Root);
  }

  Node* CurrentNode() {
    if (!Open) return nullptr;
    Refresh();
    return FindPath(*View.Root, Current);
  }

  // Resolves a key path against the open key; nullopt when it is too deep.
  std::optional<Path> Resolve(const std::string& key) const {
    Path path;
    std::size_t start = 0;
    if (!key.empty() && key[0] == '\\')
      start = 1;
    else if (Open)
      path = Current;
    while (start <= key.size()) {
      std::size_t end = key.find('\\', start);
      if (end == std::string::npos) end = key.size();
      if (end > start) path.push_back(key.substr(start, end - start));
      start = end + 1;
    }
    if (path.size() > reghive::kMaxKeyDepth) return std::nullopt;
    return path;
  }

  bool Writable() const { return reghive::HiveWritable(Pending.empty() ? HiveFileName(Root) : File); }

  void Queue(Change change) {
    change.Apply(*View.Root);
    Pending.push_back(std::move(change));
  }

  // Writes the pending changes; on failure they are dropped, the view is
  // read again and the first change's failure text is returned.
  std::optional<std::string> Commit() {
    if (Pending.empty()) return std::nullopt;
    std::vector<Change> changes = std::move(Pending);
    Pending.clear();
    reghive::Snapshot written;
    const bool ok = reghive::CommitHive(
        File, RootName(Root),
        [&](Node& root) {
          for (const Change& c : changes) c.Apply(root);
        },
        written);
    if (ok) {
      View = std::move(written);
      Loaded = true;
      return std::nullopt;
    }
    Loaded = false;
    return changes.front().Failure;
  }

  void CommitOrThrow() {
    if (auto failure = Commit()) throw ERegistryException(*failure);
  }
};

TRegistry::TRegistry() : d_(std::make_unique<State>()) {}

TRegistry::TRegistry(THKey root) : TRegistry() { d_->Root = root; }

TRegistry::~TRegistry() {
  try {
    CloseKey();
  } catch (const ERegistryException&) {
    // Nobody is left to tell; the hive stays as it was before the changes.
  }
}

THKey TRegistry::RootKey() const { return d_->Root; }

void TRegistry::SetRootKey(THKey root) {
  if (root == d_->Root) return;
  CloseKey();
  d_->Root = root;
  d_->Loaded = false;
}

std::string TRegistry::CurrentPath() const {
  std::string path;
  if (!d_->Open) return path;
  for (const std::string& name : d_->Current) {
    if (!path.empty()) path += '\\';
    path += name;
  }
  return path;
}

bool TRegistry::HasCurrentKey() const { return d_->Open; }

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  auto path = d_->Resolve(key);
  CloseKey();
  if (!path || !d_->Writable()) return false;
  d_->Refresh();
  if (!FindPath(*d_->View.Root, *path)) {
    if (!canCreate) return false;
    d_->Queue({Change::AddKey, *path, {}, rdString, {}, 0, "Failed to create key " + key});
  }
  d_->Open = true;
  d_->ReadOnly = false;
  d_->Current = std::move(*path);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  auto path = d_->Resolve(key);
  CloseKey();
  if (!path) return false;
  d_->Refresh();
  if (!FindPath(*d_->View.Root, *path)) return false;
  d_->Open = true;
  d_->ReadOnly = true;
  d_->Current = std::move(*path);
  return true;
}

bool TRegistry::CreateKey(const std::string& key) {
  auto path = d_->Resolve(key);
  if (!path || !d_->Writable()) FailCreateKey(key);
  d_->Refresh();
  d_->Queue({Change::AddKey, *path, {}, rdString, {}, 0, "Failed to create key " + key});
  d_->CommitOrThrow();
  return true;
}

bool TRegistry::KeyExists(const std::string& key) {
  auto path = d_->Resolve(key);
  if (!path) return false;
  d_->Refresh();
  return FindPath(*d_->View.Root, *path) != nullptr;
}

bool TRegistry::DeleteKey(const std::string& key) {
  auto path = d_->Resolve(key);
  if (!path || path->empty() || !d_->Writable()) return false;
  d_->Refresh();
  if (!FindPath(*d_->View.Root, *path)) return false;
  d_->Queue({Change::RemoveKey, *path, {}, rdString, {}, 0, "Failed to delete key " + key});
  return !d_->Commit().has_value();
}

void TRegistry::CloseKey() {
  d_->Open = false;
  d_->ReadOnly = false;
  d_->Current.clear();
  d_->CommitOrThrow();
}

bool TRegistry::ValueExists(const std::string& name) {
  Node* node = d_->CurrentNode();
  return node && node->FindValue(reghive::FoldName(name));
}

TRegDataType TRegistry::GetDataType(const std::string& name) {
  Node* node = d_->CurrentNode();
  const reghive::Value* v = node ? node->FindValue(reghive::FoldName(name)) : nullptr;
  return v ? v->Type : rdUnknown;
}

std::string TRegistry::ReadString(const std::string& name) {
  Node* node = d_->CurrentNode();
  const reghive::Value* v = node ? node->FindValue(reghive::FoldName(name)) : nullptr;
  if (!v) return {};
  if (v->Type != rdString) FailDataType(name);
  return v->Text;
}

int TRegistry::ReadInteger(const std::string& name) {
  Node* node = d_->CurrentNode();
  const reghive::Value* v = node ? node->FindValue(reghive::FoldName(name)) : nullptr;
  if (!v) FailGetData(name);
  if (v->Type != rdInteger) FailDataType(name);
  return static_cast<int>(v->Number);
}

bool TRegistry::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (d_->ReadOnly || !d_->CurrentNode()) FailSetData(name);
  d_->Queue({Change::SetValue, d_->Current, name, rdString, value, 0, "Failed to set data for " + Quoted(name)});
}

void TRegistry::WriteInteger(const std::string& name, int value) {
  if (d_->ReadOnly || !d_->CurrentNode()) FailSetData(name);
  d_->Queue({Change::SetValue,
             d_->Current,
             name,
             rdInteger,
             {},
             static_cast<std::uint32_t>(value),
             "Failed to set data for " + Quoted(name)});
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

bool TRegistry::DeleteValue(const std::string& name) {
  if (d_->ReadOnly) return false;
  Node* node = d_->CurrentNode();
  if (!node || !node->FindValue(reghive::FoldName(name))) return false;
  d_->Queue({Change::RemoveValue, d_->Current, name, rdString, {}, 0, "Failed to delete value " + Quoted(name)});
  return true;
}

std::vector<std::string> TRegistry::GetValueNames() {
  std::vector<std::string> names;
  if (Node* node = d_->CurrentNode())
    for (const reghive::Value& v : node->Values) names.push_back(v.Name);
  return names;
}

std::vector<std::string> TRegistry::GetKeyNames() {
  std::vector<std::string> names;
  if (Node* node = d_->CurrentNode())
    for (const auto& k : node->Keys) names.push_back(k->Name);
  return names;
}

}  // namespace vsk
