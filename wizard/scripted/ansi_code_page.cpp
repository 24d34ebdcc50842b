#include "ansi_code_page.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <string>

namespace termgate::scripted {

namespace {

std::string IconvName(unsigned codePage) {
  return codePage == 65001 ? std::string("UTF-8") : "CP" + std::to_string(codePage);
}

class Converter {
 public:
  explicit Converter(unsigned codePage)
      : handle_(iconv_open("UTF-16LE", IconvName(codePage).c_str())) {}
  ~Converter() {
    if (valid()) {
      iconv_close(handle_);
    }
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

}  // namespace

bool IsSupportedCodePage(unsigned codePage) {
  return Converter(codePage).valid();
}

Text DecodeAnsi(unsigned codePage, std::string_view bytes) {
  Converter converter(codePage);
  Text text;
  if (!converter.valid()) {
    return text;
  }
  std::string input(bytes);
  char* in = input.data();
  std::size_t inLeft = input.size();
  std::array<char, 4096> out;
  while (inLeft > 0) {
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    for (const char* p = out.data(); p + 1 < outPtr; p += 2) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                           static_cast<unsigned char>(p[1]) << 8));
    }
    if (result != static_cast<std::size_t>(-1) || error == E2BIG) {
      continue;
    }
    // An invalid or truncated sequence: replace its first byte and carry on after it.
    const auto byte = static_cast<unsigned char>(*in);
    const bool undefinedIn1252 =
        byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
    text.push_back(codePage == 1252 && undefinedIn1252 ? char16_t{byte} : u'\uFFFD');
    ++in;
    --inLeft;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return text;
}

}  // namespace termgate::scripted
