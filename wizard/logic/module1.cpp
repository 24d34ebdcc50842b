#include "module1.h"

namespace termgate {

std::int32_t SetTopmost(Host& host, std::int32_t hWnd, VbBool topmost) {
  if (topmost == kTrue) {
    return host.SetWindowPos(hWnd, kHwndTopmost, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize);
  }
  host.SetWindowPos(hWnd, kHwndNoTopmost, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize);
  return 0;
}

}  // namespace termgate
