// Starts a scheduled task's action as Task Scheduler does, for the deployer's kit's tests, since
// Wine's schtasks runs no task: the Exec action's Command and Arguments as one command line, their
// environment variables expanded, in the environment of the Windows it runs on, and waits for it
// to end.
//
//   task_action.exe FILE [VARIABLE]
//
// FILE holds the command line (UTF-8). VARIABLE, when given, is taken out of the environment
// first: ProgramFiles(x86) makes a 64-bit Windows look like a 32-bit one. Exits with the
// command's exit status, or 1 when it cannot be started.
#include <windows.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3) {
    return 1;
  }
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return 1;
  }
  std::vector<char> bytes(GetFileSize(file, nullptr));
  DWORD read = 0;
  const bool ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  if (!ok) {
    return 1;
  }
  std::wstring line(static_cast<std::size_t>(read), L'\0');
  line.resize(static_cast<std::size_t>(MultiByteToWideChar(
      CP_UTF8, 0, bytes.data(), static_cast<int>(read), line.data(), static_cast<int>(read))));
  if (argc == 3) {
    SetEnvironmentVariableW(argv[2], nullptr);
  }
  // Task Scheduler expands the environment variables of an action's Command and Arguments; one
  // that is not set stays as it is.
  std::wstring expanded(ExpandEnvironmentStringsW(line.c_str(), nullptr, 0), L'\0');
  expanded.resize(ExpandEnvironmentStringsW(line.c_str(), expanded.data(),
                                            static_cast<DWORD>(expanded.size())) -
                  1);
  line = expanded;
  // The command's output goes where this program's goes.
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return 1;
  }
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(started.hProcess, &status);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return static_cast<int>(status);
}
