// Test helper: waits for a top-level window with the given title and prints
// the full path of the program that owns it, so the installer test can tell
// that the installed copy started and got as far as its main window.
//
//   wait_window.exe "<title>" <timeout in ms>
// Exit code 0 when the window appeared, 1 when it did not, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wait_window <title> <timeout ms>\n");
    return 2;
  }
  const DWORD timeout = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
  const DWORD start = GetTickCount();
  HWND window = nullptr;
  while ((window = FindWindowA(nullptr, argv[1])) == nullptr) {
    if (GetTickCount() - start >= timeout) {
      std::printf("no window titled \"%s\" after %lu ms\n", argv[1], static_cast<unsigned long>(timeout));
      return 1;
    }
    Sleep(100);
  }

  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char path[MAX_PATH] = "?";
  if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    DWORD size = sizeof path;
    if (!QueryFullProcessImageNameA(process, 0, path, &size)) path[0] = '?', path[1] = '\0';
    CloseHandle(process);
  }
  std::printf("%s\n", path);
  return 0;
}
