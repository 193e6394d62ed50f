#pragma once
// The program's help: one HTML page per topic keyword ("Hlp_Check_Out" is
// Hlp_Check_Out.html) in the "Help" folder beside the program, a contents
// page, and a help window that shows a page, lists the topics and searches
// them. The window can hand the page it shows to the desktop's browser.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QToolButton;

namespace brevane {

inline constexpr const char* kHelpContentsPage = "contents.html";

// The help folder: "Help" beside the program, else the folder the build
// puts the pages in; "" when neither exists.
std::string HelpFolder();
// The page of a topic keyword in Folder; "" when there is none. A keyword
// is letters, digits and "_" only, so it never names a file elsewhere.
std::string HelpPageFile(const std::string& Folder, const std::string& Keyword);

struct THelpTopic {
  std::string File;   // file name in the help folder
  std::string Title;  // the page's <title>
  std::string Text;   // the page as plain text, for searching
};
// Every page of the folder but the contents page, by title.
std::vector<THelpTopic> HelpTopics(const std::string& Folder);
// The topics whose title or text holds every word of Query
// (case-insensitive), in title order; none for a query without words.
std::vector<const THelpTopic*> SearchHelp(const std::vector<THelpTopic>& Topics, const std::string& Query);

class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit THelpWindow(const std::string& Folder, QWidget* Parent = nullptr);

  // Shows the window in front. Asked for while a modal dialog is open, it
  // becomes that dialog's child window, which the dialog's modality does
  // not block, and goes back to its first parent when the dialog closes.
  void Present();
  // Shows the page of Keyword (the contents page when it has none).
  void ShowTopic(const std::string& Keyword);
  // Shows the contents page with the topic list, or the search page.
  void ShowContents(bool Search);
  void edSearchChange();
  // Hands the page shown to the desktop's browser.
  void buBrowserClick();
  std::string CurrentFile() const;

  // Opens a web or file address with the desktop's browser; the main
  // window passes its own.
  std::function<bool(const std::string& Url)> OpenUrl;

  QTabWidget* tcNavigation;
  QListWidget* lbContents;
  QLineEdit* edSearch;
  QListWidget* lbResults;
  QTextBrowser* tbPage;
  QToolButton* buBack;
  QToolButton* buForward;
  QToolButton* buHome;
  QToolButton* buBrowser;

 protected:
  // Esc closes the window.
  void keyPressEvent(QKeyEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void ShowFile(const std::string& File);
  void MoveTo(QWidget* Owner);
  QPointer<QWidget> FHome;
  QPointer<QWidget> FOwner;
  std::string FFolder;
  std::vector<THelpTopic> FTopics;
};

}  // namespace brevane
