#include "runtime_error.h"

namespace termgate {

Text DefaultErrorReport(const RuntimeError& error) {
  const std::string number = std::to_string(error.number);
  Text report = u"Run-time error '";
  report.append(number.begin(), number.end());
  report += u"':\r\n\r\n";
  report += error.description;
  return report;
}

}  // namespace termgate
