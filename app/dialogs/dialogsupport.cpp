#include "app/dialogs/dialogsupport.h"

#include "app/dialogs/dialogtexts.h"
#include "app/main/settings.h"
#include "app/main/userinterface.h"

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
  // A choice never made reads as unmasked; a value of the wrong type is an
  // error the user is told of.
  bool mask = false;
  ShowExceptions([&] {
    if (SettingExists(dlgtext::kOthersSection, dlgtext::kMaskPasswordValue))
      mask = ReadSettingBool(dlgtext::kOthersSection, dlgtext::kMaskPasswordValue);
  });
  return mask;
}

void WriteMaskPassword(bool Value) {
  ShowExceptions([&] { WriteSettingBool(dlgtext::kOthersSection, dlgtext::kMaskPasswordValue, Value); });
}

}  // namespace brevane
