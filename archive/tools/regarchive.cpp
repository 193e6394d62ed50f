#include "archive/tools/regarchive.h"

#include <stdexcept>

#include "archive/core/arctype.h"
#include "platform/desktopassoc.h"
#include "platform/dynlib.h"
#include "platform/registry.h"
#include "base/textcase.h"

namespace vsk {

namespace {

bool IsExe(const std::string& Extension) { return SameTextAscii(Extension, ".exe"); }

std::string FileNameOf(const std::string& Path) {
  const auto slash = Path.rfind('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

}  // namespace

TRegArchive::TRegArchive() {
  for (std::string_view ext : ArchiveExtensions)
    if (!IsExe(std::string(ext))) FArcExtensions.emplace_back(ext);
}

void TRegArchive::SetArcExtensions(std::vector<std::string> Extensions) {
  // Each names a key of its own under the classes root: without its point
  // it would name some other key, empty the root itself.
  for (const std::string& ext : Extensions)
    if (ext.size() < 2 || ext[0] != '.' || ext.find('\\') != std::string::npos)
      throw std::invalid_argument("Invalid file extension \"" + ext + "\"");
  std::erase_if(Extensions, IsExe);
  FArcExtensions = std::move(Extensions);
}

std::string TRegArchive::ExtDescription() const {
  return FExtDescription.empty() ? kDefaultExtDescription : FExtDescription;
}

void TRegArchive::SetExtDescription(const std::string& Value) {
  FExtDescription = Value.empty() ? kDefaultExtDescription : Value;
}

std::string TRegArchive::FileDescription() const {
  return FFileDescription.empty() ? kDefaultFileDescription : FFileDescription;
}

void TRegArchive::SetFileDescription(const std::string& Value) {
  FFileDescription = Value.empty() ? kDefaultFileDescription : Value;
}

std::string TRegArchive::ParamString() const { return FParamString.empty() ? kDefaultParamString : FParamString; }

void TRegArchive::SetParamString(const std::string& Value) {
  FParamString = Value.empty() ? kDefaultParamString : Value;
}

std::string TRegArchive::ProgramPath() const { return ProgramFile(); }

std::string TRegArchive::AppTypeName(const std::string& ProgramPath) {
  const std::string name = FileNameOf(ProgramPath);
  return name.substr(0, name.find('.'));
}

std::string TRegArchive::TypeName() const {
  const std::string ext = ExtDescription();
  return ext == kDefaultExtDescription ? AppTypeName(ProgramPath()) : ext;
}

std::string TRegArchive::TypeDescription() const {
  const std::string desc = FileDescription();
  return desc == kDefaultFileDescription ? TypeName() + " file" : desc;
}

std::string TRegArchive::CommandProgram(const std::string& Command) {
  if (Command.starts_with('"')) {
    const auto end = Command.find('"', 1);
    return Command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  return Command.substr(0, Command.find(' '));
}

void TRegArchive::RegisterExtensions() {
  const std::string path = ProgramPath();
  const std::string type = TypeName();
  for (const std::string& ext : FArcExtensions) {
    if (IsExe(ext)) continue;
    TRegistry reg(HKEY_CLASSES_ROOT);
    reg.OpenKey(ext, true);
    reg.WriteString("", type);
    reg.OpenKey("\\" + type, true);
    reg.WriteString("", TypeDescription());
    reg.OpenKey("DefaultIcon", true);
    reg.WriteString("", path + "," + std::to_string(IconIndex));
    reg.CloseKey();
    reg.OpenKey("\\" + type + "\\Shell\\Open\\Command", true);
    reg.WriteString("", "\"" + path + "\" \"" + ParamString() + "\"");
    if (!MenuName.empty()) {
      reg.OpenKey("\\" + type + "\\Shell\\Open", true);
      reg.WriteString("", MenuName);
    }
    reg.CloseKey();
  }
  RegisterDesktopHandler(path, type, TypeDescription(), MimeTypesOfExtensions(FArcExtensions));
  NotifyAssociationsChanged();
}

bool TRegArchive::IsAssociated() {
  const std::string path = ProgramPath();
  TRegistry reg(HKEY_CLASSES_ROOT);
  // Read only: checking leaves the classes root as it was.
  for (const std::string& ext : FArcExtensions) {
    if (IsExe(ext)) continue;
    if (!reg.OpenKeyReadOnly("\\" + ext)) return false;
    const std::string type = reg.ReadString("");
    if (type.empty() || !reg.OpenKeyReadOnly("\\" + type + "\\Shell\\Open\\Command")) return false;
    if (CommandProgram(reg.ReadString("")) != path) return false;
  }
  reg.CloseKey();
  return IsDesktopHandler(path, MimeTypesOfExtensions(FArcExtensions));
}

bool TRegArchive::UnregisterExtensions() {
  const std::string type = TypeName();
  for (const std::string& ext : FArcExtensions) {
    if (IsExe(ext)) continue;
    TRegistry reg(HKEY_CLASSES_ROOT);
    // An extension never registered has nothing to take back: no key is made.
    if (!reg.OpenKey("\\" + ext, false)) continue;
    // An extension another program has taken over stays with it.
    if (reg.ValueExists("") && reg.GetDataType("") != rdString) continue;
    const std::string current = reg.ReadString("");
    if (current.empty() || SameTextAscii(current, type)) reg.WriteString("", "");
    reg.CloseKey();
  }
  UnregisterDesktopHandler(MimeTypesOfExtensions(FArcExtensions));
  NotifyAssociationsChanged();
  return true;
}

void TRegArchive::Loaded() {
  const std::string appname = AsciiUpperCase(TypeName());
  if (ActivateOnStartup && OnAssociation && !IsAssociated()) OnAssociation(*this, appname);
}

}  // namespace vsk
