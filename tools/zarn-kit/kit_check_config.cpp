// The configuration file: what each machine downloads, and what in the file does not
// do what its vendor probably meant.
#include <algorithm>
#include <map>
#include <set>

#include "config/download_plan.h"
#include "config/installer_config.h"
#include "config/installer_config_file.h"
#include "kit_check.h"
#include "kit_links.h"
#include "platform/http.h"
#include "platform/text.h"
#include "xml/xml_document.h"

namespace kit {

namespace {

struct Machine {
  const char16_t* os;
  const char16_t* bit;
};
const Machine kMachines[] = {
    {u"Windows XP", u"32"}, {u"Windows XP", u"64"}, {u"Windows Vista", u"32"}, {u"Windows Vista", u"64"},
    {u"Windows 7", u"32"},  {u"Windows 7", u"64"},  {u"Windows 8", u"32"},     {u"Windows 8", u"64"},
};
constexpr size_t kMachineCount = sizeof kMachines / sizeof kMachines[0];

std::string U8(const std::u16string& s) { return platform::WideToUtf8(s); }
std::string MachineName(const Machine& m) { return U8(m.os) + " " + U8(m.bit) + "-bit"; }

// The name in record's start tag, as written.
std::u16string ElementName(const CXmlDocument& doc, uint32_t record) {
  const std::u16string& t = doc.GetDocumentText();
  size_t b = doc.GetRecord(record).offset + 1, e = b;
  while (e < t.size() && t[e] != u' ' && t[e] != u'\t' && t[e] != u'\r' && t[e] != u'\n' && t[e] != u'/' &&
         t[e] != u'>')
    ++e;
  return t.substr(b, e - b);
}

// The result text's entries that say the document is not well-formed; the others
// (encoding read, byte order mark...) only describe the load.
const char16_t* const kFaultEntries[] = {u"lone_end_tag",   u"unended_start_tag", u"unterminated_tag_syntax",
                                         u"limit_exceeded", u"no_root_element",   u"root_has_sibling"};

class ConfigChecker {
 public:
  ConfigChecker(const std::string& display, Report& report) : display_(display), report_(report) {}

  // The document is read as the installer reads it: from its file (none above the
  // installer's cap), or from the bytes a single-file installer carries.
  void Run(const std::u16string& path) {
    bool tooLarge = false;
    const bool wellFormed = LoadInstallerConfig(doc_, path, &tooLarge);
    if (tooLarge) {
      report_.Add(Grade::kError, "file-unreadable", display_, 0, 0,
                  "larger than " + std::to_string(kMaxInstallerConfigBytes) +
                      " bytes, the most the installer reads; it says \"Xml file is missing!\" on every machine");
      FillTable(false);
      return;
    }
    Check(wellFormed);
  }
  void Run(std::string_view bytes) { Check(doc_.LoadBytes(bytes.data(), bytes.size())); }

 private:
  void Check(bool wellFormed) {
    if (!ReportLoad(wellFormed)) {
      FillTable(false);
      return;
    }
    FillTable(true);
    WalkProduct();
  }

