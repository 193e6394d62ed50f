#pragma once
// The file lists of the batch, backup and wizard dialogs: rows of names
// without repeats, filled from a file choice or a folder choice.

#include <string>
#include <vector>

class QListWidget;
class QWidget;

namespace brevane {

// Appends the names not listed yet, in order; empty names are passed over.
void AddUniqueRows(QListWidget* List, const std::vector<std::string>& Names);
std::vector<std::string> ListRows(const QListWidget* List);
void RemoveSelectedRows(QListWidget* List);
// Existing files chosen in the program's add dialog ("Select Files to Add",
// hidden files listed), run through the modal seam; none when cancelled.
// Filter is "description|patterns|..."; empty offers all files.
std::vector<std::string> ChooseFilesToAdd(QWidget* Parent, const std::string& Filter = {});
// The entry that stands for every file below a folder: the folder without
// its trailing "/" + "/*.*".
std::string FolderEntry(std::string Folder);

}  // namespace brevane
