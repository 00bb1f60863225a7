// zarn-kit check [DIR | XML] [--ini FILE] [--skin DIR] [--online] [--json]
//
// Tells a vendor what every machine will download, and what in the kit does not do
// what it seems to. A folder is read as the installer reads its own: the
// configuration, the string file and the skin images beside each other. Exit status
// 0 when nothing needs fixing, 1 for warnings only, 2 for any error, 3 for a bad
// command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "kit_check.h"
#include "platform/text.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: zarn-kit check [DIR | XML] [--ini FILE] [--skin DIR] [--online] [--json]\n");
  return 3;
}

bool IsFolder(const std::string& path) {
  std::FILE* f = std::fopen((path + "/ZarnWebInstaller.xml").c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr || path.empty() || path.back() == '/' || path.back() == '\\';
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "check") != 0) return Usage();
  std::string target, ini, skin;
  bool online = false, json = false, iniGiven = false, skinGiven = false;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--online") {
      online = true;
    } else if (a == "--json") {
      json = true;
    } else if ((a == "--ini" || a == "--skin") && i + 1 < argc) {
      (a == "--ini" ? ini : skin) = argv[++i];
      (a == "--ini" ? iniGiven : skinGiven) = true;
    } else if (!a.empty() && a[0] != '-' && target.empty()) {
      target = a;
    } else {
      return Usage();
    }
  }
  if (target.empty()) target = ".";
  std::string xml = target;
  if (IsFolder(target)) {
    std::string folder = target;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    xml = folder + "/ZarnWebInstaller.xml";
    if (!iniGiven) ini = folder + "/ZarnWebInstallerString.ini";
    if (!skinGiven) skin = platform::WideToUtf8(kit::SkinFolderOf(platform::Utf8ToWide(folder)));
    iniGiven = skinGiven = true;
  }
  kit::Report report;
  kit::CheckConfiguration(platform::Utf8ToWide(xml), BaseName(xml), report);
  if (iniGiven) kit::CheckStrings(platform::Utf8ToWide(ini), BaseName(ini), report);
  if (skinGiven) kit::CheckSkin(platform::Utf8ToWide(skin), report);
  if (online) kit::CheckOnline(report);
  const std::string out = json ? kit::RenderJson(report) : kit::RenderText(report);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return report.ExitStatus();
}
