#include "app/command_line.h"

#include "app/exit_codes.h"
#include "platform/text.h"

namespace app {

namespace {

using platform::Decimal;

bool IsSwitch(const std::u16string& arg) { return !arg.empty() && (arg[0] == u'/' || arg[0] == u'-'); }

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return s;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::u16string>& args) {
  CommandLine line;
  bool quiet = false, passive = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::u16string& arg = args[i];
    if (!IsSwitch(arg)) {
      if (line.unknown.empty()) line.unknown = arg.empty() ? u"\"\"" : arg;
      continue;
    }
    const std::u16string name = Lower(arg.substr(1));
    if (name == u"quiet" || name == u"q" || name == u"silent" || name == u"s") {
      quiet = true;
    } else if (name == u"passive") {
      passive = true;
    } else if (name == u"log") {
      line.log = true;
      if (i + 1 < args.size() && !args[i + 1].empty() && !IsSwitch(args[i + 1])) line.logFile = args[++i];
    } else if (name == u"?" || name == u"help") {
      line.help = true;
    } else if (line.unknown.empty()) {
      line.unknown = arg;
    }
  }
  line.mode = quiet ? RunMode::kQuiet : passive ? RunMode::kPassive : RunMode::kNormal;
  return line;
}

std::u16string CommandLineHelp(const std::u16string& programName, const std::u16string& unknown) {
  std::u16string text;
  if (!unknown.empty()) text += u"Unknown argument: " + unknown + u"\r\n\r\n";
  text += programName + u" [/quiet | /passive] [/log [FILE]]\r\n\r\n"
          u"/quiet, /q, /silent, /s\tno window, no questions; the package runs with its quiet arguments "
          u"and its exit code is returned\r\n"
          u"/passive\tthe window shows the download, nothing asks; the package runs as with /quiet\r\n"
          u"/log [FILE]\ta support log, to FILE or to the folder for temporary files\r\n"
          u"/?, /help\tthis text\r\n\r\n"
          u"Exit codes: " + Decimal(kExitSuccess) + u" success, " + Decimal(kExitCancelled) + u" cancelled, " +
          Decimal(kExitFailed) + u" failed (the log says why), " + Decimal(kExitAlreadyRunning) +
          u" another installer is at work on the same package, " + Decimal(kExitNoConfiguration) +
          u" configuration missing or no usable link, " + Decimal(kExitLogFailed) + u" the log could not be written, " +
          Decimal(kExitBadCommandLine) + u" bad command line; with /quiet or /passive otherwise the package's own.";
  return text;
}

}  // namespace app
