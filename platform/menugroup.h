#pragma once
// Groups of launchers in the desktop's application menu (a submenu): the
// launchers and the submenu's own entry in a folder of the user's
// applications folder, and a menu file in applications-merged that puts
// them into a submenu of the group's name. The check-out command makes one
// group per checked-out archive and removes it again.

#include <string>
#include <vector>

namespace vsk {

struct TMenuLauncher {
  std::string Name;    // the menu entry's text and the launcher's file name
  std::string Target;  // the file it starts (a program) or opens
  bool Program = false;
};

class IMenuGroupService {
 public:
  virtual ~IMenuGroupService() = default;
  // The folder that holds a group's launchers ("" for a name that is no
  // valid group name).
  virtual std::string GroupFolder(const std::string& Group) = 0;
  // Makes the group with its launchers (an existing one is replaced); false
  // when a file could not be written.
  virtual bool Create(const std::string& Group, const std::vector<TMenuLauncher>& Launchers) = 0;
  // Deletes the group's folder and menu file; true when both are gone.
  virtual bool Remove(const std::string& Group) = 0;
};

// A group name is one folder name: not empty, no "/", not "." or "..".
bool ValidMenuGroupName(const std::string& Group);

// The service in use; the desktop's unless a test installed another.
IMenuGroupService& MenuGroups();
void SetMenuGroupService(IMenuGroupService* Service);

// The freedesktop implementation under $XDG_DATA_HOME/applications and
// $XDG_CONFIG_HOME/menus/applications-merged.
class TDesktopMenuGroups : public IMenuGroupService {
 public:
  std::string GroupFolder(const std::string& Group) override;
  bool Create(const std::string& Group, const std::vector<TMenuLauncher>& Launchers) override;
  bool Remove(const std::string& Group) override;
  // The menu file of a group.
  std::string MenuFile(const std::string& Group);
};

}  // namespace vsk
