// Preloaded by one test case. signal() is the last call mouseprobe makes before it asks libgpm for
// the server's version; this one leaves the stack below its caller covered with "7.7.7 " over and
// over. When the server prints nothing, libgpm parses whatever its line buffer held, so on such a
// stack it answers the text "7.7." and the number 70700 unless mouseprobe zeroes the stack first.
// Every program that the case starts loads it (unshare, the shell, valgrind), to no harm. Under
// the address sanitizer mouseprobe calls the sanitizer's own signal() and never this one.

#include <dlfcn.h>

#include <csignal>
#include <cstddef>

using SignalFunction = sighandler_t (*)(int, sighandler_t);

extern "C" sighandler_t signal(int number, sighandler_t handler) noexcept {
  const auto realSignal = reinterpret_cast<SignalFunction>(dlsym(RTLD_NEXT, "signal"));
  const sighandler_t previous = realSignal(number, handler);
  // In this frame, which the caller's next callee reuses: libgpm's line buffer lies 64 to 192
  // bytes below the caller's stack pointer.
  constexpr char kVersionWord[] = "7.7.7 ";
  volatile char dirt[2048];
  for (std::size_t index = 0; index < sizeof dirt; ++index) {
    dirt[index] = kVersionWord[index % (sizeof kVersionWord - 1)];
  }
  return previous;
}
