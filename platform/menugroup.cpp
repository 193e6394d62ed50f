#include "platform/menugroup.h"

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/desktopassoc.h"

namespace vsk {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDirectoryFile = "group.directory";

std::string XmlText(const std::string& Text) {
  std::string v;
  for (char c : Text) {
    if (c == '&')
      v += "&amp;";
    else if (c == '<')
      v += "&lt;";
    else if (c == '>')
      v += "&gt;";
    else if (c == '"')
      v += "&quot;";
    else
      v += c;
  }
  return v;
}

// A file name made of Name: "/" and control characters become "_".
std::string FileNamePart(const std::string& Name) {
  std::string f;
  for (char c : Name) f += (c == '/' || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
  return f;
}

bool WriteFile(const std::string& File, const std::string& Text) {
  const std::string temp = File + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << Text;
    out.flush();
    if (!out) {
      std::error_code ec;
      fs::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temp, File, ec);
  if (ec) fs::remove(temp, ec);
  return !ec;
}

IMenuGroupService*& Installed() {
  static IMenuGroupService* service = nullptr;
  return service;
}

}  // namespace

bool ValidMenuGroupName(const std::string& Group) {
  return !Group.empty() && Group != "." && Group != ".." && Group.find('/') == std::string::npos &&
         Group.find('\0') == std::string::npos;
}

IMenuGroupService& MenuGroups() {
  static TDesktopMenuGroups desktop;
  return Installed() ? *Installed() : desktop;
}

void SetMenuGroupService(IMenuGroupService* Service) { Installed() = Service; }

std::string TDesktopMenuGroups::GroupFolder(const std::string& Group) {
  if (!ValidMenuGroupName(Group)) return {};
  return DesktopApplicationsDir() + "/" + Group;
}

std::string TDesktopMenuGroups::MenuFile(const std::string& Group) {
  if (!ValidMenuGroupName(Group)) return {};
  return DesktopConfigDir() + "/menus/applications-merged/brevane-" + FileNamePart(Group) + ".menu";
}

bool TDesktopMenuGroups::Create(const std::string& Group, const std::vector<TMenuLauncher>& Launchers) {
  const std::string folder = GroupFolder(Group), menu = MenuFile(Group);
  if (folder.empty()) return false;
  Remove(Group);
  std::error_code ec;
  fs::create_directories(folder, ec);
  fs::create_directories(fs::path(menu).parent_path(), ec);
  bool ok = WriteFile(folder + "/" + kDirectoryFile, "[Desktop Entry]\nType=Directory\nName=" + DesktopEntryValue(Group) +
                                                         "\nIcon=folder\n");
  // The launchers are taken into the submenu by their ids below the
  // group's folder, each file name once.
  std::string includes;
  std::set<std::string> used;
  for (const auto& l : Launchers) {
    std::string base = FileNamePart(l.Name);
    for (int n = 2; !used.insert(base).second; ++n) base = FileNamePart(l.Name) + " (" + std::to_string(n) + ")";
    const std::string file = base + ".desktop";
    const std::string folderOfTarget = fs::path(l.Target).parent_path().string();
    const std::string exec =
        l.Program ? DesktopExecArgument(l.Target) : "xdg-open " + DesktopExecArgument(l.Target);
    ok = WriteFile(folder + "/" + file, "[Desktop Entry]\nType=Application\nName=" + DesktopEntryValue(l.Name) +
                                            "\nExec=" + exec + "\nPath=" + DesktopEntryValue(folderOfTarget) +
                                            "\nTerminal=false\nNoDisplay=false\n") &&
         ok;
    includes += "      <Filename>" + XmlText(file) + "</Filename>\n";
  }
  const std::string text =
      "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
      " \"http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd\">\n"
      "<Menu>\n  <Name>Applications</Name>\n  <Menu>\n    <Name>" + XmlText(Group) + "</Name>\n"
      "    <DirectoryDir>" + XmlText(folder) + "</DirectoryDir>\n"
      "    <Directory>" + kDirectoryFile + "</Directory>\n"
      "    <AppDir>" + XmlText(folder) + "</AppDir>\n"
      "    <Include>\n" + includes + "    </Include>\n  </Menu>\n</Menu>\n";
  return WriteFile(menu, text) && ok;
}

bool TDesktopMenuGroups::Remove(const std::string& Group) {
  const std::string folder = GroupFolder(Group), menu = MenuFile(Group);
  if (folder.empty()) return false;
  std::error_code ec;
  // A link in the group's place is removed, never followed.
  fs::remove_all(folder, ec);
  fs::remove(menu, ec);
  return !fs::exists(fs::symlink_status(folder, ec)) && !fs::exists(fs::symlink_status(menu, ec));
}

}  // namespace vsk
