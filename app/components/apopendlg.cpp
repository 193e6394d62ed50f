#include "app/components/apopendlg.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QToolButton>

#include "app/main/userinterface.h"

namespace brevane {

namespace {

TApCustomOpenDialog* g_current = nullptr;

// Moves every item of a grid by whole rows and columns.
void ShiftGrid(QGridLayout* Grid, int Rows, int Cols) {
  if (!Grid || (Rows == 0 && Cols == 0)) return;
  struct Placed {
    QLayoutItem* Item;
    int Row, Col, RowSpan, ColSpan;
  };
  std::vector<Placed> items;
  while (Grid->count() > 0) {
    int r = 0, c = 0, rs = 0, cs = 0;
    Grid->getItemPosition(0, &r, &c, &rs, &cs);
    items.push_back({Grid->takeAt(0), r, c, rs, cs});
  }
  for (const auto& p : items) {
    if (QLayout* l = p.Item->layout())
      Grid->addLayout(l, p.Row + Rows, p.Col + Cols, p.RowSpan, p.ColSpan);
    else
      Grid->addItem(p.Item, p.Row + Rows, p.Col + Cols, p.RowSpan, p.ColSpan);
  }
}

QString ClassNameWithoutScope(const QObject* o) {
  const QString name = QString::fromLatin1(o->metaObject()->className());
  const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
  return colon < 0 ? name : name.mid(colon + 1);
}

QWidget* MainForm() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(w)) return w;
  return nullptr;
}

// Asks the dialog's owner about every listed file; folders on the way to
// the current folder always stay so the view has a root.
class TIncludeProxy : public QSortFilterProxyModel {
 public:
  explicit TIncludeProxy(TApCustomOpenDialog* Dialog) : QSortFilterProxyModel(Dialog), FDialog(Dialog) {}

 protected:
  bool filterAcceptsRow(int Row, const QModelIndex& Parent) const override {
    auto* fs = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!fs || !FDialog->ExtFilter.Enabled) return true;
    const QModelIndex index = fs->index(Row, 0, Parent);
    const QString path = fs->filePath(index);
    if (fs->isDir(index)) {
      if (FDialog->ExtFilter.ShowFolders) return true;
      const QString current = FDialog->directory().absolutePath();
      return QFileInfo(path).absolutePath() != current;
    }
    bool include = true;
    if (FDialog->ExtFilter.OnIncludeFile) FDialog->ExtFilter.OnIncludeFile(*FDialog, path.toStdString(), include);
    return include;
  }

 private:
  TApCustomOpenDialog* FDialog;
};

}  // namespace

QRect PlaceDialogRect(const QRect& Dialog, const QRect& Center, const QRect& Screen, const TApPosParams& Params) {
  QRect r = Dialog;
  if (!Center.isEmpty()) r.moveCenter(Center.center());
  r.translate(Params.ShiftX, Params.ShiftY);
  if (Params.FitToScreen && !Screen.isEmpty()) {
    if (r.right() > Screen.right()) r.moveRight(Screen.right());
    if (r.bottom() > Screen.bottom()) r.moveBottom(Screen.bottom());
    if (r.left() < Screen.left()) r.moveLeft(Screen.left());
    if (r.top() < Screen.top()) r.moveTop(Screen.top());
  }
  return r;
}

QWidget* FindPanelForm(const std::string& Name) {
  if (Name.empty()) return nullptr;
  const QString wanted = QStringLiteral("T") + QString::fromStdString(Name);
  for (QWidget* w : QApplication::allWidgets())
    if (ClassNameWithoutScope(w).compare(wanted, Qt::CaseInsensitive) == 0) return w;
  return nullptr;
}

TApCustomOpenDialog::TApCustomOpenDialog(QWidget* Parent) : TOpenDialog(Parent) {
  if (auto* edit = qobject_cast<QLineEdit*>(Child("fileNameEdit")))
    connect(edit, &QLineEdit::textChanged, this, [this] {
      if (OnFilenameChange) OnFilenameChange(*this);
    });
}

TApCustomOpenDialog::~TApCustomOpenDialog() {
  RestorePanels();
  if (g_current == this) g_current = FPrevious;
}

