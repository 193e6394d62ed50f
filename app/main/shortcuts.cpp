#include "app/main/shortcuts.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/desktopassoc.h"

namespace brevane {

bool CreateShortcut(const std::string& Folder, const std::string& Name, const std::string& Target) {
  if (Folder.empty() || Name.empty() || Target.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(Folder, ec);
  const std::string file = Folder + "/" + Name + ".desktop";
  const std::string temp = file + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=" << Name << "\n"
        << "Comment=Open, create and extract archives\n"
        << "Exec=" << vsk::DesktopExecArgument(Target) << " %f\n"
        << "Icon=package-x-generic\n"
        << "Terminal=false\n"
        << "Categories=Utility;Archiving;Compression;\n";
    out.flush();
    if (!out) {
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  ::chmod(temp.c_str(), 0755);
  std::filesystem::rename(temp, file, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace brevane
