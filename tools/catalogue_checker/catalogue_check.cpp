#include "catalogue_check.h"

#include <new>

#include "catalogue_document.h"
#include "catalogue_traps.h"
#include "installer_digest.h"
#include "product_registry.h"

namespace zvu {

void CheckReport::Line(const std::string& text) { output_ += text + "\n"; }
void CheckReport::Note(const std::string& text) { output_ += "  note: " + text + "\n"; }
void CheckReport::Warning(const std::string& text) {
  output_ += "  warning: " + text + "\n";
  ++warnings_;
}
void CheckReport::Error(const std::string& text) {
  output_ += "  error: " + text + "\n";
  ++errors_;
}

namespace {

struct SeenUpdate {
  std::string name;
  ProductVersion version;
  int number;
};

std::string Plural(int count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

void ReportOffers(const UpdateEntry& update, const std::vector<InstalledProduct>& installed,
                  CheckReport& report) {
  bool anyInstalled = false;
  bool anyOffered = false;
  for (const InstalledProduct& product : installed) {
    if (!SameProductName(update.name, product.name)) continue;
    anyInstalled = true;
    const std::string which = product.name + " " + product.version.ToText();
    if (IsNewerWithinMajor(update.version, product.version)) {
      anyOffered = true;
      report.Line("  offered to " + which);
    } else if (update.version.major != product.version.major) {
      report.Line("  not offered to " + which +
                  ": another major version (an update never crosses a major version)");
    } else {
      report.Line("  not offered to " + which +
                  ": not newer (minor, then build decide; subbuild is not compared)");
    }
  }
  if (!anyInstalled && !update.name.empty()) {
    report.Line("  no installed version of \"" + update.name + "\" given");
  } else if (!anyOffered) {
    report.Warning("offered to none of the installed versions given");
  }
}

void CheckUpdate(IXMLDOMNode* node, int number, const std::vector<InstalledProduct>& installed,
                 std::vector<SeenUpdate>& seen, CheckReport& report) {
  UpdateEntry update;
  WrittenEntry written;
  if (FAILED(ReadUpdateFields(node, update)) || FAILED(ReadWrittenEntry(node, written))) {
    report.Line("update " + std::to_string(number) + ":");
    report.Error("the entry cannot be read: the programs stop reading the catalogue here");
    return;
  }
  report.Line("update " + std::to_string(number) + ": \"" + update.name + "\" " +
              update.version.ToText() + ", " + std::to_string(update.size) + " bytes, " +
              (update.url.empty() ? std::string("no url") : update.url));
  CheckWrittenEntry(written, /*isUpdate=*/true, report);
  if (update.name.empty()) {
    report.Error("no <product>: the update names no product and is offered to none");
  }
  CheckInstallerUrl(update.url, report);
  if (update.size == 0) {
    report.Warning("no <size> (or 0): the selection page shows 0 Kb");
  }
  if (update.sha256.empty()) {
    report.Warning("no <sha256>: the download runs without a check "
                   "(ZelkoVuroCatalogue hash FILE prints the digest)");
  } else if (!IsSha256Text(update.sha256)) {
    report.Error("<sha256> is not 64 hexadecimal digits: every download of it is rejected");
  }
  if (update.version.minor == 0 && update.version.build == 0) {
    report.Warning("version " + update.version.ToText() +
                   " is newer than no installed version: minor or build must exceed the "
                   "installed one's");
  }
  for (const SeenUpdate& earlier : seen) {
    if (SameProductName(earlier.name, update.name) && earlier.version == update.version) {
      report.Warning("the same product and version as update " + std::to_string(earlier.number));
      break;
    }
  }
  seen.push_back({update.name, update.version, number});
  ReportOffers(update, installed, report);
}

void CheckProducts(IXMLDOMNode* products, int& count, CheckReport& report) {
  ComPtr<IXMLDOMNode> node;
  HRESULT hr = FirstEntry(products, node);
  for (; SUCCEEDED(hr) && node; hr = NextEntry(node)) {
    ++count;
    CatalogueEntry product;
    WrittenEntry written;
    if (FAILED(ReadProductFields(node.get(), product)) ||
        FAILED(ReadWrittenEntry(node.get(), written))) {
      report.Line("product " + std::to_string(count) + ":");
      report.Error("the entry cannot be read: the programs stop reading the catalogue here");
      return;
    }
    report.Line("product " + std::to_string(count) + ": \"" + product.name + "\" " +
                product.version.ToText() + ", " + std::to_string(product.size) + " bytes");
    CheckWrittenEntry(written, /*isUpdate=*/false, report);
    if (product.name.empty()) report.Warning("no <product>: the product has no name");
  }
  if (FAILED(hr)) report.Error("the list of products cannot be read");
}

void CheckUpdates(IXMLDOMNode* updates, const std::vector<InstalledProduct>& installed,
                  int& count, CheckReport& report) {
  std::vector<SeenUpdate> seen;
  ComPtr<IXMLDOMNode> node;
  HRESULT hr = FirstEntry(updates, node);
  for (; SUCCEEDED(hr) && node; hr = NextEntry(node)) {
    CheckUpdate(node.get(), ++count, installed, seen, report);
  }
  if (FAILED(hr)) report.Error("the list of updates cannot be read");
}

void CheckDocument(std::string_view text, const std::vector<InstalledProduct>& installed,
                   CheckReport& report) {
  if (text.empty()) {
    report.Line("catalogue:");
    report.Error("the catalogue is empty");
    return;
  }
  report.Line("catalogue: " + std::to_string(text.size()) + " bytes, read in code page " +
              std::to_string(GetACP()));
  if (text.find('\0') != std::string_view::npos) {
    report.Error("the text holds a NUL byte (saved as UTF-16?): the programs cannot read it");
    return;
  }
  if (const size_t marker = text.find('\xFF'); marker != std::string_view::npos) {
    report.Error("the text holds the byte 0xFF at " + std::to_string(marker) +
                 ", which ends a catalogue on the service's pipe to the clients: the service "
                 "hands this catalogue to no client (write the character as &#255;)");
  }
  CheckTextEncoding(text, report);

  CatalogueDocument document;
  if (FAILED(document.Create())) {
    report.Error("the XML parser (msxml2.domdocument) cannot be started on this machine");
    return;
  }
  if (FAILED(document.Load(text))) {
    report.Error("not well-formed XML: the programs find no update in it");
    return;
  }
  int products = 0;
  int updates = 0;
  if (document.products() == nullptr) {
    report.Note("no <products> element below the root: no product is offered");
  } else {
    CheckProducts(document.products(), products, report);
  }
  if (document.updates() == nullptr) {
    report.Warning("no <updates> element below the root: no update is offered");
  } else {
    CheckUpdates(document.updates(), installed, updates, report);
  }
  report.Line(Plural(products, "product") + ", " + Plural(updates, "update"));
}

}  // namespace

CheckReport CheckCatalogue(std::string_view text, const std::vector<InstalledProduct>& installed) {
  CheckReport report;
  try {
    CheckDocument(text, installed, report);
    if (report.Errors() > 0) {
      report.Line("result: " + Plural(report.Errors(), "error") + ", " +
                  Plural(report.Warnings(), "warning"));
    } else if (report.Warnings() > 0) {
      report.Line("result: " + Plural(report.Warnings(), "warning"));
    } else {
      report.Line("result: clean");
    }
  } catch (const std::bad_alloc&) {
    report = CheckReport();
    report.Error("out of memory");
  }
  return report;
}

}  // namespace zvu