TApCustomOpenDialog* TApCustomOpenDialog::Current() { return g_current; }

QWidget* TApCustomOpenDialog::Child(const char* Name) const { return findChild<QWidget*>(QString::fromLatin1(Name)); }

void TApCustomOpenDialog::SetTitle(const std::string& Value) {
  TOpenDialog::SetTitle(Value.size() > 511 ? Value.substr(0, 511) : Value);
}

TViewStyle TApCustomOpenDialog::SelectionStyle() const { return viewMode() == QFileDialog::Detail ? vsReport : vsList; }

std::string TApCustomOpenDialog::FileNameText() const {
  auto* edit = qobject_cast<QLineEdit*>(Child("fileNameEdit"));
  return edit ? edit->text().toStdString() : std::string();
}

std::string TApCustomOpenDialog::CurrentFolder() const { return directory().absolutePath().toStdString(); }

void TApCustomOpenDialog::PressOK() { accept(); }

void TApCustomOpenDialog::PressCancel() { reject(); }

void TApCustomOpenDialog::NavigateTo(const std::string& Folder) {
  QWidget* focus = QApplication::focusWidget();
  setDirectory(QString::fromStdString(Folder));
  if (focus) focus->setFocus();
}

bool TApCustomOpenDialog::Execute() {
  FPrevious = g_current;
  g_current = this;
  const bool result = TOpenDialog::Execute();
  g_current = FPrevious;
  FPrevious = nullptr;
  return result;
}

void TApCustomOpenDialog::Prepare() {
  TOpenDialog::Prepare();
  if (ExtFilter.Enabled && !proxyModel()) setProxyModel(new TIncludeProxy(this));
  if (!ExtFilter.Enabled && proxyModel()) setProxyModel(nullptr);
  EmbedPanels();
  ApplyCaptions();
  ApplyVisibleControls();
  ApplyListStyles();
  WatchToolButtons();
  Place();
  if (OnShow) OnShow(*this);
}

void TApCustomOpenDialog::Finish(bool Accepted) {
  TOpenDialog::Finish(Accepted);
  RestorePanels();
}

void TApCustomOpenDialog::EmbedPanels() {
  RestorePanels();
  auto* grid = qobject_cast<QGridLayout*>(layout());
  if (!grid) return;
  QWidget* left = FindPanelForm(CustDlgParams.LeftFormName);
  QWidget* top = FindPanelForm(CustDlgParams.TopFormName);
  QWidget* right = FindPanelForm(CustDlgParams.RightFormName);
  QWidget* bottom = FindPanelForm(CustDlgParams.BottomFormName);
  QWidget* custom = FindPanelForm(CustDlgParams.CustFormName);
  const int rows = grid->rowCount();
  const int cols = grid->columnCount();
  FShiftRows = top ? 1 : 0;
  FShiftCols = left ? 1 : 0;
  ShiftGrid(grid, FShiftRows, FShiftCols);
  auto borrow = [&](QWidget* form, int row, int col, int rowSpan, int colSpan) {
    if (!form || form == this) return;
    for (const auto& b : FBorrowed)
      if (b.Form == form) return;
    FBorrowed.push_back({form, form->parentWidget(), form->windowFlags()});
    form->setParent(this, Qt::Widget);
    grid->addWidget(form, row, col, rowSpan, colSpan);
    form->show();
    FPanels.emplace_back(form);
  };
  const int allRows = rows + FShiftRows;
  const int allCols = cols + FShiftCols;
  borrow(top, 0, FShiftCols, 1, cols);
  borrow(left, 0, 0, allRows, 1);
  borrow(right, 0, allCols, allRows, 1);
  borrow(bottom, allRows, FShiftCols, 1, cols);
  borrow(custom, allRows + (bottom ? 1 : 0), FShiftCols, 1, cols);
  if (!FBorrowed.empty()) adjustSize();
}

void TApCustomOpenDialog::RestorePanels() {
  auto* grid = qobject_cast<QGridLayout*>(layout());
  for (auto it = FBorrowed.rbegin(); it != FBorrowed.rend(); ++it) {
    if (!it->Form) continue;
    if (grid) grid->removeWidget(it->Form);
    it->Form->hide();
    it->Form->setParent(it->Parent, it->Flags);
  }
  FBorrowed.clear();
  FPanels.clear();
  ShiftGrid(grid, -FShiftRows, -FShiftCols);
  FShiftRows = FShiftCols = 0;
}

