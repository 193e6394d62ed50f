#include "app/main/runprogram.h"

#include "platform/registry.h"

namespace brevane {

std::vector<std::string> SplitParameters(const std::string& parameters) {
  std::vector<std::string> args;
  std::string current;
  bool inArg = false, quoted = false;
  for (char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      inArg = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArg) args.push_back(std::move(current));
      current.clear();
      inArg = false;
    } else {
      current += c;
      inArg = true;
    }
  }
  if (inArg) args.push_back(std::move(current));
  return args;
}

bool RunProgramAndWait(const std::string& program, const std::vector<std::string>& arguments, int /*showCommand*/,
                       const std::function<void()>& pump) {
  const auto slash = program.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : slash == 0 ? "/" : program.substr(0, slash);
  return RunAndWait(program, arguments, folder, pump).has_value();
}

bool RunProgramAndWait(const std::string& program, const std::string& parameters, int showCommand,
                       const std::function<void()>& pump) {
  return RunProgramAndWait(program, SplitParameters(parameters), showCommand, pump);
}

bool HasShellOpen(const std::string& fileName) {
  const auto slash = fileName.rfind('/');
  const auto dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  vsk::TRegistry reg(vsk::HKEY_CLASSES_ROOT);
  if (!reg.OpenKeyReadOnly("\\" + fileName.substr(dot))) return false;
  std::string type;
  try {
    type = reg.ReadString("");
  } catch (const vsk::ERegistryException&) {
    return false;
  }
  reg.CloseKey();
  return !type.empty() && reg.KeyExists("\\" + type + "\\Shell\\Open");
}

}  // namespace brevane
