// A program planted where a careless launcher would find it (beside Termgate.exe, or in its
// current directory) under the name of a system tool. If it ever runs, it leaves a mark.
#include <windows.h>

#include <string>

int wmain() {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  const std::wstring mark = L"C:\\planted-ran\\" + self.substr(self.find_last_of(L'\\') + 1);
  CreateDirectoryW(L"C:\\planted-ran", nullptr);
  const HANDLE file = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, self.data(), static_cast<DWORD>(self.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
  }
  return 0;
}
