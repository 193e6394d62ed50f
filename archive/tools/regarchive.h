#pragma once
// The file-association component: ties a list of archive extensions to the
// running program. In the registry's classes root each extension names the
// program's file type, whose open command starts the program; on the
// desktop the program's entry becomes the default handler of the
// extensions' MIME types (platform/desktopassoc.h).

#include <functional>
#include <string>
#include <vector>

namespace vsk {

class TRegArchive {
 public:
  // Fired by Loaded when the extensions are not associated with this
  // program; Appname is the type name in capitals.
  using TOnAssociation = std::function<void(TRegArchive& Sender, const std::string& Appname)>;

  static constexpr const char* kDefaultExtDescription = "[Appname]";
  static constexpr const char* kDefaultFileDescription = "[Appname file]";
  static constexpr const char* kDefaultParamString = "%1";

  // Starts with the library's archive extensions.
  TRegArchive();

  bool ActivateOnStartup = true;
  // Each with its leading point; ".exe" in any case is never kept. A list
  // holding an empty extension, one without its leading point or one with
  // a "\" is refused with std::invalid_argument and the list stays as it was.
  const std::vector<std::string>& ArcExtensions() const { return FArcExtensions; }
  void SetArcExtensions(std::vector<std::string> Extensions);
  // The file type's name; "[Appname]" stands for the program's name.
  std::string ExtDescription() const;
  void SetExtDescription(const std::string& Value);
  // The file type's description; "[Appname file]" stands for the type
  // name followed by " file".
  std::string FileDescription() const;
  void SetFileDescription(const std::string& Value);
  int IconIndex = 0;
  // When set, the caption of the open command.
  std::string MenuName;
  // The open command's argument ("%1" when empty).
  std::string ParamString() const;
  void SetParamString(const std::string& Value);
  TOnAssociation OnAssociation;

  // Writes every association and tells the desktop. Registry and desktop
  // failures pass to the caller (ERegistryException, EDesktopAssocError).
  void RegisterExtensions();
  // True when every extension's open command and its MIME type's default
  // handler name this program.
  bool IsAssociated();
  // Takes every extension that names this program's type off it, and the
  // desktop defaults off this program. Always true.
  bool UnregisterExtensions();
  // The start-up check, for the owner to call once the properties are set.
  void Loaded();

  // The running program, the type name and the type description as the
  // operations write them.
  std::string ProgramPath() const;
  std::string TypeName() const;
  std::string TypeDescription() const;
  // The type name "[Appname]" gives for a program: its file name up to
  // the first point.
  static std::string AppTypeName(const std::string& ProgramPath);
  // The program an open command starts: the text between its first two
  // quotes, else the text before its first blank.
  static std::string CommandProgram(const std::string& Command);

 private:
  std::vector<std::string> FArcExtensions;
  std::string FExtDescription = kDefaultExtDescription;
  std::string FFileDescription = kDefaultFileDescription;
  std::string FParamString = kDefaultParamString;
};

}  // namespace vsk
