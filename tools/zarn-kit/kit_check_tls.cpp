// Windows XP and today's servers. XP's HTTP stack (the one WinINet uses) speaks
// TLS 1.0 at best, and nearly every CDN now accepts only TLS 1.2 and later: an XP
// machine whose links are all https reaches none of them. The way out that keeps
// the package safe is a plain http fallback with a digest.
#include <string>
#include <vector>

#include "kit_check.h"

namespace kit {

namespace {

bool Https(const LinkRow& link) { return link.link.compare(0, 8, "https://") == 0; }
// An empty link is tried as "http://", which reaches nothing.
bool PlainHttp(const LinkRow& link) { return link.link.compare(0, 7, "http://") == 0 && link.link.size() > 7; }

}  // namespace

void CheckOldWindowsTls(const std::string& display, Report& report) {
  std::vector<std::string> flagged;
  for (const MachineRow& row : report.machines) {
    if (row.osName != "Windows XP" || !row.hasLink || !row.usable) continue;
    if (PlainHttp(row.download) || PlainHttp(row.fallback) || !(Https(row.download) || Https(row.fallback))) continue;
    const std::string machine = row.osName + " " + row.bitness + "-bit";
    bool seen = false;
    for (const std::string& f : flagged) seen = seen || f == machine;
    if (seen) continue;
    flagged.push_back(machine);
    report.Add(Grade::kWarning, "xp-https-only", display, 0, 0,
               machine + " gets only https links (\"" + (Https(row.download) ? row.download : row.fallback).link +
                   "\"): Windows XP cannot reach servers that accept only TLS 1.2 and later, which is nearly every "
                   "CDN today; give it an http:// fallback with a sha256 (the digest keeps the package safe over "
                   "plain http)");
  }
}

}  // namespace kit
