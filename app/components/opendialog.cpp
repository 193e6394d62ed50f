#include "app/components/opendialog.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QAction>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "app/main/helpjump.h"
#include "app/main/messages.h"
#include "app/main/userinterface.h"

namespace brevane {

namespace {

QStringList Split(const std::string& Text, char Sep) { return QString::fromStdString(Text).split(QLatin1Char(Sep)); }

}  // namespace

TOpenDialog::TOpenDialog(QWidget* Parent) : QFileDialog(Parent) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  RouteDeletesToTrash(*this);
  if (auto* box = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox")))
    connect(box, &QDialogButtonBox::helpRequested, this, [this] { ShowHelpContext(HelpContext); });
  connect(this, &QFileDialog::filterSelected, this, [this](const QString& f) {
    const int i = static_cast<int>(FNameFilters.indexOf(f));
    if (i < 0) return;
    FilterIndex = i + 1;
    if (OnTypeChange) OnTypeChange(*this);
  });
}

void TOpenDialog::SetTitle(const std::string& Value) {
  FTitle = Value;
  if (isVisible()) setWindowTitle(QString::fromStdString(FTitle));
}

QStringList TOpenDialog::NameFilters(const std::string& Filter) {
  QStringList out;
  if (Filter.empty()) return out;
  const QStringList parts = Split(Filter, '|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i].trimmed();
    QStringList patterns;
    for (QString p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      p = p.trimmed();
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
      if (!p.isEmpty()) patterns << p;
    }
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    // Qt reads the patterns from the last parentheses, so a description
    // that shows its own patterns loses them to the real list.
    if (desc.endsWith(QLatin1Char(')'))) {
      const qsizetype open = desc.lastIndexOf(QLatin1Char('('));
      if (open >= 0) desc = desc.left(open).trimmed();
    }
    out << desc + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out;
}

void TOpenDialog::Prepare() {
  setWindowTitle(QString::fromStdString(FTitle.empty() ? (FSave ? "Save As" : "Open") : FTitle));
  setAcceptMode(FSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (FSave)
    setFileMode(QFileDialog::AnyFile);
  else if (Options.Contains(ofAllowMultiSelect))
    setFileMode(QFileDialog::ExistingFiles);
  else if (Options.Contains(ofFileMustExist))
    setFileMode(QFileDialog::ExistingFile);
  else
    setFileMode(QFileDialog::AnyFile);
  setOption(QFileDialog::DontConfirmOverwrite, !Options.Contains(ofOverwritePrompt));
  QDir::Filters f = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::AllDirs;
  if (Options.Contains(ofForceShowHidden)) f |= QDir::Hidden;
  setFilter(f);
  setSizeGripEnabled(Options.Contains(ofEnableSizing));

  FNameFilters = NameFilters(Filter);
  if (FNameFilters.isEmpty()) FNameFilters << QStringLiteral("All Files (*)");
  setNameFilters(FNameFilters);
  const int index = FilterIndex < 1 || FilterIndex > FNameFilters.size() ? 1 : FilterIndex;
  FilterIndex = index;
  selectNameFilter(FNameFilters[index - 1]);

  QString ext = QString::fromStdString(DefaultExt);
  if (ext.startsWith(QLatin1String("*"))) ext.remove(0, 1);
  if (ext.startsWith(QLatin1Char('.'))) ext.remove(0, 1);
  if (ext.contains(QLatin1Char('*'))) ext.clear();
  setDefaultSuffix(ext);

  const QString dir = QString::fromStdString(InitialDir);
  setDirectory(!dir.isEmpty() && QFileInfo(dir).isDir() ? dir : QDir::currentPath());
  if (!FileName.empty()) selectFile(QString::fromStdString(FileName));
  SelectNameForTyping();

  if (auto* box = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))) {
    QPushButton* help = box->button(QDialogButtonBox::Help);
    if (Options.Contains(ofShowHelp) && !help) box->addButton(QDialogButtonBox::Help);
    if (!Options.Contains(ofShowHelp) && help) box->removeButton(help);
  }
}

void TOpenDialog::SelectNameForTyping() {
  if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    edit->setFocus();
    edit->selectAll();
  }
}

void TOpenDialog::HideCompletion() {
  for (QCompleter* completer : findChildren<QCompleter*>())
    if (completer->popup()) completer->popup()->hide();
}

void TOpenDialog::showEvent(QShowEvent* Event) {
  QFileDialog::showEvent(Event);
  // After the dialog has set its own focus and selection.
  QTimer::singleShot(0, this, [this] { SelectNameForTyping(); });
}

void TOpenDialog::done(int Result) {
  HideCompletion();
  QFileDialog::done(Result);
}

void TOpenDialog::Finish(bool Accepted) {
  if (!Accepted) return;
  Files.clear();
  for (const QString& f : selectedFiles()) Files.push_back(QDir::cleanPath(f).toStdString());
  FileName = Files.empty() ? std::string() : Files.front();
  const int i = static_cast<int>(FNameFilters.indexOf(selectedNameFilter()));
  if (i >= 0) FilterIndex = i + 1;
}

bool TOpenDialog::Execute() {
  Prepare();
  const int r = UI().ShowModal(*this);
  HideCompletion();
  const bool accepted = r == mrOk && !selectedFiles().isEmpty();
  Finish(accepted);
  return accepted;
}

void TOpenDialog::DeleteSelected() { DeleteSelectedToTrash(*this); }

TSaveDialog::TSaveDialog(QWidget* Parent) : TOpenDialog(Parent) { FSave = true; }

}  // namespace brevane
