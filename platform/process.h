#pragma once
// Starting other programs and waiting for them to end.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vsk {

// The full name of a program found on PATH (a name holding "/" is taken as
// it is; an empty entry of PATH is passed over, not taken as the current
// folder); "" when there is no such executable file.
std::string FindProgram(const std::string& Name);

// Starts Program with Arguments in WorkFolder (empty: the current folder)
// and waits for it to end, calling Pump (when given) about every 50 ms
// meanwhile. The exit status (128 + the signal for a program ended by a
// signal), or nullopt when it could not be started.
std::optional<int> RunAndWait(const std::string& Program, const std::vector<std::string>& Arguments,
                              const std::string& WorkFolder, const std::function<void()>& Pump = {});

}  // namespace vsk
