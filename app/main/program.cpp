#include "app/main/program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QLocale>
#include <filesystem>

#include "app/dialogs/addpanels.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/viewoutput.h"
#include "app/main/application.h"
#include "app/main/filetypes.h"
#include "app/main/formatsettings.h"
#include "app/main/mainform.h"
#include "app/main/userinterface.h"
#include "base/pump.h"
#include "archive/core/zipcommon.h"

namespace brevane {

TfmProgress* fmProgress = nullptr;
TfmViewOutput* fmViewOutput = nullptr;

namespace {

std::vector<std::string> g_params;

// The locale's short date and time patterns in the program's notation. The
// year is always written with four digits so that dates read back.
void TakeLocaleFormats() {
  const QLocale locale;
  if (locale.language() == QLocale::C) {
    FormatSettings = TFormatSettings{};
    return;
  }
  TFormatSettings s;
  const QString date = locale.dateFormat(QLocale::ShortFormat);
  struct TPart {
    qsizetype Pos;
    char Letter;
  };
  std::vector<TPart> parts;
  for (char letter : {'d', 'M', 'y'}) {
    const qsizetype pos = date.indexOf(QLatin1Char(letter));
    if (pos >= 0) parts.push_back({pos, letter});
  }
  if (parts.size() == 3) {
    std::sort(parts.begin(), parts.end(), [](const TPart& a, const TPart& b) { return a.Pos < b.Pos; });
    std::string pattern;
    for (const TPart& p : parts) {
      if (!pattern.empty()) pattern += '/';
      const bool padded = date.mid(p.Pos, 2) == QString(2, QLatin1Char(p.Letter));
      if (p.Letter == 'd') pattern += padded ? "dd" : "d";
      if (p.Letter == 'M') pattern += padded ? "mm" : "m";
      if (p.Letter == 'y') pattern += "yyyy";
    }
    s.ShortDateFormat = pattern;
    for (const QChar c : date)
      if (!c.isLetter() && !c.isSpace() && c.unicode() < 128) {
        s.DateSeparator = static_cast<char>(c.unicode());
        break;
      }
  }
  const QString time = locale.timeFormat(QLocale::ShortFormat);
  const bool twelve = time.contains(QLatin1Char('a'), Qt::CaseInsensitive);
  const bool padded = time.contains(QLatin1String("hh"), Qt::CaseInsensitive);
  s.ShortTimeFormat = std::string(padded ? "hh" : "h") + ":nn" + (twelve ? " AMPM" : "");
  if (twelve) {
    s.TimeAMString = locale.amText().toStdString();
    s.TimePMString = locale.pmText().toStdString();
  }
  FormatSettings = s;
}

void InstallLibraryHooks() {
  vsk::SetMessagePump([] {
    static QElapsedTimer since;
    if (since.isValid() && since.elapsed() < 25) return;
    since.start();
    // While an operation runs the main window is disabled and only the
    // progress window takes input; otherwise input waits for the run's end,
    // so no command starts inside another.
    const bool operation = fmMain && !fmMain->isEnabled();
    QCoreApplication::processEvents(operation ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
  });
  vsk::SetQuestionHook([](const std::string& Text) { return UI().MessageDlg(Text, mtConfirmation, mbYesNo) == mrYes; });
}

}  // namespace

void SetParams(std::vector<std::string> Params) { g_params = std::move(Params); }

int ParamCount() { return static_cast<int>(g_params.size()); }

std::string ParamStr(int Index) {
  return Index >= 1 && Index <= ParamCount() ? g_params[static_cast<std::size_t>(Index - 1)] : std::string();
}

bool CleanUpRun() { return ParamCount() >= 1 && ParamStr(1) == "-SYS"; }

bool ShowMainForm() { return ParamCount() < 2 && !CleanUpRun(); }

bool StartProgram(const std::vector<std::string>& Params) {
  SetParams(Params);
  QCoreApplication::setApplicationName(QStringLiteral("Brevane"));
  if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
  QApplication::setWindowIcon(ThemeIcon("package-x-generic"));
  TakeLocaleFormats();
  InstallLibraryHooks();

  fmMain = new TfmMain();
  fmProgress = new TfmProgress(fmMain);
  fmAddBottom = new TfmAddBottom();
  fmAddOptionsBottom = new TfmAddOptionsBottom();
  fmAddBottom->FPassword = &fmMain->FPassword;
  fmAddOptionsBottom->FPassword = &fmMain->FPassword;
  fmViewOutput = new TfmViewOutput(fmMain);

  std::error_code ec;
  if (!ShowMainForm())
    fmMain->ProcContextMenu();
  else if (ParamCount() == 1 && !std::filesystem::exists(ParamStr(1), ec))
    fmMain->ReportMissingParameter(ParamStr(1));
  else
    fmMain->show();
  return !fmMain->Closed();
}

void EndProgram() {
  delete fmViewOutput;
  fmViewOutput = nullptr;
  delete fmAddOptionsBottom;
  fmAddOptionsBottom = nullptr;
  delete fmAddBottom;
  fmAddBottom = nullptr;
  delete fmProgress;
  fmProgress = nullptr;
  delete fmMain;
  fmMain = nullptr;
  vsk::SetMessagePump(nullptr);
  vsk::SetQuestionHook(nullptr);
}

int RunProgram(int argc, char** argv) {
  TApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  // QApplication has taken out the options that are its own.
  std::vector<std::string> params;
  for (int i = 1; i < argc; ++i) params.emplace_back(argv[i]);
  int result = 0;
  if (StartProgram(params))
    result = QApplication::exec();
  else if (fmMain)
    result = fmMain->ExitCode();
  EndProgram();
  return result;
}

}  // namespace brevane
