#include "app/dialogs/listrows.h"

#include <QListWidget>

#include "app/components/apopendlg.h"
#include "app/main/messages.h"

namespace brevane {

void AddUniqueRows(QListWidget* List, const std::vector<std::string>& Names) {
  for (const std::string& name : Names) {
    const QString row = QString::fromStdString(name);
    if (!row.isEmpty() && List->findItems(row, Qt::MatchExactly).isEmpty()) List->addItem(row);
  }
}

std::vector<std::string> ListRows(const QListWidget* List) {
  std::vector<std::string> rows;
  for (int i = 0; i < List->count(); ++i) rows.push_back(List->item(i)->text().toStdString());
  return rows;
}

void RemoveSelectedRows(QListWidget* List) {
  for (QListWidgetItem* item : List->selectedItems()) delete item;
}

std::vector<std::string> ChooseFilesToAdd(QWidget* Parent, const std::string& Filter) {
  // As the main window's add dialog, without its option panel.
  TApOpenDialog d(Parent);
  d.SetTitle("Select Files to Add");
  d.DlgItemsCaptions.OK = "&Add";
  d.Options = {ofHideReadOnly, ofAllowMultiSelect, ofFileMustExist,
               ofEnableSizing, ofDontAddToRecent,  ofForceShowHidden};
  d.OptionsEx = {ofExNoPlacesBar};
  d.Filter = Filter.empty() ? std::string(msgtext::kAllFilesFilter) : Filter;
  d.DefaultExt = "*.*";
  d.ListViewStyles = {true, true, true, true};
  if (!d.Execute()) return {};
  return d.Files;
}

std::string FolderEntry(std::string Folder) {
  while (!Folder.empty() && Folder.back() == '/') Folder.pop_back();
  return Folder + "/*.*";
}

}  // namespace brevane
