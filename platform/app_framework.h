// A minimal application-object framework: one object per module whose
// InitInstance runs when the module is attached to a process and whose
// ExitInstance runs when it is detached. The system-specific module entry
// (dll_entry_*.cc) drives it.
#ifndef BRELLOX_PLATFORM_APP_FRAMEWORK_H_
#define BRELLOX_PLATFORM_APP_FRAMEWORK_H_

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Placed on the definition of the module's application object so that it is
// constructed before the module entry runs. Windows constructs every global
// before DllMain; elsewhere load-time constructors share one ordering.
#if defined(_WIN32)
#define BRELLOX_APP_OBJECT
#else
#define BRELLOX_APP_OBJECT __attribute__((init_priority(101)))
#endif

class CWinApp {
 public:
  // Registers this object as the module's application object.
  CWinApp();
  virtual ~CWinApp();

  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Called once at attach. FALSE makes the attach fail.
  virtual BOOL InitInstance();
  // Called at detach, or after an InitInstance that returned FALSE.
  virtual int ExitInstance();
};

// The module's application object, or nullptr outside its lifetime.
CWinApp* AfxGetApp();

#endif  // BRELLOX_PLATFORM_APP_FRAMEWORK_H_
