// The support log (/log): what a support desk needs to tell a 404 from a dead proxy,
// a full disk or a wrong digest, one UTF-8 line per event with the milliseconds
// since the program started. It hears the engine as its listener and the program
// through Write. A log that cannot be written never stops anything: it only
// remembers that it failed. Links are written without their user name and
// password.
#pragma once

#include <cstdint>
#include <string>

#include "config/kit_files.h"
#include "download/engine_events.h"
#include "platform/output_file.h"
#include "platform/sync.h"
#include "platform/system.h"

namespace app {

class CSupportLog : public IEngineEvents {
 public:
  // file: where the log goes, created (or emptied) at once. Empty: a file of its
  // own in the temporary folder, named once the product is known (Settle); until
  // then the lines wait in memory.
  explicit CSupportLog(const std::u16string& file, uint64_t startMs = platform::TickMs(),
                       const platform::LocalTime& startedAt = platform::LocalTimeNow());
  CSupportLog(const CSupportLog&) = delete;
  CSupportLog& operator=(const CSupportLog&) = delete;

  // Names the log that waits for a name: <folder>\<stem>_<yyyyMMddHHmmss>.log with
  // the start's time, or with _2, _3 ... before ".log" when that name is taken (a
  // file that exists is never overwritten). The stem is the product's name made
  // fit for a file name. Does nothing for a log that has its file.
  void Settle(const std::u16string& stem, const std::u16string& folder = platform::TempFolder());
  // One line.
  void Write(const std::u16string& text);
  // The hand-off: what was started, with which arguments, and the shell's answer.
  void PackageStarted(const std::u16string& path, const std::u16string& args, bool started, uint32_t error);
  // Where the interface texts come from, for the text of each state.
  void SetKit(const KitFiles& kit);
  // The file being written, once there is one.
  std::u16string Path() const;
  // The log could not be created or a line could not be written.
  bool Failed() const;

  void OnStateChange(const DownloadStatus& status, const EngineFailure& failure) override;
  void OnProbe(const ProbeEvent& probe) override;
  void OnAttempt(const AttemptEvent& attempt) override;
  void OnRetryPause(uint32_t ms, int retry, int retries) override;
  void OnDigest(const std::u16string& expected, const std::u16string& computed) override;

 private:
  void Append(const std::string& line);  // under lock_
  mutable platform::Lock lock_;
  platform::OutputFile file_;
  std::u16string path_;
  bool settled_ = false;
  bool failed_ = false;
  uint64_t offset_ = 0;
  std::string pending_;  // lines written before the file was named
  const uint64_t startMs_;
  const platform::LocalTime startedAt_;
  KitFiles kit_;
};

// A link as the log writes it: without the user name and password of its address.
std::u16string LinkForLog(const std::u16string& link);
// The failure as the log writes it: "reason 4 http-status: <words>".
std::u16string FailureForLog(const EngineFailure& failure);

}  // namespace app
