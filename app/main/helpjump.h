#pragma once
// The jump into the program's help: a dialog's Help button names its topic
// by keyword ("Hlp_Check_Out") or, where only a help context number is
// known, by that number. The program installs the handler that shows the
// topic; without one nothing is shown.

#include <functional>
#include <string>

namespace brevane {

using THelpHandler = std::function<void(const std::string& Keyword)>;
void SetHelpHandler(THelpHandler Handler);
void ShowHelpKeyword(const std::string& Keyword);

// The topic keyword of a help context given only as a number; "" for a
// number that has none, which then opens the contents.
std::string HelpKeywordOfContext(int Context);
void ShowHelpContext(int Context);

}  // namespace brevane
