#pragma once
// The version check: fetches "/version.txt" from the product's server and
// shows its first line as the latest version and the other lines as what
// is new. The request runs while the dialog stays usable; Close ends it.
// "Download Now" closes with OK, and the caller opens the download page.

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QPushButton;
namespace Ui {
class TfmCheckVersion;
}

namespace brevane {

inline constexpr const char* kVersionPath = "/version.txt";
inline constexpr const char* kDownloadPath = "/downloads.html";
// The most of the version text that is read.
inline constexpr int kMaxVersionText = 8192;

// The server: the value "VersionServer" of section "Others" when set, else
// the product's web site; without a trailing "/".
std::string VersionServer();

// The version text split at every line feed (carriage returns stay).
std::vector<std::string> VersionLines(const std::string& Text);

class TfmCheckVersion : public QDialog {
  Q_OBJECT

 public:
  explicit TfmCheckVersion(QWidget* Parent = nullptr);
  ~TfmCheckVersion() override;

  void FormShow();
  void tiGetVersionTimer();
  // Whether the request has ended (answered or failed).
  bool Finished() const { return FFinished; }
  const std::vector<std::string>& NewLines() const { return FNewLines; }
  void done(int Result) override;

  std::string FCurrentVersion;
  std::string Server;

  QLineEdit* edCurrent;
  QLineEdit* edLatest;
  QPlainTextEdit* meNew;
  QPushButton* buDownload;
  QPushButton* buClose;
  QTimer tiGetVersion;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void ReplyRead();
  void ReplyFinished();

  std::unique_ptr<Ui::TfmCheckVersion> ui;
  QNetworkAccessManager* IdHTTP;
  QPointer<QNetworkReply> FReply;
  QByteArray FBody;
  bool FTruncated = false;
  bool FFinished = false;
  std::vector<std::string> FNewLines;
};

}  // namespace brevane
