// Stands in for Windows' schtasks.exe, whose /create /xml Wine takes without storing the task's
// trigger, principal or action: keeps what the deployer's kit asks of it, so that the tests can
// read it. Every call's command line is added to C:\schtasks\calls.txt (UTF-16, a line each);
// /create /tn NAME /xml FILE keeps a copy of FILE as C:\schtasks\NAME.xml, the task; /query /tn
// NAME and /delete /tn NAME ... answer as Windows' does, 0 when the task is there and 1 when not.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

const wchar_t kFolder[] = L"C:\\schtasks";

std::wstring TaskFile(const wchar_t* name) {
  return std::wstring(kFolder) + L"\\" + name + L".xml";
}

void Record(const wchar_t* commandLine) {
  CreateDirectoryW(kFolder, nullptr);
  const HANDLE calls =
      CreateFileW((std::wstring(kFolder) + L"\\calls.txt").c_str(), FILE_APPEND_DATA,
                  FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (calls != INVALID_HANDLE_VALUE) {
    const std::wstring line = std::wstring(commandLine) + L"\r\n";
    DWORD written = 0;
    WriteFile(calls, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(calls);
  }
}

const wchar_t* Option(int argc, wchar_t** argv, const wchar_t* name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (_wcsicmp(argv[i], name) == 0) {
      return argv[i + 1];
    }
  }
  return nullptr;
}

bool Has(int argc, wchar_t** argv, const wchar_t* name) {
  for (int i = 1; i < argc; ++i) {
    if (_wcsicmp(argv[i], name) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Record(GetCommandLineW());
  const wchar_t* name = Option(argc, argv, L"/tn");
  if (name == nullptr) {
    return 1;
  }
  const std::wstring task = TaskFile(name);
  if (Has(argc, argv, L"/create")) {
    const wchar_t* xml = Option(argc, argv, L"/xml");
    return xml != nullptr && CopyFileW(xml, task.c_str(), FALSE) ? 0 : 1;
  }
  if (Has(argc, argv, L"/delete")) {
    return DeleteFileW(task.c_str()) ? 0 : 1;
  }
  if (Has(argc, argv, L"/query")) {
    return GetFileAttributesW(task.c_str()) != INVALID_FILE_ATTRIBUTES ? 0 : 1;
  }
  return 1;
}
