#include "app/dialogs/dialogsupport.h"

#include <exception>

#include "app/dialogs/dialogtexts.h"
#include "app/main/settings.h"

namespace brevane {

namespace {
THelpHandler& HelpHandler() {
  static THelpHandler handler;
  return handler;
}
}  // namespace

void SetHelpHandler(THelpHandler Handler) { HelpHandler() = std::move(Handler); }

void ShowHelpKeyword(const std::string& Keyword) {
  if (HelpHandler()) HelpHandler()(Keyword);
}

bool ReadMaskPassword() {
  try {
    return ReadSettingBool(dlgtext::kOthersSection, dlgtext::kMaskPasswordValue);
  } catch (const std::exception&) {
    return false;
  }
}

void WriteMaskPassword(bool Value) {
  try {
    WriteSettingBool(dlgtext::kOthersSection, dlgtext::kMaskPasswordValue, Value);
  } catch (const std::exception&) {
    // A registry that cannot be written only loses the choice.
  }
}

}  // namespace brevane
