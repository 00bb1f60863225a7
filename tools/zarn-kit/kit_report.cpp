#include "kit_report.h"

#include <algorithm>

#include "platform/text.h"

namespace kit {

size_t Report::Count(Grade grade) const {
  return static_cast<size_t>(
      std::count_if(findings.begin(), findings.end(), [grade](const Finding& f) { return f.grade == grade; }));
}

int Report::ExitStatus() const {
  if (Count(Grade::kError)) return 2;
  return Count(Grade::kWarning) ? 1 : 0;
}

const char* GradeName(Grade grade) {
  switch (grade) {
    case Grade::kError:
      return "error";
    case Grade::kWarning:
      return "warning";
    case Grade::kNote:
      return "note";
  }
  return "";
}

namespace {

std::vector<Finding> Sorted(const Report& report) {
  std::vector<Finding> sorted = report.findings;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Finding& a, const Finding& b) {
    if (a.file != b.file) return a.file < b.file;
    if (a.line != b.line) return a.line < b.line;
    return a.column < b.column;
  });
  return sorted;
}

std::string State(const MachineRow& row) {
  if (row.installed) return "installed";
  return row.countsInstalled ? "not installed*" : "not installed";
}

std::string Cell(const MachineRow& row, const LinkRow& link, bool download) {
  if (!row.hasLink) return download ? "no link: \"Xml file is missing!\"" : "";
  if (!row.usable) return download ? "no usable link: \"Unrecognized URL\"" : "";
  if (link.link.empty()) return "-";
  std::string s = link.link;
  if (download && row.patch) s += " (patch)";
  return s;
}

std::string Added(const MachineRow& row, const LinkRow& link) {
  if (!row.hasLink || !row.usable || link.link.empty()) return "";
  return link.httpAdded ? "added" : "no";
}

std::string Digest(const MachineRow& row, const LinkRow& link) {
  if (!row.hasLink || !row.usable || link.link.empty()) return "";
  return link.sha256.empty() ? "-" : link.sha256;
}

// The link fields a kit may give or not: each has columns of its own (and a key in
// the JSON) only in a kit that gives it somewhere, so that the report of every other
// kit reads as it always did.
struct OptionalField {
  const char* title;
  std::string LinkRow::*value;
};
const OptionalField kOptionalFields[] = {{"signer", &LinkRow::signer}, {"quietArgs", &LinkRow::quietArgs}};

std::string Optional(const MachineRow& row, const LinkRow& link, const OptionalField& field) {
  if (!row.hasLink || !row.usable || link.link.empty()) return "";
  return (link.*field.value).empty() ? "-" : link.*field.value;
}

