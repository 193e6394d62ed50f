#include "app/main/runprogram.h"

#include <unistd.h>

#include <cstring>

#include "platform/registry.h"

extern char** environ;

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

std::optional<int> RunProgramAndWait(const std::string& program, const std::vector<std::string>& arguments,
                                     int /*showCommand*/, const std::function<void()>& pump) {
  const auto slash = program.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : slash == 0 ? "/" : program.substr(0, slash);
  return RunAndWait(program, arguments, folder, pump);
}

std::optional<int> RunProgramAndWait(const std::string& program, const std::string& parameters, int showCommand,
                                     const std::function<void()>& pump) {
  return RunProgramAndWait(program, SplitParameters(parameters), showCommand, pump);
}

std::size_t ArgumentBudget() {
  const long limit = sysconf(_SC_ARG_MAX);
  std::size_t budget = limit > 0 ? static_cast<std::size_t>(limit) : 131072;
  std::size_t used = 0;
  for (char** e = environ; e && *e; ++e) used += std::strlen(*e) + 1 + sizeof(char*);
  // Room for the program's own name and what the kernel adds.
  used += 8192;
  return used + 4096 < budget ? budget - used : 4096;
}

std::vector<std::vector<std::string>> SplitArgumentRuns(const std::vector<std::string>& items, std::size_t budget) {
  std::vector<std::vector<std::string>> runs;
  std::size_t used = 0;
  for (const std::string& item : items) {
    const std::size_t size = item.size() + 1 + sizeof(char*);
    if (runs.empty() || used + size > budget) {
      runs.emplace_back();
      used = 0;
    }
    runs.back().push_back(item);
    used += size;
  }
  return runs;
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
