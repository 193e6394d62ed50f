#include "app/main/helpjump.h"

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

std::string HelpKeywordOfContext(int Context) {
  switch (Context) {
    case 740:  // the question whether a file in the archive is replaced
      return "Hlp_Add_Dialog";
    case 750:  // the add-options dialog
      return "Hlp_Add_Options";
    case 760:  // the new-archive dialog
      return "Hlp_New_Archive";
    default:
      return {};
  }
}

void ShowHelpContext(int Context) { ShowHelpKeyword(HelpKeywordOfContext(Context)); }

}  // namespace brevane
