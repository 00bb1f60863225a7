// zarn-kit check [DIR | XML | EXE] [--ini FILE] [--skin DIR] [--online] [--json]
// zarn-kit pack KIT_DIR --out FILE.exe [--from ZarnWebInstaller.exe]   (Windows)
//
// Tells a vendor what every machine will download, and what in the kit does not do
// what it seems to. A folder is read as the installer reads its own: the
// configuration, the string file and the skin images beside each other; a
// single-file installer is read for the kit it carries. Exit status 0 when nothing
// needs fixing, 1 for warnings only, 2 for any error, 3 for a bad command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kit_check.h"
#include "kit_exe.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: zarn-kit check [DIR | XML | EXE] [--ini FILE] [--skin DIR] [--online] [--json]\n"
               "       zarn-kit pack KIT_DIR --out FILE.exe [--from ZarnWebInstaller.exe]\n");
  return 3;
}

bool Exists(const std::u16string& path) {
  std::FILE* f = kit::OpenForReading(path);
  if (f) std::fclose(f);
  return f != nullptr;
}

bool IsFolder(const std::u16string& path) {
  return Exists(path + u"/ZarnWebInstaller.xml") || path.empty() || path.back() == u'/' || path.back() == u'\\';
}

std::string BaseName(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"/\\");
  return platform::WideToUtf8(slash == std::u16string::npos ? path : path.substr(slash + 1));
}

int Run(const std::vector<std::u16string>& args) {
  if (!args.empty() && args[0] == u"pack") return kit::Pack(args);
  if (args.empty() || args[0] != u"check") return Usage();
  std::u16string target, ini, skin;
  bool online = false, json = false, iniGiven = false, skinGiven = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    if (a == u"--online") {
      online = true;
    } else if (a == u"--json") {
      json = true;
    } else if ((a == u"--ini" || a == u"--skin") && i + 1 < args.size()) {
      (a == u"--ini" ? ini : skin) = args[++i];
      (a == u"--ini" ? iniGiven : skinGiven) = true;
    } else if (!a.empty() && a[0] != u'-' && target.empty()) {
      target = a;
    } else {
      return Usage();
    }
  }
  if (target.empty()) target = u".";
  std::u16string xml = target;
  if (IsFolder(target)) {
    std::u16string folder = target;
    while (folder.size() > 1 && (folder.back() == u'/' || folder.back() == u'\\')) folder.pop_back();
    xml = folder + u"/ZarnWebInstaller.xml";
    if (!iniGiven) ini = folder + u"/ZarnWebInstallerString.ini";
    if (!skinGiven) skin = kit::SkinFolderOf(folder);
    iniGiven = skinGiven = true;
  }
  kit::Report report;
  if (!IsFolder(target) && kit::LooksLikeProgram(target)) {
    if (iniGiven || skinGiven) return Usage();  // a single-file installer reads only what it carries
    kit::CheckInstallerProgram(target, BaseName(target), report);
  } else {
    kit::CheckConfiguration(xml, BaseName(xml), report);
    if (iniGiven) kit::CheckStrings(ini, BaseName(ini), report);
    if (skinGiven) kit::CheckSkin(skin, report);
    if (iniGiven) kit::CheckTextFit(ini, BaseName(ini), skinGiven ? skin : std::u16string(), report);
  }
  if (online) kit::CheckOnline(report);
  const std::string out = json ? kit::RenderJson(report) : kit::RenderText(report);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return report.ExitStatus();
}

}  // namespace

// Output is UTF-8 on every platform, so that a vendor's pipeline reads one encoding.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // The checker runs beside a vendor's kit and its downloads, as the installer does.
  platform::HardenLibrarySearch();
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::FromW(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::Utf8ToWide(argv[i]));
  return Run(args);
}
#endif