  // ---- places and names ----
  TextPlace Place(size_t offset) {
    if (!lines_.Built()) lines_.Build(doc_.GetDocumentText());
    return lines_.Place(offset);
  }
  static size_t Number(const std::u16string& digits) {
    size_t n = 0;
    for (char16_t c : digits) {
      if (c < u'0' || c > u'9' || n > (SIZE_MAX - 9) / 10) break;
      n = n * 10 + (c - u'0');
    }
    return n;
  }
  // A count element under product (retries, segments): read wherever it stands, the
  // first one only, a text that is no number keeping the default (kept), one out of
  // range read as the nearest count allowed.
  void CheckCount(uint32_t child, const std::string& name, bool* seen, int lowest, int highest, const char* code,
                  const std::string& kept) {
    if (*seen) {
      UnreadElement(child, ": only the first <" + name + "> is read");
      return;
    }
    *seen = true;
    int count = 0;
    const std::u16string text = doc_.GetData(child);
    if (!ParseCountText(text, lowest, highest, &count)) {
      Add(Grade::kWarning, code, child, "<" + name + "> \"" + U8(text) + "\" is not a number: the installer keeps " + kept);
    } else if (Number(text.substr(text.find_first_not_of(u" \t\r\n"))) != static_cast<size_t>(count)) {
      Add(Grade::kNote, code, child,
          "<" + name + "> " + U8(text) + " is read as " + std::to_string(count) +
              (count == highest ? ", the most" : ", the fewest"));
    }
  }
  void Add(Grade g, const char* code, uint32_t record, std::string message) {
    TextPlace at;
    if (record) at = Place(doc_.GetRecord(record).offset);
    report_.Add(g, code, display_, at.line, at.column, std::move(message));
  }
  std::u16string NameOf(uint32_t record) const { return ElementName(doc_, record); }
  // The names of the attributes written in a start tag, for telling the vendor which
  // of them nobody reads. Values are skipped whatever their quoting.
  std::vector<std::u16string> AttributeNames(uint32_t record) const {
    const std::u16string& t = doc_.GetDocumentText();
    const ElementRecord& rec = doc_.GetRecord(record);
    const size_t end = std::min<size_t>(t.size(), rec.offset + rec.StartTagLength());
    size_t p = std::min(end, rec.offset + 1 + NameOf(record).size());
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    std::vector<std::u16string> names;
    while (p < end) {
      while (p < end && (blank(t[p]) || t[p] == u'/' || t[p] == u'>')) ++p;
      size_t b = p;
      while (p < end && !blank(t[p]) && t[p] != u'=' && t[p] != u'>' && t[p] != u'/') ++p;
      if (p > b) names.push_back(t.substr(b, p - b));
      while (p < end && blank(t[p])) ++p;
      if (p < end && t[p] == u'=') {
        ++p;
        while (p < end && blank(t[p])) ++p;
        if (p < end && (t[p] == u'"' || t[p] == u'\'')) {
          const char16_t q = t[p++];
          while (p < end && t[p] != q) ++p;
          ++p;
        } else {
          while (p < end && !blank(t[p]) && t[p] != u'>') ++p;
        }
      } else if (p == b) {
        ++p;
      }
    }
    return names;
  }
  void CheckAttributes(uint32_t record, std::initializer_list<const char16_t*> read) {
    for (const std::u16string& name : AttributeNames(record)) {
      bool known = false;
      for (const char16_t* r : read) known = known || name == r;
      if (!known)
        Add(Grade::kWarning, "unread-attribute", record,
            "attribute " + U8(name) + " of <" + U8(NameOf(record)) + "> is never read by the installer");
    }
  }
  void UnreadElement(uint32_t record, const std::string& why,
                     std::initializer_list<const char16_t*> known = {}) {
    std::string message = "<" + U8(NameOf(record)) + "> is never read by the installer" + why;
    for (const char16_t* k : known) {
      if (NameOf(record) != k && SameIgnoringAsciiCase(NameOf(record), k)) {
        message += " (names are case-sensitive: did you mean <" + U8(k) + ">?)";
        break;
      }
    }
    Add(Grade::kWarning, "unread-element", record, message);
  }

  // ---- loading ----
  bool ReportLoad(bool wellFormed) {
    CXmlDocument results(u"<r>" + doc_.GetResultText() + u"</r>");
    results.FindElement(u"r");
    results.EnterElement();
    bool faults = false;
    while (results.FindElement()) {
      const std::u16string name = ElementName(results, results.GetMainPosition());
      if (name == u"file_error") {
        report_.Add(Grade::kError, "file-unreadable", display_, 0, 0,
                    "cannot be read: " + U8(results.GetAttribute(u"msg")) +
                        "; the installer says \"Xml file is missing!\" on every machine");
        return false;
      }
      bool fault = false;
      for (const char16_t* f : kFaultEntries) fault = fault || name == f;
      if (!fault) continue;
      faults = true;
      const std::u16string offset = results.GetAttribute(u"offset");
      TextPlace at;
      if (!offset.empty()) at = Place(Number(offset));
      std::string what = U8(name);
      std::replace(what.begin(), what.end(), '_', ' ');
      const std::u16string tag = results.GetAttribute(u"tagname");
      const std::u16string type = results.GetAttribute(u"type");
      if (!tag.empty()) what += " <" + U8(tag) + ">";
      if (!type.empty()) what += " (" + U8(type) + ")";
      report_.Add(Grade::kError, "not-well-formed", display_, at.line, at.column,
                  "not well-formed: " + what + "; the installer says \"Xml file is missing!\" on every machine");
    }
    if (!wellFormed && !faults)
      report_.Add(Grade::kError, "not-well-formed", display_, 0, 0,
                  "not well-formed; the installer says \"Xml file is missing!\" on every machine");
    return wellFormed;
  }

