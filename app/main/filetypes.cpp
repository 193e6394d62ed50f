#include "app/main/filetypes.h"

#include <QApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>

namespace brevane {

namespace {

QString Suffix(const QString& FileName) {
  const qsizetype slash = FileName.lastIndexOf(QLatin1Char('/'));
  const qsizetype dot = FileName.lastIndexOf(QLatin1Char('.'));
  if (dot <= slash + 1) return {};
  return FileName.mid(dot + 1);
}

// A small padlock drawn over the left edge of an icon.
QIcon WithLock(const QIcon& Base) {
  QIcon out;
  for (int size : {16, 22, 32}) {
    QPixmap pm = Base.pixmap(size, size);
    if (pm.isNull()) continue;
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const int w = qMax(7, size * 7 / 16);
    const QRectF body(0.5, size - w * 0.8, w - 1, w * 0.8 - 0.5);
    p.setPen(QPen(QColor(90, 60, 0), 1));
    p.setBrush(QColor(235, 180, 40));
    p.drawRect(body);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(1.5, body.top() - w * 0.5, w - 3, w * 0.9), 0, 180 * 16);
    out.addPixmap(pm);
  }
  return out.isNull() ? Base : out;
}

}  // namespace

int TFileTypes::Lookup(const QString& FileName) {
  const QString key = Suffix(FileName).toLower();
  const auto it = FIndex.constFind(key);
  if (it != FIndex.constEnd()) return it.value();
  static const QMimeDatabase db;
  const QMimeType mime = db.mimeTypeForFile(FileName, QMimeDatabase::MatchExtension);
  TEntry e;
  if (mime.isValid() && !mime.isDefault() && !key.isEmpty()) {
    e.TypeName = mime.comment();
    e.Icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
  }
  if (e.TypeName.isEmpty())
    e.TypeName = key.isEmpty() ? QStringLiteral("File") : key.toUpper() + QStringLiteral(" File");
  if (e.Icon.isNull()) e.Icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
  if (e.Icon.isNull()) e.Icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  FEntries.push_back(std::move(e));
  const int index = static_cast<int>(FEntries.size()) - 1;
  FIndex.insert(key, index);
  return index;
}

int TFileTypes::IconIndex(const QString& FileName) { return Lookup(FileName); }

QIcon TFileTypes::Icon(int Index, bool Encrypted) {
  if (Index < 0 || Index >= static_cast<int>(FEntries.size())) return {};
  TEntry& e = FEntries[static_cast<std::size_t>(Index)];
  if (!Encrypted) return e.Icon;
  if (e.Locked.isNull()) e.Locked = WithLock(e.Icon);
  return e.Locked;
}

QString TFileTypes::TypeName(const QString& FileName) {
  return FEntries[static_cast<std::size_t>(Lookup(FileName))].TypeName;
}

void TFileTypes::Clear() {
  FIndex.clear();
  FEntries.clear();
}

QIcon ThemeIcon(const char* Name) {
  static const struct {
    const char* Name;
    QStyle::StandardPixmap Fallback;
  } kFallbacks[] = {
      {"document-new", QStyle::SP_FileIcon},
      {"document-open", QStyle::SP_DialogOpenButton},
      {"window-close", QStyle::SP_DialogCloseButton},
      {"document-save", QStyle::SP_DialogSaveButton},
      {"list-add", QStyle::SP_FileDialogNewFolder},
      {"edit-delete", QStyle::SP_TrashIcon},
      {"help-contents", QStyle::SP_DialogHelpButton},
      {"application-exit", QStyle::SP_DialogCloseButton},
      {"view-refresh", QStyle::SP_BrowserReload},
      {"folder", QStyle::SP_DirIcon},
      {"document-properties", QStyle::SP_FileDialogInfoView},
      {"dialog-information", QStyle::SP_MessageBoxInformation},
  };
  QIcon icon = QIcon::fromTheme(QString::fromLatin1(Name));
  if (icon.isNull()) icon = QIcon::fromTheme(QString::fromLatin1(Name) + QStringLiteral("-symbolic"));
  if (!icon.isNull()) return icon;
  for (const auto& f : kFallbacks)
    if (qstrcmp(f.Name, Name) == 0) return QApplication::style()->standardIcon(f.Fallback);
  return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

}  // namespace brevane
