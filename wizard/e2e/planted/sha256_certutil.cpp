// Stands in for Windows' certutil.exe, whose -hashfile Wine does not implement: hashes a file with
// Windows' own CNG (bcrypt, which Wine implements) and prints what Windows 10's certutil prints:
//
//   SHA256 hash of FILE:
//   64 lowercase hex digits
//   CertUtil: -hashfile command completed successfully.
//
// Anything else it is asked, or a file it cannot read, fails as certutil does: a message and a
// status other than 0.
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

bool Sha256OfFile(const wchar_t* path, std::vector<unsigned char>& digest) {
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
            BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
  std::vector<unsigned char> buffer(1 << 16);
  DWORD read = 0;
  while (ok && ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
         read > 0) {
    ok = BCryptHashData(hash, buffer.data(), read, 0) >= 0;
  }
  digest.assign(32, 0);
  ok = ok && BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
  if (hash != nullptr) {
    BCryptDestroyHash(hash);
  }
  if (algorithm != nullptr) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  CloseHandle(file);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 || _wcsicmp(argv[1], L"-hashfile") != 0 || _wcsicmp(argv[3], L"SHA256") != 0) {
    std::fwprintf(stdout, L"CertUtil: Unknown arguments.\n");
    return 87;  // ERROR_INVALID_PARAMETER
  }
  std::vector<unsigned char> digest;
  if (!Sha256OfFile(argv[2], digest)) {
    std::fwprintf(stdout, L"CertUtil: -hashfile command FAILED: 0x80070002 (WIN32: 2)\n");
    return 2;
  }
  std::fwprintf(stdout, L"SHA256 hash of %ls:\n", argv[2]);
  for (const unsigned char octet : digest) {
    std::fwprintf(stdout, L"%02x", octet);
  }
  std::fwprintf(stdout, L"\nCertUtil: -hashfile command completed successfully.\n");
  return 0;
}