// Columns line up by characters, not by the bytes of their UTF-8.
size_t Width(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

void Table(std::string& out, const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> width;
  for (const auto& r : rows)
    for (size_t i = 0; i < r.size(); ++i) {
      if (width.size() <= i) width.push_back(0);
      width[i] = std::max(width[i], Width(r[i]));
    }
  for (const auto& r : rows) {
    std::string line;
    for (size_t i = 0; i < r.size(); ++i) {
      line += r[i];
      if (i + 1 < r.size()) line += std::string(width[i] - Width(r[i]) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += "  " + line + "\n";
  }
}

std::string Quoted(const std::string& s) { return "\"" + platform::JsonEscape(s) + "\""; }
const char* Bool(bool b) { return b ? "true" : "false"; }

std::string LinkJson(const MachineRow& row, const LinkRow& link, bool download) {
  if (!row.hasLink || !row.usable || link.link.empty()) return "null";
  std::string s = "{\"link\": " + Quoted(link.link) + ", \"httpAdded\": " + Bool(link.httpAdded) +
                  ", \"sha256\": " + (link.sha256.empty() ? "null" : Quoted(link.sha256));
  for (const OptionalField& field : kOptionalFields) {
    if (!(link.*field.value).empty()) s += std::string(", \"") + field.title + "\": " + Quoted(link.*field.value);
  }
  if (download) s += std::string(", \"patch\": ") + Bool(row.patch);
  return s + "}";
}

}  // namespace

std::string RenderText(const Report& report) {
  std::string out;
  if (!report.program.empty()) {
    out += "Program \"" + report.program + "\"";
    for (const auto& field : report.programVersion) out += "\n  " + field.first + ": " + field.second;
    out += report.programVersion.empty() ? ": no version resource\n\n" : "\n\n";
  }
  if (!report.machines.empty()) {
    out += "Product \"" + report.productName + "\", package file \"" + report.packageFileName + "\"\n\n";
    std::vector<OptionalField> given;
    for (const OptionalField& field : kOptionalFields) {
      bool any = false;
      for (const MachineRow& row : report.machines)
        any = any || !(row.download.*field.value).empty() || !(row.fallback.*field.value).empty();
      if (any) given.push_back(field);
    }
    std::vector<std::vector<std::string>> rows = {{"machine", "product", "download", "http://", "sha256"}};
    for (const OptionalField& field : given) rows[0].push_back(field.title);
    for (const char* title : {"fallback", "http://", "sha256"}) rows[0].push_back(title);
    for (const OptionalField& field : given) rows[0].push_back(field.title);
    bool footnote = false;
    for (const MachineRow& row : report.machines) {
      footnote = footnote || (row.countsInstalled && !row.installed);
      std::vector<std::string> cells = {row.osName + " " + row.bitness + "-bit", State(row),
                                        Cell(row, row.download, true), Added(row, row.download),
                                        Digest(row, row.download)};
      for (const OptionalField& field : given) cells.push_back(Optional(row, row.download, field));
      for (const std::string& c : {Cell(row, row.fallback, false), Added(row, row.fallback), Digest(row, row.fallback)})
        cells.push_back(c);
      for (const OptionalField& field : given) cells.push_back(Optional(row, row.fallback, field));
      rows.push_back(cells);
    }
    Table(out, rows);
    if (footnote) out += "  * no registry key to look for: the product always counts as installed\n";
    out += "\n";
  }
  if (report.online) {
    std::vector<std::vector<std::string>> rows = {{"link", "probe", "size", "range 0-0", "Content-Range", "sha256"}};
    for (const ProbeRow& p : report.probes) {
      std::string digest = "-";
      if (!p.expectedSha256.empty() && p.size > 0)
        digest = !p.downloaded ? "not downloaded" : p.actualSha256 == p.expectedSha256 ? "matches" : "MISMATCH";
      rows.push_back({p.link, p.sent ? std::to_string(p.status) : "no answer", p.size ? std::to_string(p.size) : "none",
                      p.rangeSent ? std::to_string(p.rangeStatus) + (p.rangeHonoured ? " honoured" : " not honoured")
                                  : "no answer",
                      p.contentRange.empty() ? "-" : p.contentRange, digest});
    }
    Table(out, rows);
    out += "\n";
  }
  for (const Finding& f : Sorted(report)) {
    std::string place = f.file;
    if (f.line) place += ":" + std::to_string(f.line) + ":" + std::to_string(f.column);
    out += (place.empty() ? "" : place + ": ") + GradeName(f.grade) + ": " + f.message + " [" + f.code + "]\n";
  }
  out += std::to_string(report.Count(Grade::kError)) + " error(s), " + std::to_string(report.Count(Grade::kWarning)) +
         " warning(s), " + std::to_string(report.Count(Grade::kNote)) + " note(s)\n";
  return out;
}

std::string RenderJson(const Report& report) {
  std::string out = "{\n  \"product\": {\"name\": " + Quoted(report.productName) +
                    ", \"packageFileName\": " + Quoted(report.packageFileName) + "},\n  \"machines\": [";
  for (size_t i = 0; i < report.machines.size(); ++i) {
    const MachineRow& row = report.machines[i];
    out += std::string(i ? "," : "") + "\n    {\"os\": " + Quoted(row.osName) + ", \"bit\": " + Quoted(row.bitness) +
           ", \"installed\": " + Bool(row.installed) + ", \"countsAsInstalled\": " + Bool(row.countsInstalled) +
           ", \"hasLink\": " + Bool(row.hasLink) + ", \"downloadStarts\": " + Bool(row.hasLink && row.usable) +
           ", \"download\": " + LinkJson(row, row.download, true) +
           ", \"fallback\": " + LinkJson(row, row.fallback, false) +
           ", \"packageFileName\": " + Quoted(report.packageFileName) + "}";
  }
  out += "\n  ],\n  \"findings\": [";
  const std::vector<Finding> findings = Sorted(report);
  for (size_t i = 0; i < findings.size(); ++i) {
    const Finding& f = findings[i];
    out += std::string(i ? "," : "") + "\n    {\"grade\": \"" + GradeName(f.grade) + "\", \"code\": " + Quoted(f.code) +
           ", \"file\": " + Quoted(f.file) + ", \"line\": " + std::to_string(f.line) +
           ", \"column\": " + std::to_string(f.column) + ", \"message\": " + Quoted(f.message) + "}";
  }
  out += "\n  ]";
  if (!report.program.empty()) {
    out += ",\n  \"program\": {\"file\": " + Quoted(report.program) + ", \"version\": {";
    for (size_t i = 0; i < report.programVersion.size(); ++i)
      out += std::string(i ? ", " : "") + Quoted(report.programVersion[i].first) + ": " +
             Quoted(report.programVersion[i].second);
    out += "}}";
  }
  if (report.online) {
    out += ",\n  \"online\": [";
    for (size_t i = 0; i < report.probes.size(); ++i) {
      const ProbeRow& p = report.probes[i];
      out += std::string(i ? "," : "") + "\n    {\"link\": " + Quoted(p.link) + ", \"answered\": " + Bool(p.sent) +
             ", \"status\": " + std::to_string(p.status) + ", \"size\": " + std::to_string(p.size) +
             ", \"rangeAnswered\": " + Bool(p.rangeSent) + ", \"rangeStatus\": " + std::to_string(p.rangeStatus) +
             ", \"contentRange\": " + (p.contentRange.empty() ? "null" : Quoted(p.contentRange)) +
             ", \"rangeHonoured\": " + Bool(p.rangeHonoured) +
             ", \"expectedSha256\": " + (p.expectedSha256.empty() ? "null" : Quoted(p.expectedSha256)) +
             ", \"actualSha256\": " + (p.actualSha256.empty() ? "null" : Quoted(p.actualSha256)) + "}";
    }
    out += "\n  ]";
  }
  out += ",\n  \"summary\": {\"errors\": " + std::to_string(report.Count(Grade::kError)) +
         ", \"warnings\": " + std::to_string(report.Count(Grade::kWarning)) +
         ", \"notes\": " + std::to_string(report.Count(Grade::kNote)) +
         ", \"exitStatus\": " + std::to_string(report.ExitStatus()) + "}\n}\n";
  return out;
}

}  // namespace kit
