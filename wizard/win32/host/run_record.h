// The one entry that a run of Termgate writes to the Windows Application event log, under the
// source "Termgate", so that an administrator (Event Viewer, Windows Event Forwarding, a fleet's
// log collection) can see afterwards what was decided on a PC: the exit status of a start at logon
// reaches nobody, and regsvr32 /s reports nothing.
//
// The host knows the outcome from what the program asks of it: commands started mean the decline
// was confirmed, the program's own End without them means accept. Writing never blocks the wizard
// for long and never changes it: a failure to write is ignored.
#pragma once

#include <string>
#include <vector>

#include "host.h"
#include "language_setting.h"
#include "runtime_error.h"

namespace termgate::win32 {

inline constexpr wchar_t kEventSource[] = L"Termgate";

class RunRecord {
 public:
  // `language` is the wizard's, read as the run goes on; nullptr before there is a wizard.
  explicit RunRecord(const LanguageSetting* language) : language_(language) {}
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  void CommandStarted(TextView commandLine);
  bool CommandsStarted() const { return !commands_.empty(); }

  // Each writes the run's entry, unless one was written already. Once commands have started, the
  // entry is the confirmed decline however the run ends, but for a run-time error.
  void DeclineConfirmed();
  // The program's own End: after accept, or after the commands of a confirmed decline.
  void Ended();
  enum class Outside { SessionEnded, QuitMessage };
  void EndedFromOutside(Outside how);
  void Failed(const RuntimeError& error);

  // For a start that found another Termgate running; no wizard, no language.
  static void AlreadyRunning();

 private:
  void Write(unsigned long eventId, std::vector<std::wstring> strings);

  std::wstring LangCode() const;

  const LanguageSetting* language_;
  std::vector<std::wstring> commands_;
  bool written_ = false;
};

}  // namespace termgate::win32
