// The installer's command line, for administrators: read only when there is one.
// Switches start with '/' or '-' and are read without regard to case. Started
// without any, the program runs exactly as it always has.
#pragma once

#include <string>
#include <vector>

namespace app {

enum class RunMode {
  kNormal,   // the window, and questions when something needs an answer
  kPassive,  // the window to watch, but nothing asks: cancel is at once, errors end with a code
  kQuiet,    // no window and no box at all
};

struct CommandLine {
  RunMode mode = RunMode::kNormal;
  bool help = false;
  // /log: write a support log, to logFile or, when it is empty, to a file of its
  // own in the temporary folder.
  bool log = false;
  std::u16string logFile;
  // The first argument the program does not know; not empty means a bad command
  // line, and then nothing is downloaded.
  std::u16string unknown;

  bool Bad() const { return !unknown.empty(); }
};

// The arguments after the program's name, as the system splits them.
//   /quiet /q /silent /s   no window, no box
//   /passive               the window without questions (/quiet wins over it)
//   /log [FILE]            a support log; FILE is the next argument unless it is a switch
//   /? /help               the switches and the exit codes
CommandLine ParseCommandLine(const std::vector<std::u16string>& args);

// What the help box says. unknown, when given, is named first as the reason.
std::u16string CommandLineHelp(const std::u16string& programName, const std::u16string& unknown);

}  // namespace app
