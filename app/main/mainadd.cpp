#include "app/main/mainform.h"

namespace brevane {

void TfmMain::ConnectWriterHandlers(vsk::TCompBase&) {}

void TfmMain::ConnectAddCommands() {}

}  // namespace brevane
