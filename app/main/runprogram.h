#pragma once
// Starting other programs (virus scanner, setup programs, the mail client)
// and waiting for them while the program's window stays responsive.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/pump.h"
#include "platform/process.h"

namespace brevane {

// How the started program's window is to be shown. The desktop decides
// that on Linux; the value is accepted for the callers' sake.
inline constexpr int kShowNormal = 1;
inline constexpr int kShowMinimized = 2;

using vsk::FindProgram;

// Splits a parameter text into arguments: blanks separate them, double
// quotes group blanks into one argument and are removed.
std::vector<std::string> SplitParameters(const std::string& Parameters);

// Starts Program with Arguments in WorkFolder (empty: the current folder)
// and waits for it to end, pumping messages meanwhile (vsk::RunAndWait).
inline std::optional<int> RunAndWait(const std::string& Program, const std::vector<std::string>& Arguments,
                                     const std::string& WorkFolder,
                                     const std::function<void()>& Pump = vsk::ProcessMessages) {
  return vsk::RunAndWait(Program, Arguments, WorkFolder, Pump);
}

// Starts Program in its own folder with the arguments as given (no length
// limit) and waits for it, pumping messages. Its exit status as RunAndWait
// gives it, or nullopt when it could not be started.
std::optional<int> RunProgramAndWait(const std::string& Program, const std::vector<std::string>& Arguments,
                                     int ShowCommand, const std::function<void()>& Pump = vsk::ProcessMessages);
// The same with the arguments split from a parameter text.
std::optional<int> RunProgramAndWait(const std::string& Program, const std::string& Parameters, int ShowCommand,
                                     const std::function<void()>& Pump = vsk::ProcessMessages);

// The bytes of argument strings one program start may take: the system's
// limit less the environment and a margin.
std::size_t ArgumentBudget();
// Items in order, split into runs whose strings fit Budget bytes, each
// string counted with its terminating NUL and its pointer. An item too big
// for any run gets a run of its own; no items give no runs.
std::vector<std::vector<std::string>> SplitArgumentRuns(const std::vector<std::string>& Items, std::size_t Budget);

// Whether the file's type (by its extension, in the classes root) has an
// "open" command.
bool HasShellOpen(const std::string& FileName);

}  // namespace brevane
