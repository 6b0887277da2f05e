// A small Windows program for the fault tests, run under Wine beside the host:
//   fault_helper hold PATH     writes "waiting", waits (up to 60 s) until PATH
//                              exists, opens it for reading with FILE_SHARE_READ
//                              only, as an antivirus scanner or an editor may, writes
//                              "held" and keeps the handle until its input ends
//   fault_helper handles PID   writes the handle count of process PID as two
//                              sources give it: "GetProcessHandleCount N|failed E"
//                              and "SystemProcessInformation N|absent"
// Paths and ids are taken as they are given; output is one line per answer.

#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/windows/unique.h"
#include "platform/windows/windows.h"
// After <windows.h>, which it needs.
#include <winternl.h>

namespace {

using tessiva::platform::UniqueFileHandle;
using tessiva::platform::UniqueHandle;

int hold(const wchar_t* path) {
  std::printf("waiting\n");
  std::fflush(stdout);
  UniqueFileHandle file;
  for (int waited = 0; waited < 60000; ++waited) {
    file.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) break;
    const DWORD error = GetLastError();
    // Not there yet, or open in the host for a moment (it claims a name by creating the
    // file without sharing): try again.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_SHARING_VIOLATION) {
      std::printf("failed %lu\n", error);
      return 1;
    }
    Sleep(1);
  }
  if (!file) {
    std::printf("failed timeout\n");
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  char buffer[256];
  DWORD read = 0;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
  }
  return 0;
}

/// The handle count the system's process list gives for `pid`, or -1.
long listed_handle_count(DWORD pid) {
  using Query = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
  const auto query =
      reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<unsigned char> buffer(1 << 20);
  ULONG needed = 0;
  while (query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) ==
         static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
    buffer.resize(buffer.size() * 2);
  }
  for (std::size_t offset = 0;;) {
    const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
    if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == pid) return static_cast<long>(entry->HandleCount);
    if (entry->NextEntryOffset == 0) return -1;
    offset += entry->NextEntryOffset;
  }
}

int handles(DWORD pid) {
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  DWORD count = 0;
  if (process && GetProcessHandleCount(process.get(), &count))
    std::printf("GetProcessHandleCount %lu\n", count);
  else
    std::printf("GetProcessHandleCount failed %lu\n", GetLastError());
  const long listed = listed_handle_count(pid);
  if (listed >= 0)
    std::printf("SystemProcessInformation %ld\n", listed);
  else
    std::printf("SystemProcessInformation absent\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"hold") == 0) return hold(argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"handles") == 0) return handles(std::wcstoul(argv[2], nullptr, 10));
  std::fprintf(stderr, "usage: fault_helper hold PATH | handles PID\n");
  return 2;
}
