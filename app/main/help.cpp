#include "app/main/help.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

namespace brevane {

namespace {

#ifdef BREVANE_HELP_DIR
constexpr const char* kBuildHelpDir = BREVANE_HELP_DIR;
#else
constexpr const char* kBuildHelpDir = "";
#endif

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool IsFolder(const std::string& Path) {
  std::error_code ec;
  return !Path.empty() && std::filesystem::is_directory(Path, ec);
}

bool IsKeyword(const std::string& Keyword) {
  return !Keyword.empty() && std::all_of(Keyword.begin(), Keyword.end(), [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

}  // namespace

std::string HelpFolder() {
  const std::string beside = QCoreApplication::applicationDirPath().toStdString() + "/Help";
  if (IsFolder(beside)) return beside;
  return IsFolder(kBuildHelpDir) ? std::string(kBuildHelpDir) : std::string();
}

std::string HelpPageFile(const std::string& Folder, const std::string& Keyword) {
  if (Folder.empty() || !IsKeyword(Keyword)) return {};
  const std::string file = Folder + "/" + Keyword + ".html";
  std::error_code ec;
  return std::filesystem::is_regular_file(file, ec) ? file : std::string();
}

std::vector<THelpTopic> HelpTopics(const std::string& Folder) {
  std::vector<THelpTopic> topics;
  if (Folder.empty()) return topics;
  const QDir dir(Q(Folder));
  static const QRegularExpression title(QStringLiteral("<title>(.*)</title>"),
                                        QRegularExpression::CaseInsensitiveOption);
  for (const QString& name : dir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name)) {
    if (name == QLatin1String(kHelpContentsPage)) continue;
    QFile f(dir.filePath(name));
    // The pages are ours and small; anything larger is not a help page.
    if (f.size() > 256 * 1024 || !f.open(QIODevice::ReadOnly)) continue;
    const QString html = QString::fromUtf8(f.readAll());
    QTextDocument doc;
    doc.setHtml(html);
    const auto m = title.match(html);
    topics.push_back({name.toStdString(), (m.hasMatch() ? m.captured(1) : name).trimmed().toStdString(),
                      doc.toPlainText().toStdString()});
  }
  std::sort(topics.begin(), topics.end(), [](const THelpTopic& a, const THelpTopic& b) { return a.Title < b.Title; });
  return topics;
}

std::vector<const THelpTopic*> SearchHelp(const std::vector<THelpTopic>& Topics, const std::string& Query) {
  std::vector<const THelpTopic*> found;
  const QStringList words = Q(Query).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  if (words.isEmpty()) return found;
  for (const auto& t : Topics) {
    const QString text = Q(t.Title) + QLatin1Char('\n') + Q(t.Text);
    if (std::all_of(words.begin(), words.end(),
                    [&](const QString& w) { return text.contains(w, Qt::CaseInsensitive); }))
      found.push_back(&t);
  }
  return found;
}

THelpWindow::THelpWindow(const std::string& Folder, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FHome(Parent), FOwner(Parent), FFolder(Folder), FTopics(HelpTopics(Folder)) {
  setObjectName(QStringLiteral("fmHelp"));
  setWindowTitle(QStringLiteral("Brevane Help"));
  resize(820, 560);
  auto* layout = new QVBoxLayout(this);
  auto* buttons = new QHBoxLayout;
  buBack = new QToolButton(this);
  buBack->setText(QStringLiteral("&Back"));
  buForward = new QToolButton(this);
  buForward->setText(QStringLiteral("&Forward"));
  buHome = new QToolButton(this);
  buHome->setText(QStringLiteral("&Contents"));
  buBrowser = new QToolButton(this);
  buBrowser->setText(QStringLiteral("Open in &Browser"));
  for (QToolButton* b : {buBack, buForward, buHome, buBrowser}) buttons->addWidget(b);
  buttons->addStretch();
  layout->addLayout(buttons);

  auto* splitter = new QSplitter(this);
  tcNavigation = new QTabWidget(splitter);
  lbContents = new QListWidget;
  tcNavigation->addTab(lbContents, QStringLiteral("Contents"));
  auto* searchPage = new QWidget;
  auto* searchLayout = new QVBoxLayout(searchPage);
  auto* searchLabel = new QLabel(QStringLiteral("&Words to find:"), searchPage);
  edSearch = new QLineEdit(searchPage);
  searchLabel->setBuddy(edSearch);
  lbResults = new QListWidget(searchPage);
  searchLayout->addWidget(searchLabel);
  searchLayout->addWidget(edSearch);
  searchLayout->addWidget(lbResults);
  tcNavigation->addTab(searchPage, QStringLiteral("Search"));
  tbPage = new QTextBrowser(splitter);
  // Links are followed here: pages of the help folder in the window, the
  // product's site in the desktop's browser.
  tbPage->setOpenLinks(false);
  tbPage->setSearchPaths({Q(Folder)});
  splitter->setSizes({220, 600});
  layout->addWidget(splitter, 1);

  for (const auto& t : FTopics) {
    auto* item = new QListWidgetItem(Q(t.Title), lbContents);
    item->setData(Qt::UserRole, Q(t.File));
  }
  const auto open = [this](QListWidgetItem* Item) {
    if (Item) ShowFile(Item->data(Qt::UserRole).toString().toStdString());
  };
  connect(lbContents, &QListWidget::itemActivated, this, open);
  connect(lbContents, &QListWidget::itemClicked, this, open);
  connect(lbResults, &QListWidget::itemActivated, this, open);
  connect(lbResults, &QListWidget::itemClicked, this, open);
  connect(edSearch, &QLineEdit::textChanged, this, [this] { edSearchChange(); });
  connect(buBack, &QToolButton::clicked, tbPage, &QTextBrowser::backward);
  connect(buForward, &QToolButton::clicked, tbPage, &QTextBrowser::forward);
  connect(tbPage, &QTextBrowser::backwardAvailable, buBack, &QToolButton::setEnabled);
  connect(tbPage, &QTextBrowser::forwardAvailable, buForward, &QToolButton::setEnabled);
  connect(buHome, &QToolButton::clicked, this, [this] { ShowContents(false); });
  connect(buBrowser, &QToolButton::clicked, this, &THelpWindow::buBrowserClick);
  connect(tbPage, &QTextBrowser::anchorClicked, this, [this](const QUrl& Url) {
    const QUrl target = tbPage->source().resolved(Url);
    if (target.isLocalFile())
      tbPage->setSource(target);
    else if (OpenUrl)
      OpenUrl(target.toString().toStdString());
  });
  buBack->setEnabled(false);
  buForward->setEnabled(false);
}

void THelpWindow::Present() {
  QWidget* modal = QApplication::activeModalWidget();
  MoveTo(modal && modal != this ? modal : FHome.data());
  show();
  raise();
  activateWindow();
}

void THelpWindow::MoveTo(QWidget* Owner) {
  if (Owner == parentWidget()) return;
  if (FOwner && FOwner != FHome) FOwner->removeEventFilter(this);
  const bool visible = isVisible();
  const QRect frame = geometry();
  setParent(Owner, windowFlags());
  if (visible) {
    setGeometry(frame);
    show();
  }
  FOwner = Owner;
  if (Owner && Owner != FHome) Owner->installEventFilter(this);
}

bool THelpWindow::eventFilter(QObject* Watched, QEvent* Event) {
  // The dialog is closing (or going away): the window must not go with it.
  if (Watched == FOwner && Event->type() == QEvent::Hide) {
    QWidget* next = QApplication::activeModalWidget();
    MoveTo(next && next != FOwner && next != this ? next : FHome.data());
  }
  return QWidget::eventFilter(Watched, Event);
}

void THelpWindow::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(Event);
}

void THelpWindow::ShowFile(const std::string& File) {
  if (FFolder.empty()) {
    tbPage->setHtml(QStringLiteral("<p>The help pages were not found beside the program.</p>"));
    return;
  }
  tbPage->setSource(QUrl::fromLocalFile(Q(FFolder + "/" + File)));
}

void THelpWindow::ShowTopic(const std::string& Keyword) {
  const std::string file = HelpPageFile(FFolder, Keyword);
  ShowFile(file.empty() ? std::string(kHelpContentsPage) : Keyword + ".html");
}

void THelpWindow::ShowContents(bool Search) {
  ShowFile(kHelpContentsPage);
  tcNavigation->setCurrentIndex(Search ? 1 : 0);
  if (Search) edSearch->setFocus();
}

void THelpWindow::edSearchChange() {
  lbResults->clear();
  for (const THelpTopic* t : SearchHelp(FTopics, edSearch->text().toStdString())) {
    auto* item = new QListWidgetItem(Q(t->Title), lbResults);
    item->setData(Qt::UserRole, Q(t->File));
  }
}

void THelpWindow::buBrowserClick() {
  if (OpenUrl && tbPage->source().isLocalFile()) OpenUrl(tbPage->source().toString().toStdString());
}

std::string THelpWindow::CurrentFile() const { return tbPage->source().fileName().toStdString(); }

}  // namespace brevane
