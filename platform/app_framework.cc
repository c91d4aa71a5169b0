#include "platform/app_framework.h"

namespace {
CWinApp* g_module_app = nullptr;
}  // namespace

CWinApp::CWinApp() { g_module_app = this; }

CWinApp::~CWinApp() {
  if (g_module_app == this) g_module_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

CWinApp* AfxGetApp() { return g_module_app; }
