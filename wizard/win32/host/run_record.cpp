#include "run_record.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "events.h"
#include "wide_text.h"
#include "windows_owners.h"

namespace termgate::win32 {

namespace {

// How long a run waits at most for its entry to be written. The event log service answers at
// once when it runs; a wizard that ends must still not hang on one that does not.
constexpr DWORD kWriteTimeoutMs = 2000;

struct Entry {
  DWORD eventId;
  std::vector<std::wstring> strings;
};

WORD TypeOf(DWORD eventId) {
  // windmc puts each message's severity in the top two bits of its id.
  switch (eventId >> 30) {
    case TERMGATE_SEVERITY_ERROR:
      return EVENTLOG_ERROR_TYPE;
    case TERMGATE_SEVERITY_WARNING:
      return EVENTLOG_WARNING_TYPE;
    default:
      return EVENTLOG_INFORMATION_TYPE;
  }
}

DWORD WINAPI WriteEntry(void* parameter) {
  const std::unique_ptr<Entry> entry(static_cast<Entry*>(parameter));
  const unique_event_source source(RegisterEventSourceW(nullptr, kEventSource));
  if (!source) {
    return 0;
  }
  std::vector<LPCWSTR> strings;
  for (const std::wstring& text : entry->strings) {
    strings.push_back(text.c_str());
  }
  ReportEventW(source.get(), TypeOf(entry->eventId), 0, entry->eventId, nullptr,
               static_cast<WORD>(strings.size()), 0, strings.data(), nullptr);
  return 0;
}

std::wstring Joined(const std::vector<std::wstring>& lines) {
  std::wstring joined;
  for (const std::wstring& line : lines) {
    joined += joined.empty() ? L"" : L"\r\n";
    joined += line;
  }
  return joined;
}

// Written on a thread of its own, which the wizard waits for only so long: the entry must not hold
// up the wizard, nor be lost to the End that follows it at once. Nothing of it may fail the
// wizard either.
void WriteEntryInTime(DWORD eventId, std::vector<std::wstring> strings) noexcept {
  try {
    auto entry = std::make_unique<Entry>(Entry{eventId, std::move(strings)});
    const unique_handle writer(CreateThread(nullptr, 0, &WriteEntry, entry.get(), 0, nullptr));
    if (writer) {
      entry.release();  // the thread owns it now
      WaitForSingleObject(writer.get(), kWriteTimeoutMs);
    }
  } catch (...) {
    // Out of memory: the entry is lost, the wizard goes on.
  }
}

// The record is no part of the wizard: running out of memory for it loses the entry and nothing
// else.
template <class Work>
void Quietly(Work work) noexcept {
  try {
    work();
  } catch (...) {
  }
}

}  // namespace

void RunRecord::CommandStarted(TextView commandLine) {
  Quietly([&] { commands_.push_back(Wide(commandLine)); });
}

void RunRecord::DeclineConfirmed() {
  Quietly([&] { Write(TERMGATE_EVENT_DECLINED, {LangCode(), Joined(commands_)}); });
}

void RunRecord::Ended() {
  if (CommandsStarted()) {
    DeclineConfirmed();
  } else {
    Quietly([&] { Write(TERMGATE_EVENT_ACCEPTED, {LangCode()}); });
  }
}

void RunRecord::EndedFromOutside(Outside how) {
  if (CommandsStarted()) {
    DeclineConfirmed();
  } else {
    Quietly([&] {
      Write(TERMGATE_EVENT_ENDED_FROM_OUTSIDE,
            {LangCode(), how == Outside::SessionEnded ? L"the session ended" : L"a quit message"});
    });
  }
}

void RunRecord::Failed(const RuntimeError& error) {
  Quietly([&] {
    Write(TERMGATE_EVENT_RUNTIME_ERROR,
          {LangCode(), std::to_wstring(error.number), Wide(error.description),
           commands_.empty() ? std::wstring(L"none") : Joined(commands_)});
  });
}

std::wstring RunRecord::LangCode() const {
  return language_ != nullptr ? Wide(language_->LangCode) : std::wstring();
}

void RunRecord::AlreadyRunning() {
  WriteEntryInTime(TERMGATE_EVENT_ALREADY_RUNNING, {});
}

void RunRecord::Write(unsigned long eventId, std::vector<std::wstring> strings) {
  if (!std::exchange(written_, true)) {
    WriteEntryInTime(eventId, std::move(strings));
  }
}

}  // namespace termgate::win32
