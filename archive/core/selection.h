#pragma once
// Whether an archive entry is wanted by a run, by its name, the run's masks
// and its exclusion masks. Entry names may use "\" or "/" between folders;
// ":" separates only the colon of a drive letter ("c:"). Folders and names
// are compared without regard to ASCII case. The callers' lists are never
// changed.

#include <string>
#include <string_view>
#include <vector>

namespace vsk {

// With RecurseDirs a mask without a folder is matched against the name part
// of the entry, in any folder, and a mask with a folder against the whole
// name (a "*" also runs over folder separators); without RecurseDirs the
// entry's folder must equal the mask's. A mask equal to the name selects it
// at once; any other match is undone by a matching exclusion. An empty name
// or an empty mask list selects nothing.
bool IsEntrySelected(std::string_view Name, const std::vector<std::string>& Masks,
                     const std::vector<std::string>& Exclusions, bool RecurseDirs);

// True when Name matches one of Masks and none of Exclusions, with no folder
// rules. A name whose last part has no "." is matched with a "." appended
// against masks whose last part holds one, so "*.*" takes "README".
bool MatchFileName(std::string_view Name, const std::vector<std::string>& Masks,
                   const std::vector<std::string>& Exclusions);

}  // namespace vsk