  // ---- the table, from the installer's own plan ----
  void FillTable(bool wellFormed) {
    bool anyPatch = false;
    for (const Machine& m : kMachines) {
      for (bool installed : {false, true}) {
        MachineRow row;
        row.osName = U8(m.os);
        row.bitness = U8(m.bit);
        row.installed = installed;
        // The registry is the vendor's users', not ours: each state is supposed.
        const DownloadPlan plan = wellFormed ? ResolveDownloadPlanAs(doc_, m.os, m.bit, installed) : DownloadPlan();
        if (report_.machines.empty()) {
          productName_ = plan.productName;
          registryKey_ = plan.registryKey;
          report_.productName = U8(productName_);
          report_.packageFileName = U8(plan.packageFileName);
        }
        row.hasLink = plan.hasLink;
        row.countsInstalled = wellFormed ? plan.installed : installed;
        row.patch = plan.patch;
        anyPatch = anyPatch || plan.patch;
        std::u16string chosenDownload, chosenFallback;
        if (row.hasLink) {
          row.usable = plan.linksParse;
          row.download = {U8(plan.download.url), plan.downloadRepaired, U8(plan.download.sha256),
                          U8(plan.download.signer), U8(plan.download.quietArgs)};
          row.fallback = {U8(plan.fallback.url), plan.fallbackRepaired, U8(plan.fallback.sha256),
                          U8(plan.fallback.signer), U8(plan.fallback.quietArgs)};
          // As the selection chose them, before the repair put "http://" in front.
          chosenDownload = plan.download.url.substr(plan.downloadRepaired ? 7 : 0);
          chosenFallback = plan.fallback.url.substr(plan.fallbackRepaired ? 7 : 0);
        }
        report_.machines.push_back(row);
        chosenFallback_.push_back(chosenFallback);
        chosenDownload_.push_back(chosenDownload);
      }
    }
    anyPatch_ = anyPatch;
  }

  // ---- the document's structure ----
  // With a product child as main, puts its own child position back to none, as it
  // is when the installer's reader reaches the entry: climb out and step back in.
  void Rewind() {
    doc_.LeaveElement();
    doc_.EnterElement();
  }

  struct EntryFacts {
    uint32_t record = 0;
    bool seen = false;  // after name and registry: the link reader reads it
    bool isDefault = false;
    InstallerEntry shape;  // os, the bit after it
    InstallerEntry rlink;  // the rlink after that bit
    InstallerEntry patch;
  };

