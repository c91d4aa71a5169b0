// The DLL's entry point: drives the application object at process attach and
// detach, as the application framework's own DLL entry does.
#include <windows.h>

#include "platform/app_framework.h"

namespace {

// Set once ExitInstance has run, so that the detach which follows a refused
// attach does not run it a second time.
bool g_exit_done = false;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return TRUE;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      if (!app->InitInstance()) {
        app->ExitInstance();
        g_exit_done = true;
        return FALSE;  // the load fails
      }
      break;
    case DLL_PROCESS_DETACH:
      if (!g_exit_done) {
        app->ExitInstance();
        g_exit_done = true;
      }
      break;
    default:
      break;
  }
  return TRUE;
}
