#include "app/dialogs/dialogsupport.h"

#include "app/dialogs/dialogtexts.h"
#include "app/main/settings.h"
#include "app/main/userinterface.h"

namespace brevane {

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
