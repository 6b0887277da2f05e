/* A library planted beside the program under a system library's name, as an attacker
   would leave one in a Downloads folder. Loaded, it leaves a file at the path that
   TESSIVA_PLANTED_MARK names and refuses to load, so the process goes on with the
   system's copy or without one. */

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[1024];
  const DWORD length = GetEnvironmentVariableW(L"TESSIVA_PLANTED_MARK", path, 1024);
  if (length > 0 && length < 1024) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return FALSE;
}
