#pragma once
// File-type names and icons from the desktop's MIME database and icon
// theme, looked up once per extension: the archive view's image list.

#include <QHash>
#include <QIcon>
#include <QString>
#include <vector>

namespace brevane {

class TFileTypes {
 public:
  // Index of the icon for a file name (by its extension).
  int IconIndex(const QString& FileName);
  // The icon of an index; with Encrypted a lock marker is drawn on its left.
  QIcon Icon(int Index, bool Encrypted);
  // The desktop's name of the file's type; "<EXT> File" (or "File") when
  // the type is unknown.
  QString TypeName(const QString& FileName);
  void Clear();

 private:
  struct TEntry {
    QString TypeName;
    QIcon Icon;
    QIcon Locked;
  };
  int Lookup(const QString& FileName);
  QHash<QString, int> FIndex;
  std::vector<TEntry> FEntries;
};

// The program's icon for an action or a window, by icon-theme name with a
// style icon when the theme has none.
QIcon ThemeIcon(const char* Name);

}  // namespace brevane
