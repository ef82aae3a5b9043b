// Process-wide user-interface switches.
#pragma once

// False in silent runs: no dialog, window or message box may appear.
extern bool InteractiveUi;