void TApCustomOpenDialog::ApplyCaptions() {
  const auto set = [this](QFileDialog::DialogLabel label, const std::string& text) {
    if (!text.empty()) setLabelText(label, QString::fromStdString(text));
  };
  set(QFileDialog::Accept, DlgItemsCaptions.OK);
  set(QFileDialog::Reject, DlgItemsCaptions.Cancel);
  set(QFileDialog::LookIn, DlgItemsCaptions.LookIn);
  set(QFileDialog::FileName, DlgItemsCaptions.FileName);
  set(QFileDialog::FileType, DlgItemsCaptions.FileType);
  if (!DlgItemsCaptions.Help.empty())
    if (auto* box = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox")))
      if (QPushButton* help = box->button(QDialogButtonBox::Help))
        help->setText(QString::fromStdString(DlgItemsCaptions.Help));
}

void TApCustomOpenDialog::ApplyVisibleControls() {
  const auto show = [this](const char* name, bool visible) {
    if (QWidget* w = Child(name)) w->setVisible(visible);
  };
  const auto& v = VisibleControls;
  show("lookInCombo", v.Contains(dcFolderCombo));
  show("lookInLabel", v.Contains(dcFolderLabel));
  show("splitter", v.Contains(dcSelectionCtrl));
  show("fileNameEdit", v.Contains(dcFileName));
  show("fileNameLabel", v.Contains(dcFileNameLabel));
  show("fileTypeCombo", v.Contains(dcFileType));
  show("fileTypeLabel", v.Contains(dcFileTypeLabel));
  for (const char* name :
       {"backButton", "forwardButton", "toParentButton", "newFolderButton", "listModeButton", "detailModeButton"}) {
    show(name, v.Contains(dcToolBar));
    if (auto* b = qobject_cast<QToolButton*>(Child(name))) b->setAutoRaise(ToolBar.Flat);
  }
  if (auto* box = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))) {
    for (auto which : {QDialogButtonBox::Open, QDialogButtonBox::Save})
      if (QPushButton* ok = box->button(which)) ok->setVisible(v.Contains(dcOkBtn));
    if (QPushButton* cancel = box->button(QDialogButtonBox::Cancel)) cancel->setVisible(v.Contains(dcCancelBtn));
  }
}

void TApCustomOpenDialog::ApplyListStyles() {
  if (auto* a = findChild<QAction*>(QStringLiteral("qt_rename_action"))) a->setVisible(ListViewStyles.EnableRename);
  if (auto* a = findChild<QAction*>(QStringLiteral("qt_delete_action"))) a->setVisible(ListViewStyles.EnableDelete);
  for (const char* name : {"listView", "treeView"}) {
    auto* view = qobject_cast<QAbstractItemView*>(Child(name));
    if (!view) continue;
    for (QShortcut* s : view->findChildren<QShortcut*>())
      if (s->key() == QKeySequence(QKeySequence::Delete)) s->setEnabled(ListViewStyles.EnableDelete);
  }
}

void TApCustomOpenDialog::WatchToolButtons() {
  if (FWatching) return;
  FWatching = true;
  for (const char* name : {"toParentButton", "backButton", "newFolderButton", "listModeButton", "detailModeButton"})
    if (QWidget* w = Child(name)) w->installEventFilter(this);
  for (const char* name : {"listView", "treeView"}) {
    auto* view = qobject_cast<QAbstractItemView*>(Child(name));
    if (!view) continue;
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
  }
  if (auto* b = qobject_cast<QToolButton*>(Child("toParentButton")))
    connect(b, &QToolButton::clicked, this, [this] {
      if (OnUpLevelNavigate) OnUpLevelNavigate(*this);
    });
  if (auto* b = qobject_cast<QToolButton*>(Child("backButton")))
    connect(b, &QToolButton::clicked, this, [this] {
      if (OnLastFolderNavigate) OnLastFolderNavigate(*this);
    });
  for (const auto& mode : {std::pair{"listModeButton", vsList}, std::pair{"detailModeButton", vsReport}})
    if (auto* b = qobject_cast<QToolButton*>(Child(mode.first)))
      connect(b, &QToolButton::clicked, this, [this, style = mode.second] {
        if (OnSelectionStyleChange) OnSelectionStyleChange(*this, style);
      });
}

