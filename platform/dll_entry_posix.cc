// Load-time entry of the shared library: drives the application object as a
// Windows DLL entry would at process attach and detach.
#include "platform/app_framework.h"

namespace {

bool g_exit_done = false;

__attribute__((constructor)) void AttachToProcess() {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return;
  // A shared object cannot refuse its load from here; the object still gets
  // its ExitInstance, as after a refused attach.
  if (!app->InitInstance()) {
    app->ExitInstance();
    g_exit_done = true;
  }
}

__attribute__((destructor)) void DetachFromProcess() {
  CWinApp* app = AfxGetApp();
  // At process exit the object may already be destroyed; nothing is lost,
  // since detaching writes nothing.
  if (app != nullptr && !g_exit_done) app->ExitInstance();
}

}  // namespace
