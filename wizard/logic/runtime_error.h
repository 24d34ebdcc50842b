// Run-time errors of the form run time, and the report its default error handling shows.
#pragma once

#include <cstdint>
#include <string>

#include "host.h"

namespace termgate {

// Thrown by a failing host operation. The logic never catches it: it leaves the handler and
// the host's top-level event dispatch hands it to the default error handling.
struct RuntimeError {
  std::int32_t number;
  Text description;
};

namespace runtime_errors {
inline RuntimeError InvalidProcedureCall() {
  return {5, u"Invalid procedure call or argument"};
}
inline RuntimeError OutOfMemory() {
  return {7, u"Out of memory"};
}
inline RuntimeError FileNotFound() {
  return {53, u"File not found"};
}
inline RuntimeError DeviceIoError() {
  return {57, u"Device I/O error"};
}
inline RuntimeError InputPastEndOfFile() {
  return {62, u"Input past end of file"};
}
inline RuntimeError PermissionDenied() {
  return {70, u"Permission denied"};
}
inline RuntimeError CannotCreateObject() {
  return {429, u"ActiveX component can't create object"};
}
}  // namespace runtime_errors

// The prompt of the default error handling's box, titled with the program's name:
// "Run-time error '62':", a blank line, then the error's description.
Text DefaultErrorReport(const RuntimeError& error);

inline constexpr TextView kProgramTitle = u"Termgate";

}  // namespace termgate
