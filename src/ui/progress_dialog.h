// The basic-interface run: the work of the chain on a worker thread while the
// progress dialog shows it.
#pragma once
#include <cstdint>

#include "ui/progress_state.h"

class PrereqChainer;

// How the dialog ended.
enum ProgressDialogEnd : int32_t {
  kDialogDone = 1,             // the work is done and the mandatory check passed
  kDialogCancelled = 2,        // cancelled, or a restart is required
  kDialogMandatoryFailed = 7,  // the mandatory check failed
};

// Downloads, sites and installation of the chainer, then the end code.
ProgressDialogEnd RunProgressDialog(PrereqChainer& chainer, ProgressState& progress);
