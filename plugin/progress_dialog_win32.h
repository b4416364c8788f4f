// The modal progress dialog (resource 102) under which a batch runs: a worker
// thread adds or removes the paths while the dialog shows each item and offers
// Cancel.
#pragma once

#include <windows.h>

#include "library/connection.h"
#include "maintenance/batch_path_list.h"
#include "maintenance/batch_worker.h"
#include "probe/probe_context.h"

namespace vellum {

// Runs `paths` in `mode` on `connection`, probing with `probe`, under the
// dialog, owned by `owner`. Returns when the dialog has closed and its worker
// thread has ended; the list is not changed.
void RunProgressDialog(HWND owner, BatchMode mode, const BatchPathList& paths, LibraryConnection& connection,
                       const ProbeContext& probe);

// The dialog procedure; its WM_INITDIALOG parameter is the batch's session.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace vellum