  void WalkProduct() {
    doc_.ParseDocument();
    if (!doc_.FindElement(u"zarnwebinstaller")) {
      doc_.ParseDocument();
      doc_.FindElement();
      Add(Grade::kError, "no-root", doc_.GetMainPosition(),
          "the root element is not <zarnwebinstaller>: the installer finds no link on any machine");
      return;
    }
    const uint32_t root = doc_.GetMainPosition();
    CheckAttributes(root, {});
    uint32_t product = 0;
    while (doc_.FindChildElement()) {
      const uint32_t child = doc_.GetChildPosition();
      if (NameOf(child) == u"product" && !product) {
        product = child;
      } else if (NameOf(child) == u"product") {
        UnreadElement(child, ": only the first product is read");
      } else {
        UnreadElement(child, "", {u"product"});
      }
    }
    if (!product) {
      Add(Grade::kError, "no-product", root,
          "<zarnwebinstaller> has no <product>: the installer finds no link on any machine");
      return;
    }
    CheckAttributes(product, {});

    // Where the link reader starts: after the later of name and registry.
    doc_.ParseDocument();
    EnterProduct(doc_);
    uint32_t nameRecord = 0, registryRecord = 0;
    if (doc_.FindElement(u"name")) nameRecord = doc_.GetMainPosition();
    if (doc_.FindElement(u"registry")) registryRecord = doc_.GetMainPosition();
    const uint32_t cutoff = doc_.GetMainPosition();

    // One pass over the product's children, each read where the reader stands.
    std::vector<EntryFacts> entries;
    bool retriesSeen = false, segmentsSeen = false;
    doc_.ParseDocument();
    EnterProduct(doc_);
    while (doc_.FindElement()) {
      const uint32_t child = doc_.GetMainPosition();
      const std::u16string name = NameOf(child);
      CheckAttributes(child, name == u"installerInfo" ? std::initializer_list<const char16_t*>{u"default"}
                                                      : std::initializer_list<const char16_t*>{});
      if (name == u"name") {
        if (child != nameRecord) UnreadElement(child, ": only the first <name> is read");
      } else if (name == u"registry") {
        if (child != registryRecord)
          UnreadElement(child, nameRecord && doc_.GetRecord(child).offset < doc_.GetRecord(nameRecord).offset
                                   ? ": <registry> is looked for after <name> only"
                                   : ": only the first <registry> after <name> is read");
      } else if (name == u"retries") {
        CheckCount(child, "retries", &retriesSeen, 0, InstallerConfig::kMaxRetries, "retries-value",
                   "its " + std::to_string(InstallerConfig::kDefaultRetries) + " retries");
      } else if (name == u"segments") {
        CheckCount(child, "segments", &segmentsSeen, 1, InstallerConfig::kMaxSegments, "segments-value",
                   "to one connection");
      } else if (name == u"installerInfo") {
        entries.push_back(ReadEntry(child, cutoff));
        CheckChildren(entries.back());
      } else {
        UnreadElement(child, "", {u"name", u"registry", u"installerInfo", u"retries", u"segments"});
      }
    }

    if (productName_.empty())
      Add(Grade::kWarning, "no-name", nameRecord ? nameRecord : product,
          "no product name: the package is saved as \"" + report_.packageFileName + "\" and the window has no title");
    for (const EntryFacts& e : entries) {
      CheckEntry(e, cutoff == nameRecord ? "<name>" : "<registry>");
      for (size_t i = 0; i < kMachineCount; ++i) ownEntry_[i] = ownEntry_[i] || Serves(e, kMachines[i]);
    }
    CheckDefaults(entries);
    CheckMachines(entries, product);
    CheckRegistry(registryRecord, product);
  }

  EntryFacts ReadEntry(uint32_t record, uint32_t cutoff) {
    EntryFacts e;
    e.record = record;
    e.seen = cutoff == 0 || doc_.GetRecord(record).offset > doc_.GetRecord(cutoff).offset;
    e.isDefault = doc_.GetAttribute(record, u"default") == u"YES";
    e.shape = ReadInstallerEntry(doc_, u"", u"", u"rlink");
    Rewind();
    e.rlink = ReadInstallerEntry(doc_, e.shape.osText, e.shape.bitText, u"rlink");
    Rewind();
    e.patch = ReadInstallerEntry(doc_, e.shape.osText, e.shape.bitText, u"patch");
    Rewind();
    return e;
  }

  // Whether the entry gives machine m its full package.
  static bool Serves(const EntryFacts& e, const Machine& m) {
    return e.seen && e.rlink.linked && e.shape.osText == m.os && e.shape.bitText == m.bit;
  }

