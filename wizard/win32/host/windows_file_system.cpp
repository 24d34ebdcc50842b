#include "windows_file_system.h"

#include <windows.h>

#include <algorithm>
#include <limits>

#include "ansi_line_reader.h"
#include "runtime_error.h"
#include "windows_owners.h"
#include "wide_text.h"

namespace termgate::win32 {

namespace {

class FileBytes final : public ByteSource {
 public:
  explicit FileBytes(unique_hfile file) : file_(std::move(file)) {}

  std::size_t Read(std::span<char> buffer) override {
    DWORD read = 0;
    const DWORD wanted =
        static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
    if (!ReadFile(file_.get(), buffer.data(), wanted, &read, nullptr)) {
      throw runtime_errors::DeviceIoError();
    }
    return read;
  }

  void Close() { file_.reset(); }

 private:
  unique_hfile file_;
};

Text DecodeAnsi(std::string_view bytes) {
  if (bytes.empty()) {
    return {};
  }
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) {
    throw runtime_errors::OutOfMemory();
  }
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), length);
  return FromWide(text);
}

class WindowsTextStream final : public TextStream {
 public:
  explicit WindowsTextStream(unique_hfile file)
      : bytes_(std::move(file)), lines_(bytes_, DecodeAnsi) {}

  Text ReadLine() override { return lines_.ReadLine(); }
  VbBool AtEndOfStream() override { return lines_.AtEnd() ? kTrue : kFalse; }
  void Close() override { bytes_.Close(); }

 private:
  FileBytes bytes_;
  AnsiLineReader lines_;
};

class WindowsFileSystem final : public FileSystemObject {
 public:
  VbBool FileExists(TextView path) override {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    const bool isFile =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return isFile ? kTrue : kFalse;
  }

  std::unique_ptr<TextStream> OpenTextFile(TextView path, std::int16_t ioMode) override {
    constexpr std::int16_t kForReading = 1;
    if (ioMode != kForReading) {
      throw runtime_errors::InvalidProcedureCall();
    }
    // Others may go on reading and writing it; only an exclusive holder keeps us out.
    unique_hfile file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        throw runtime_errors::FileNotFound();
      }
      throw runtime_errors::PermissionDenied();
    }
    // A name that leads to a pipe or a device is no text file; reading it could block forever.
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
      throw runtime_errors::PermissionDenied();
    }
    return std::make_unique<WindowsTextStream>(std::move(file));
  }
};

}  // namespace

std::unique_ptr<FileSystemObject> CreateWindowsFileSystem() {
  return std::make_unique<WindowsFileSystem>();
}

}  // namespace termgate::win32
