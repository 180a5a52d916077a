#include "client/gui/end_step.h"

#include "client/gui/error_box.h"

namespace qvr::client_gui {

void SaveSettingsAtEnd(TSettingsStore& store) {
  if (auto error = store.Save()) ShowErrorText(*error);
}

}  // namespace qvr::client_gui