  void CheckEntry(const EntryFacts& e, const std::string& cutoffName) {
    const std::u16string value = doc_.GetAttribute(e.record, u"default");
    if (!value.empty() && value != u"YES")
      Add(Grade::kWarning, "default-value", e.record,
          "default=\"" + U8(value) + "\" marks nothing: only default=\"YES\" (capital letters) does");
    if (!e.seen)
      Add(Grade::kWarning, "entry-above-name", e.record,
          "this <installerInfo> stands above " + cutoffName +
              ": the installer takes full-package links only from entries after it, so this one serves patches only");
    if (!e.shape.hasOs) {
      Add(Grade::kWarning, "entry-incomplete", e.record, "<installerInfo> without <os> serves no machine");
    } else if (!e.shape.bitRecord) {
      Add(Grade::kWarning, "entry-incomplete", e.record,
          "<installerInfo> has no <bit> after its <os>: it serves no machine");
    } else if (!e.rlink.linkRecord && !e.patch.linkRecord) {
      Add(Grade::kWarning, "entry-incomplete", e.record,
          "<installerInfo> has neither <rlink> nor <patch> after its <bit>: it serves no machine");
    }
    if (e.shape.hasOs) {
      bool knownOs = false, knownBit = false;
      for (const Machine& m : kMachines) {
        knownOs = knownOs || e.shape.osText == m.os;
        knownBit = knownBit || e.shape.bitText == m.bit;
      }
      if (!knownOs)
        Add(Grade::kWarning, "unknown-os", e.shape.osRecord,
            "os \"" + U8(e.shape.osText) +
                "\" names no machine: the installer knows \"Windows XP\", \"Windows Vista\", \"Windows 7\" and "
                "\"Windows 8\" (8.1, 10 and 11 count as \"Windows 8\"), written exactly so");
      if (e.shape.bitRecord && !knownBit)
        Add(Grade::kWarning, "unknown-bit", e.shape.bitRecord,
            "bit \"" + U8(e.shape.bitText) + "\" names no machine: write \"32\" or \"64\"");
    }
    if (e.isDefault && !(e.shape.hasOs && e.shape.bitRecord && e.rlink.linked))
      Add(Grade::kWarning, "default-incomplete", e.record,
          std::string("default=\"YES\" on an entry without ") +
              (!e.shape.hasOs ? "<os>" : !e.shape.bitRecord ? "<bit> after <os>" : "a usable <rlink> after <bit>") +
              ": the mark passes to the next entry, which then gives the fallback");
    if (e.rlink.linkRecord) CheckLink(e.rlink.linkRecord, e.rlink.link.url);
    if (e.patch.linkRecord) CheckLink(e.patch.linkRecord, e.patch.link.url);
  }

  // The entry's children the reader never looks at.
  void CheckChildren(const EntryFacts& e) {
    while (doc_.FindChildElement()) {
      const uint32_t child = doc_.GetChildPosition();
      const std::u16string name = NameOf(child);
      const bool used = child == e.shape.osRecord || child == e.shape.bitRecord ||
                        child == e.rlink.linkRecord || child == e.patch.linkRecord;
      const bool link = name == u"rlink" || name == u"patch";
      CheckAttributes(child, link ? std::initializer_list<const char16_t*>{u"sha256", u"signer", u"quietArgs"}
                                  : std::initializer_list<const char16_t*>{});
      if (link) CheckSha256(child);
      if (link) CheckSigner(child);
      if (used) continue;
      if (name == u"os") {
        UnreadElement(child, ": only the first <os> of an entry is read");
      } else if (name == u"bit") {
        UnreadElement(child, e.shape.osRecord && doc_.GetRecord(child).offset < doc_.GetRecord(e.shape.osRecord).offset
                                 ? ": <bit> is looked for after <os> only"
                                 : ": only the first <bit> after <os> is read");
      } else if (link) {
        UnreadElement(child, e.shape.bitRecord &&
                                     doc_.GetRecord(child).offset < doc_.GetRecord(e.shape.bitRecord).offset
                                 ? ": <" + U8(name) + "> is looked for after <bit> only"
                                 : ": only the first <" + U8(name) + "> after <bit> is read");
      } else {
        UnreadElement(child, "", {u"os", u"bit", u"rlink", u"patch"});
      }
    }
    Rewind();
  }

  void CheckSha256(uint32_t record) {
    const std::u16string text = doc_.GetAttribute(record, u"sha256");
    if (text.empty() && !HasAttribute(record, u"sha256")) return;
    if (!ParseSha256Text(text, nullptr))
      Add(Grade::kWarning, "sha256-malformed", record,
          "sha256=\"" + U8(text) +
              "\" is not 64 hexadecimal digits: the installer treats this link as absent for its machine");
  }
  void CheckSigner(uint32_t record) {
    if (!doc_.GetAttribute(record, u"signer").empty() || !HasAttribute(record, u"signer")) return;
    Add(Grade::kWarning, "signer-empty", record,
        "signer=\"\" names no publisher: the package behind this link is not checked for one");
  }
  bool HasAttribute(uint32_t record, const char16_t* name) const {
    for (const std::u16string& n : AttributeNames(record))
      if (n == name) return true;
    return false;
  }

