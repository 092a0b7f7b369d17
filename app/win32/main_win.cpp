// Vellum for Windows: plain Win32 and the WebBrowser control.
#include <ole2.h>
#include <windows.h>

#include <exception>
#include <string>

#include "app/win32/viewer_window_win.h"
#include "host/protocol.h"

namespace {

void Fail(const char* what) {
  MessageBoxA(nullptr, what, std::string(vellum::host::kViewerTitle).c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // OLE comes first and goes last: the browser control lives in between.
  if (FAILED(OleInitialize(nullptr))) {
    Fail("OLE cannot be initialised.");
    return 1;
  }
  int code = 1;
  try {
    vellum::win32::ViewerWindowWin window(instance);
    code = window.Run();
  } catch (const std::exception& error) {
    Fail(error.what());
  } catch (...) {
    Fail("Unexpected failure.");
  }
  OleUninitialize();
  return code;
}
