// Stands in for one of the toolbar's two libraries: registering and unregistering only leave a
// mark beside the library, naming the program that loaded it, so a test can prove who
// unregistered which library.
#include <windows.h>

#include <string>

namespace {

HMODULE self = nullptr;

std::wstring ModulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HRESULT LeaveMark(const wchar_t* suffix) {
  const std::wstring mark = ModulePath(self) + suffix;
  const HANDLE file = CreateFileW(mark.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  // One UTF-16 line per call: the loading program's path.
  const std::wstring line = ModulePath(nullptr) + L"\r\n";
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)),
                            &written, nullptr);
  CloseHandle(file);
  return ok ? S_OK : E_FAIL;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
  }
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  return LeaveMark(L".registered");
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  return LeaveMark(L".unregistered");
}