  void CheckLink(uint32_t record, const std::u16string& link) {
    if (!checkedLinks_.insert(record).second) return;
    const std::string where = "<" + U8(NameOf(record)) + "> ";
    if (link.empty()) {
      Add(Grade::kWarning, "link-empty", record, where + "is empty: the download of this machine cannot start");
      return;
    }
    const LinkFacts f = ExamineLink(link);
    if (!f.parses) {
      Add(Grade::kWarning, "link-unparsable", record,
          where + "\"" + U8(link) + "\" does not parse, even with \"http://\" in front");
      return;
    }
    if (f.needsPrefix)
      Add(Grade::kWarning, "link-no-scheme", record,
          where + "\"" + U8(link) + "\" has no scheme: the installer puts \"http://\" in front");
    const bool digest = ParseSha256Text(doc_.GetAttribute(record, u"sha256"), nullptr);
    const bool signer = !doc_.GetAttribute(record, u"signer").empty();
    if (f.scheme == platform::UrlScheme::kHttp && digest)
      Add(Grade::kNote, "plain-http", record,
          where + "\"" + U8(f.effective) +
              "\" is plain http: its sha256 guards the package on the way (a package that differs is never run)");
    else if (f.scheme == platform::UrlScheme::kHttp && signer)
      Add(Grade::kNote, "plain-http", record,
          where + "\"" + U8(f.effective) +
              "\" is plain http: its signer guards the package on the way (a package that publisher did not "
              "sign is never run)");
    else if (f.scheme == platform::UrlScheme::kHttp)
      Add(Grade::kWarning, "plain-http", record,
          where + "\"" + U8(f.effective) +
              "\" is plain http: the package is run once it arrives, so anyone on the way can replace it; use "
              "https://, or give it a sha256");
    else if (f.scheme != platform::UrlScheme::kHttps)
      Add(Grade::kWarning, "link-scheme", record,
          where + "\"" + U8(f.effective) + "\" is neither http nor https: the installer cannot download it");
  }

  void CheckDefaults(const std::vector<EntryFacts>& entries) {
    std::vector<const EntryFacts*> defaults;
    for (const EntryFacts& e : entries)
      if (e.seen && e.isDefault) defaults.push_back(&e);
    for (size_t i = 1; i < defaults.size(); ++i)
      Add(Grade::kWarning, "several-defaults", defaults[i]->record,
          "a further default=\"YES\": which entry gives a machine its fallback then depends on the order of the "
          "entries and on the machine; mark one entry");
    for (const EntryFacts* d : defaults) {
      if (!d->rlink.linked) continue;
      std::vector<std::string> uncovered;
      for (size_t i = 0; i < kMachineCount; ++i)
        if (d->shape.bitText != kMachines[i].bit && !ownEntry_[i]) uncovered.push_back(MachineName(kMachines[i]));
      std::string message = "the default entry serves only " + U8(d->shape.bitText) +
                            "-bit machines: a machine of the other bit gets no fallback from it";
      if (uncovered.empty()) {
        Add(Grade::kNote, "default-own-bit", d->record, message + " (each of them has an entry of its own)");
      } else {
        std::string list;
        for (const std::string& u : uncovered) list += (list.empty() ? "" : ", ") + u;
        Add(Grade::kWarning, "default-own-bit", d->record, message + "; without an entry of their own: " + list);
      }
    }
  }

  void CheckMachines(const std::vector<EntryFacts>& entries, uint32_t product) {
    for (size_t i = 0; i < kMachineCount; ++i) {
      const Machine& m = kMachines[i];
      const MachineRow& row = report_.machines[i * 2];
      if (!row.hasLink) {
        Add(Grade::kError, "no-link", product,
            MachineName(m) + " gets no link: the installer says \"Xml file is missing!\" and stops");
        continue;
      }
      if (!row.usable) {
        Add(Grade::kError, "no-link", product,
            MachineName(m) + " gets no link that parses: the installer says \"Unrecognized URL\" and stops");
        continue;
      }
      std::vector<const EntryFacts*> serving;
      for (const EntryFacts& e : entries)
        if (Serves(e, m)) serving.push_back(&e);
      if (serving.empty()) {
        Add(Grade::kNote, "fallback-only", product,
            MachineName(m) + " has no entry of its own: only its fallback \"" + row.fallback.link + "\" is tried");
      }
      // The machine's own entry taking the mark only repeats its link: nothing new.
      if (chosenFallback_[i * 2] != chosenDownload_[i * 2]) CheckFallbackSource(entries, m, chosenFallback_[i * 2]);
      for (size_t k = 0; k + 1 < serving.size(); ++k) {
        const TextPlace last = Place(doc_.GetRecord(serving.back()->record).offset);
        Add(Grade::kWarning, "several-entries", serving[k]->record,
            std::to_string(serving.size()) + " entries serve " + MachineName(m) +
                "; the installer downloads \"" + row.download.link +
                "\" (entries are read in order and a later one wins until the search ends; the last is at line " +
                std::to_string(last.line) + ")");
      }
    }
  }