bool TApCustomOpenDialog::eventFilter(QObject* Watched, QEvent* Event) {
  const auto ask = [this](const TQuery& query) {
    bool allow = true;
    if (query) query(*this, allow);
    return allow;
  };
  const QString name = Watched->objectName();
  if (Event->type() == QEvent::MouseButtonRelease) {
    if (name == QLatin1String("toParentButton")) return !ask(OnUpLevelNavigating);
    if (name == QLatin1String("backButton")) return !ask(OnLastFolderNavigating);
    if (name == QLatin1String("newFolderButton")) return !ask(OnFolderCreating);
    if (name == QLatin1String("listModeButton") || name == QLatin1String("detailModeButton")) {
      bool allow = true;
      const TViewStyle style = name == QLatin1String("listModeButton") ? vsList : vsReport;
      if (OnSelectionStyleChanging) OnSelectionStyleChanging(*this, style, allow);
      return !allow;
    }
  }
  if (Event->type() == QEvent::KeyPress || Event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(Event);
    if (key->key() == Qt::Key_Delete && !ListViewStyles.EnableDelete && qobject_cast<QAbstractItemView*>(Watched)) {
      Event->accept();
      return true;
    }
    if (Event->type() == QEvent::KeyPress && key->key() == Qt::Key_Backspace &&
        qobject_cast<QAbstractItemView*>(Watched))
      return !ask(OnUpLevelNavigating);
  }
  if (Event->type() == QEvent::ContextMenu) {
    auto* view = qobject_cast<QAbstractItemView*>(Watched->parent());
    if (view && view->viewport() == Watched) {
      const auto* menu = static_cast<QContextMenuEvent*>(Event);
      const bool onItem = view->indexAt(menu->pos()).isValid();
      if (onItem ? !ListViewStyles.PopupOnSelection : !ListViewStyles.PopupOnEmpty) return true;
    }
  }
  return TOpenDialog::eventFilter(Watched, Event);
}

void TApCustomOpenDialog::accept() {
  QWidget* edit = Child("fileNameEdit");
  if (edit && edit->hasFocus() && OnFilenameEntering) {
    bool allow = true;
    OnFilenameEntering(*this, allow);
    if (!allow) return;
  }
  TOpenDialog::accept();
}

void TApCustomOpenDialog::Place() {
  const TApDlgPosition pos = CustDlgParams.Position;
  const TApPosParams& p = CustDlgParams.PosParams;
  if (pos == dpDefault && p.ShiftX == 0 && p.ShiftY == 0 && !p.FitToScreen) return;
  QScreen* screen = QApplication::primaryScreen();
  const QRect screenRect = screen ? screen->availableGeometry() : QRect();
  const auto centreOf = [&](QWidget* w) { return w ? w->frameGeometry() : screenRect; };
  QRect centre;
  switch (pos) {
    case dpDefault:
      centre = centreOf(parentWidget() ? parentWidget()->window() : nullptr);
      break;
    case dpScrCenter:
      centre = screenRect;
      break;
    case dpMainFormCenter:
      centre = centreOf(MainForm());
      break;
    case dpOwnerCenter:
      centre = centreOf(parentWidget() ? parentWidget()->window() : MainForm());
      break;
    case dpFormCenter: {
      QWidget* form = nullptr;
      const QString wanted = QString::fromStdString(p.FormName);
      if (!wanted.isEmpty())
        for (QWidget* w : QApplication::topLevelWidgets())
          if (w->objectName().compare(wanted, Qt::CaseInsensitive) == 0) form = w;
      centre = centreOf(form ? form : MainForm());
      break;
    }
  }
  adjustSize();
  const QRect placed = PlaceDialogRect(QRect(0, 0, width(), height()), centre, screenRect, p);
  move(placed.topLeft());
}

TApCustomSaveDialog::TApCustomSaveDialog(QWidget* Parent) : TApCustomOpenDialog(Parent) { FSave = true; }

}  // namespace brevane
