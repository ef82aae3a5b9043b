#include "ui/ui_state.h"

bool InteractiveUi = true;