  // A fallback that no marked entry gives came from an entry the mark passed to.
  void CheckFallbackSource(const std::vector<EntryFacts>& entries, const Machine& m, const std::u16string& fallback) {
    if (fallback.empty()) return;
    const EntryFacts* marked = nullptr;
    for (const EntryFacts& e : entries) {
      if (!e.seen) continue;
      if (e.isDefault) {
        if (e.rlink.linked && e.rlink.link.url == fallback) return;
        marked = &e;
        continue;
      }
      if (marked && e.rlink.linked && e.rlink.link.url == fallback) {
        const TextPlace from = Place(doc_.GetRecord(marked->record).offset);
        Add(Grade::kWarning, "default-passed", e.record,
            MachineName(m) + " takes its fallback \"" + platform::WideToUtf8(fallback) +
                "\" from this entry, which has no default mark: the mark of the entry at line " +
                std::to_string(from.line) + " passed to it, because that entry gives this machine no link");
        return;
      }
    }
  }

  void CheckRegistry(uint32_t registryRecord, uint32_t product) {
    if (!registryKey_.empty()) return;
    const std::string what = registryRecord ? "<registry> is empty" : "there is no <registry> after <name>";
    if (anyPatch_) {
      std::string list;
      for (const MachineRow& row : report_.machines)
        if (!row.installed && row.patch) list += (list.empty() ? "" : ", ") + row.osName + " " + row.bitness + "-bit";
      Add(Grade::kWarning, "registry-empty", registryRecord ? registryRecord : product,
          what + ": the product always counts as installed, so " + list +
              " always download the patch, never the full package");
    } else {
      Add(Grade::kNote, "registry-empty", registryRecord ? registryRecord : product,
          what + ": the product always counts as installed; with no patch links every machine still gets the "
                 "full package");
    }
  }

  const std::string display_;
  Report& report_;
  CXmlDocument doc_;
  std::u16string productName_;
  std::u16string registryKey_;
  bool anyPatch_ = false;
  std::set<uint32_t> checkedLinks_;
  // Each row's fallback as the selection chose it, before the "http://" repair.
  std::vector<std::u16string> chosenFallback_;
  std::vector<std::u16string> chosenDownload_;
  bool ownEntry_[kMachineCount] = {};  // some entry the link reader sees serves the machine
  LineIndex lines_;
};

}  // namespace

void LineIndex::Build(const std::u16string& text) {
  lineStarts_.assign(1, 0);
  pairsBefore_.assign(text.size() + 1, 0);
  uint32_t pairs = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    pairsBefore_[i] = pairs;
    if (text[i] == u'\n') lineStarts_.push_back(i + 1);
    if (text[i] >= 0xDC00 && text[i] <= 0xDFFF && i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF) ++pairs;
  }
  pairsBefore_[text.size()] = pairs;
  built_ = true;
}

TextPlace LineIndex::Place(size_t offset) const {
  offset = std::min(offset, pairsBefore_.size() - 1);
  const size_t line = static_cast<size_t>(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) -
                                          lineStarts_.begin());
  const size_t start = lineStarts_[line - 1];
  // A pair's second unit is no character of its own.
  const size_t units = offset - start, pairs = pairsBefore_[offset] - pairsBefore_[start];
  return {static_cast<uint32_t>(line), static_cast<uint32_t>(units - pairs + 1)};
}

TextPlace PlaceOf(const std::u16string& text, size_t offset) {
  LineIndex index;
  index.Build(text);
  return index.Place(offset);
}

void CheckConfiguration(const std::u16string& path, const std::string& display, Report& report) {
  ConfigChecker(display, report).Run(path);
  CheckOldWindowsTls(display, report);
}

void CheckConfiguration(std::string_view bytes, const std::string& display, Report& report) {
  ConfigChecker(display, report).Run(bytes);
  CheckOldWindowsTls(display, report);
}

}  // namespace kit
