#pragma once
// File dialogs of the program delete to the trash: Qt's own deletion in its
// file dialog removes a file or a folder tree for good.

class QFileDialog;

namespace brevane {

// Makes a file dialog's own Delete (its key and its menu entry) move the
// selection to the trash, each after a question, instead of removing it for
// good. The dialog becomes Qt's own, whose deletion can be reached.
void RouteDeletesToTrash(QFileDialog& Dialog);
// Moves the files and folders selected in the dialog's list to the trash,
// each after a question.
void DeleteSelectedToTrash(QFileDialog& Dialog);

}  // namespace brevane
