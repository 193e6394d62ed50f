#include "app/dialogs/checkversiondlg.h"

#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>

#include "app/main/contentlist.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "app/main/userinterface.h"
#include "ui_checkversiondlg.h"

namespace brevane {

std::string VersionServer() {
  std::string server;
  ShowExceptions([&] {
    if (SettingExists("Others", "VersionServer")) server = ReadSettingString("Others", "VersionServer");
  });
  if (server.empty()) server = kProductHomePage;
  while (!server.empty() && server.back() == '/') server.pop_back();
  return server;
}

std::vector<std::string> VersionLines(const std::string& Text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t lf; (lf = Text.find('\n', start)) != std::string::npos; start = lf + 1)
    lines.push_back(Text.substr(start, lf - start));
  lines.push_back(Text.substr(start));
  return lines;
}

TfmCheckVersion::TfmCheckVersion(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmCheckVersion>()), IdHTTP(new QNetworkAccessManager(this)) {
  ui->setupUi(this);
  edCurrent = ui->edCurrent;
  edLatest = ui->edLatest;
  meNew = ui->meNew;
  buDownload = ui->buDownload;
  buClose = ui->buClose;
  Server = VersionServer();
  tiGetVersion.setSingleShot(true);
  tiGetVersion.setInterval(50);
  connect(&tiGetVersion, &QTimer::timeout, this, &TfmCheckVersion::tiGetVersionTimer);
  connect(buDownload, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(buClose, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

TfmCheckVersion::~TfmCheckVersion() {
  if (FReply) {
    FReply->disconnect(this);
    FReply->abort();
  }
}

void TfmCheckVersion::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!Event->spontaneous()) FormShow();
}

void TfmCheckVersion::FormShow() {
  edLatest->setText(QString::fromUtf8(msgtext::kPleaseWait));
  edCurrent->setText(QString::fromStdString(FCurrentVersion));
  tiGetVersion.start();
}

void TfmCheckVersion::tiGetVersionTimer() {
  tiGetVersion.stop();
  if (FReply) return;
  QNetworkRequest request(QUrl(QString::fromStdString(Server + kVersionPath)));
  request.setRawHeader("Accept", "text/html, */*");
  request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Brevane"));
  request.setTransferTimeout(30000);
  FBody.clear();
  FTruncated = false;
  FFinished = false;
  // The request runs in the background: the dialog repaints and Close
  // works meanwhile; the busy cursor only says that it runs.
  setCursor(Qt::BusyCursor);
  FReply = IdHTTP->get(request);
  connect(FReply, &QNetworkReply::readyRead, this, &TfmCheckVersion::ReplyRead);
  connect(FReply, &QNetworkReply::finished, this, &TfmCheckVersion::ReplyFinished);
}

void TfmCheckVersion::ReplyRead() {
  if (!FReply || FTruncated) return;
  FBody += FReply->read(kMaxVersionText + 1 - FBody.size());
  // Only the first few kilobytes are ever read; a longer answer is cut.
  if (FBody.size() > kMaxVersionText) {
    FBody.truncate(kMaxVersionText);
    FTruncated = true;
    FReply->abort();
  }
}

void TfmCheckVersion::ReplyFinished() {
  QNetworkReply* reply = FReply;
  if (!reply) return;
  ReplyRead();
  FReply = nullptr;
  reply->deleteLater();
  unsetCursor();
  FFinished = true;
  if (!FTruncated && reply->error() != QNetworkReply::NoError) {
    MessageDlg(msgtext::kVersionServerError, mtError, mbOK);
    done(mrCancel);
    return;
  }
  // Plain text boxes: nothing of the server's text is taken as markup.
  FNewLines = VersionLines(FBody.toStdString());
  edLatest->setText(QString::fromStdString(FNewLines.front()));
  FNewLines.erase(FNewLines.begin());
  QStringList shown;
  for (const auto& line : FNewLines) shown << QString::fromStdString(line);
  meNew->setPlainText(shown.join(QLatin1Char('\n')));
}

void TfmCheckVersion::done(int Result) {
  // Closing ends a request still running; it reports nothing then.
  if (FReply) {
    QNetworkReply* reply = FReply;
    FReply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    unsetCursor();
  }
  tiGetVersion.stop();
  QDialog::done(Result);
}

}  // namespace brevane
