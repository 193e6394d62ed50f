// The version check against a small HTTP server on 127.0.0.1: an answer,
// a missing page, no server, a server that never answers (closed by the
// user) and an answer far larger than a version text.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "app/dialogs/checkversiondlg.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

// Answers every request with Response (nothing when it is empty) and
// keeps the last request's head.
class TVersionServer : public QTcpServer {
 public:
  TVersionServer() {
    EXPECT_TRUE(listen(QHostAddress::LocalHost));
    connect(this, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* s = nextPendingConnection()) {
        connect(s, &QTcpSocket::readyRead, s, [this, s] {
          Request += s->readAll();
          if (!Request.contains("\r\n\r\n") || Response.isEmpty()) return;
          s->write(Response);
          s->disconnectFromHost();
        });
      }
    });
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(serverPort()); }
  void Answer(const QByteArray& Status, const QByteArray& Body) {
    Response = "HTTP/1.1 " + Status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
               QByteArray::number(Body.size()) + "\r\nConnection: close\r\n\r\n" + Body;
  }
  QByteArray Request;
  QByteArray Response;
};

class CheckVersion : public WindowTest {
 protected:
  // Runs the version check of the main window; Act gets the dialog once
  // it is shown and gives its modal result.
  void Run(const std::function<int(TfmCheckVersion&)>& Act) {
    ui.ExpectModal([&](QDialog& Dialog) {
      auto& d = dynamic_cast<TfmCheckVersion&>(Dialog);
      d.show();
      EXPECT_EQ(d.edLatest->text().toStdString(), msgtext::kPleaseWait);
      EXPECT_EQ(d.edCurrent->text().toStdString(), msgtext::kAboutText);
      return Act(d);
    });
    main->acCheckVersion->trigger();
  }
  void PointAt(const std::string& Server) { WriteSettingString("Others", "VersionServer", Server); }
  std::vector<std::string> opened;
  void StartWindow() {
    ASSERT_TRUE(Start({}));
    main->OpenUrl = [this](const std::string& Url) {
      opened.push_back(Url);
      return true;
    };
  }
};

TEST_F(CheckVersion, AnswerIsShownAsPlainTextAndDownloadOpensThePage) {
  StartWindow();
  TVersionServer server;
  server.Answer("200 OK", "<b>Brevane 3.00</b>\r\nFaster ZIP\r\nNew <i>help</i>\n");
  PointAt(server.Url() + "/");
  Run([&](TfmCheckVersion& d) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.Finished(); }, 20000));
    EXPECT_EQ(d.edLatest->text(), QStringLiteral("<b>Brevane 3.00</b>\r"));
    EXPECT_EQ(d.NewLines(), (std::vector<std::string>{"Faster ZIP\r", "New <i>help</i>", ""}));
    EXPECT_TRUE(d.meNew->toPlainText().contains(QStringLiteral("New <i>help</i>")));
    d.buDownload->click();
    return d.result();
  });
  EXPECT_TRUE(server.Request.startsWith("GET /version.txt HTTP/1.1\r\n")) << server.Request.toStdString();
  EXPECT_TRUE(server.Request.contains("User-Agent: Brevane\r\n"));
  EXPECT_TRUE(server.Request.contains("Accept: text/html, */*\r\n"));
  EXPECT_EQ(opened, std::vector<std::string>{server.Url() + "/downloads.html"});
}

TEST_F(CheckVersion, FailuresAreReportedAndCloseTheDialog) {
  StartWindow();
  TVersionServer server;
  server.Answer("404 Not Found", "no such file");
  PointAt(server.Url());
  const auto failing = [&](TfmCheckVersion& d) {
    ui.ExpectMessage(msgtext::kVersionServerError, mtError);
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.Finished(); }, 20000));
    return d.result();
  };
  Run(failing);
  // No server at all: a port nobody listens on.
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const quint16 port = closed.serverPort();
  closed.close();
  PointAt("http://127.0.0.1:" + std::to_string(port));
  Run(failing);
  EXPECT_TRUE(opened.empty());
}

TEST_F(CheckVersion, SlowServerLeavesTheDialogUsableAndLongAnswersAreCut) {
  StartWindow();
  TVersionServer silent;
  PointAt(silent.Url());
  Run([&](TfmCheckVersion& d) {
    // The request is under way while the dialog goes on repainting.
    EXPECT_TRUE(QTest::qWaitFor([&] { return silent.Request.contains("\r\n\r\n"); }, 20000));
    QTest::qWait(200);
    EXPECT_FALSE(d.Finished());
    EXPECT_EQ(d.edLatest->text().toStdString(), msgtext::kPleaseWait);
    d.buClose->click();
    return d.result();
  });
  // Nothing is reported after the dialog closed.
  QTest::qWait(100);

  TVersionServer big;
  big.Answer("200 OK", "9.99\n" + QByteArray(1 << 20, 'x'));
  PointAt(big.Url());
  Run([&](TfmCheckVersion& d) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.Finished(); }, 20000));
    EXPECT_EQ(d.edLatest->text(), QStringLiteral("9.99"));
    EXPECT_EQ(d.NewLines().size(), 1u);
    EXPECT_EQ(d.NewLines()[0].size(), static_cast<std::size_t>(kMaxVersionText - 5));
    d.buClose->click();
    return d.result();
  });
}

}  // namespace
}  // namespace brevane::testing
