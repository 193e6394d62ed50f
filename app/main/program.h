#pragma once
// The program's entry: the application object, the forms that live for the
// whole run, the choice between the window and a command-line run, and the
// message loop.

#include <string>
#include <vector>

namespace brevane {

class TfmProgress;
class TfmViewOutput;

// The progress and output windows, created at start for the whole run.
extern TfmProgress* fmProgress;
extern TfmViewOutput* fmViewOutput;

// The command-line parameters without the program's name; ParamStr is 1-based.
void SetParams(std::vector<std::string> Params);
int ParamCount();
std::string ParamStr(int Index);

// Whether this is the uninstaller's clean-up: "-SYS" as the first
// parameter, with whatever follows it or alone.
bool CleanUpRun();
// Whether the main window is to be shown: fewer than two parameters and no
// clean-up.
bool ShowMainForm();

// Everything before the message loop, with an application object already
// made: titles, date settings, the library's hooks, the forms in their
// order, the main window shown or the command line run (a single parameter
// that names nothing is reported instead of opening the window). True when
// the message loop is to run (the main window is still open).
bool StartProgram(const std::vector<std::string>& Params);
// Frees the forms, last created first.
void EndProgram();

// What main() runs; its result is the process's exit status.
int RunProgram(int argc, char** argv);

}  // namespace brevane
