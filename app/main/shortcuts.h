#pragma once
// Program shortcuts: desktop entry files that start a program.

#include <string>

namespace brevane {

// Writes Folder + "/" + Name + ".desktop" starting Target with the files
// it is given, creating Folder when needed. True when the file was written.
bool CreateShortcut(const std::string& Folder, const std::string& Name, const std::string& Target);

}  // namespace brevane
