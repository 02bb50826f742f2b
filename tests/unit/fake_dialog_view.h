#pragma once
// The dialog models' tests play the user on a view over maps.
#include "ui/dialog_view.h"

namespace tarvik::testing {

using FakeDialogView = MapDialogView;

}  // namespace tarvik::testing
