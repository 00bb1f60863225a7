// The online check: the engine's own requests, sent to each distinct link the table
// names, so that a vendor sees how the server answers before any user does.
#include <filesystem>
#include <map>

#include "config/package_link.h"
#include "download/download_manager.h"
#include "download/engine_poll.h"
#include "download/engine_requests.h"
#include "kit_check.h"
#include "platform/output_file.h"
#include "platform/sha256.h"
#include "platform/system.h"
#include "platform/text.h"

namespace kit {

namespace {

std::string U8(const std::u16string& s) { return platform::WideToUtf8(s); }

void Probe(const std::u16string& link, ProbeRow& row) {
  EngineRequest probe;
  // The engine never reads the probe's body; closing the request drops it.
  if (SendProbeRequest(internetSession, link, &probe)) {
    row.sent = true;
    row.size = SizeFromProbe(probe, &row.status);
    probe.Close();
  }
  EngineRequest range;
  if (SendRangeRequest(internetSession, link, 0, 0, &range)) {
    row.rangeSent = platform::HttpQueryStatusCode(range.request, &row.rangeStatus);
    std::u16string contentRange;
    if (platform::HttpQueryHeader(range.request, u"Content-Range", 256, &contentRange)) row.contentRange = U8(contentRange);
    // Judged as the transfer judges a resumed range, and only a 206 counts: a 200
    // with the whole body is fine from byte 0 but cannot resume.
    AnsweredRange answered;
    row.rangeHonoured = row.rangeStatus == 206 && row.size > 0 &&
                        JudgeRangeAnswer(range.request, 0, 0, row.size, &answered) == RangeAnswer::kUsable;
    range.Close();
  }
}

// The whole package through the engine, as the installer would fetch it, into a
// file of our own that is removed again; its digest is compared afterwards so that
// the vendor sees the digest the server's file has.
void DownloadAndHash(const std::u16string& link, ProbeRow& row) {
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) return;
  const std::u16string target =
      (dir / ("zarn-kit-" + std::to_string(platform::TickMs()) + ".download")).u16string();
  EngineSettings settings;
  settings.download.url = link;
  settings.targetPath = target;
  const bool started = StartDownloadEngine(settings);
  const int32_t state = started ? WaitForDownloadEnd(50).state : 0;
  ReleaseDownloadObjects();
  if (state == STATUS_PREPARE_INSTALL) {
    uint8_t digest[platform::kSha256Bytes];
    if (platform::Sha256File(target, digest)) {
      row.downloaded = true;
      row.actualSha256 = U8(platform::Sha256Hex(digest));
    }
  }
  platform::DeleteFileByPath(target);
}

void Judge(const ProbeRow& p, Report& report) {
  const std::string who = "\"" + p.link + "\"";
  if (!p.sent) {
    report.Add(Grade::kWarning, "online-no-answer", "", 0, 0,
               who + " gives no answer to the installer's probe: machines with this link turn to their fallback");
    return;
  }
  if (p.size == 0)
    report.Add(Grade::kWarning, "online-no-size", "", 0, 0,
               who + " answers the probe with status " + std::to_string(p.status) +
                   " and no usable Content-Length: the installer takes no size and turns to the fallback");
  if (p.size > 0 && !p.rangeHonoured)
    report.Add(Grade::kWarning, "online-range", "", 0, 0,
               who + " answers a one-byte range with status " + std::to_string(p.rangeStatus) +
                   (p.contentRange.empty() ? " and no Content-Range" : " and Content-Range \"" + p.contentRange + "\"") +
                   ": a transfer that breaks off cannot resume");
  // Without a size the engine never downloads it, which the findings above say.
  if (!p.expectedSha256.empty() && p.size > 0) {
    if (!p.downloaded)
      report.Add(Grade::kWarning, "online-download-failed", "", 0, 0,
                 who + " could not be downloaded to check its sha256");
    else if (p.actualSha256 != p.expectedSha256)
      report.Add(Grade::kWarning, "online-sha256-mismatch", "", 0, 0,
                 who + " has sha256 " + p.actualSha256 + ", not " + p.expectedSha256 +
                     ": the installer deletes it and says \"Download failed.\"");
  }
}

}  // namespace

void CheckOnline(Report& report) {
  report.online = true;
  // Each link once, in table order, with the first digest any row expects of it.
  std::vector<ProbeRow> rows;
  std::map<std::string, size_t> seen;
  auto take = [&](const MachineRow& m, const LinkRow& l) {
    // A link that does not parse is never sent (an empty one repaired to "http://").
    if (!m.hasLink || !m.usable || !LinkParses(platform::Utf8ToWide(l.link))) return;
    auto it = seen.find(l.link);
    if (it == seen.end()) {
      seen[l.link] = rows.size();
      ProbeRow row;
      row.link = l.link;
      row.expectedSha256 = l.sha256;
      rows.push_back(row);
    } else if (rows[it->second].expectedSha256.empty()) {
      rows[it->second].expectedSha256 = l.sha256;
    }
  };
  for (const MachineRow& m : report.machines) {
    take(m, m.download);
    take(m, m.fallback);
  }
  if (!internetSession) internetSession = platform::HttpOpenSession(kAgentName);
  for (ProbeRow& row : rows) Probe(platform::Utf8ToWide(row.link), row);
  ReleaseDownloadObjects();
  for (ProbeRow& row : rows)
    if (!row.expectedSha256.empty() && row.size > 0) DownloadAndHash(platform::Utf8ToWide(row.link), row);
  for (const ProbeRow& row : rows) Judge(row, report);
  report.probes = rows;
}

}  // namespace kit
