// ZelkoVuroCatalogue: checks an update catalogue before it is published, with
// the same parser the service and the client use, and prints the SHA-256 of
// installers for the catalogue's <sha256> elements.
//
//   ZelkoVuroCatalogue check FILE [--installed NAME=a.b.c.d ...]
//   ZelkoVuroCatalogue hash FILE...
//
// Exit status: 0 clean, 1 warnings, 2 errors (also for a command line that
// cannot be used, or a file that cannot be read).

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue_check.h"
#include "installer_digest.h"
#include "product_registry.h"
#include "update_catalogue.h"

namespace {

constexpr int kClean = 0;
constexpr int kErrors = 2;

int Usage() {
  std::fputs(
      "usage: ZelkoVuroCatalogue check FILE [--installed NAME=a.b.c.d ...]\n"
      "       ZelkoVuroCatalogue hash FILE...\n"
      "check: lists each update with the installed versions it is offered to, and warns\n"
      "       about what would make it fail on the machines. Without --installed, the\n"
      "       products installed on this machine are used.\n"
      "hash:  prints the SHA-256 of each file, for the update's <sha256> element.\n"
      "exit status: 0 clean, 1 warnings, 2 errors\n",
      stderr);
  return kErrors;
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return false;
  bytes = text.str();
  return true;
}

// The machine's installed products; one whose version is incomplete in the
// registry is never offered an update, and is left out with a note.
std::vector<zvu::InstalledProduct> MachineProducts() {
  zvu::UpdateCatalogue inventory;
  inventory.ReadInstalledProducts();
  std::vector<zvu::InstalledProduct> products;
  for (const zvu::CatalogueEntry& entry : inventory.InstalledProducts()) {
    const zvu::ProductVersion& v = entry.version;
    if (v.major == zvu::kMissingRegistryValue || v.minor == zvu::kMissingRegistryValue ||
        v.build == zvu::kMissingRegistryValue) {
      std::printf("installed: %s has no complete version in the registry (never offered an "
                  "update)\n", entry.name.c_str());
      continue;
    }
    products.push_back({entry.name, {v.major, v.minor, v.build,
                                     v.subbuild == zvu::kMissingRegistryValue ? 0 : v.subbuild}});
    std::printf("installed: %s %s (this machine)\n", entry.name.c_str(), v.ToText().c_str());
  }
  return products;
}

int Check(const std::vector<std::string>& arguments) {
  std::string file;
  std::vector<zvu::InstalledProduct> installed;
  bool installedGiven = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--installed") {
      if (i + 1 >= arguments.size()) return Usage();
      const auto product = zvu::ParseInstalledArgument(arguments[++i]);
      if (!product) {
        std::fprintf(stderr, "--installed %s: expected NAME=a.b.c.d\n", arguments[i].c_str());
        return kErrors;
      }
      installed.push_back(*product);
      installedGiven = true;
    } else if (file.empty() && arguments[i].rfind("--", 0) != 0) {
      file = arguments[i];
    } else {
      return Usage();
    }
  }
  if (file.empty()) return Usage();

  std::string text;
  if (!ReadFileBytes(file, text)) {
    std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
    return kErrors;
  }
  if (installedGiven) {
    for (const zvu::InstalledProduct& product : installed) {
      std::printf("installed: %s %s\n", product.name.c_str(), product.version.ToText().c_str());
    }
  } else {
    installed = MachineProducts();
  }
  const zvu::CheckReport report = zvu::CheckCatalogue(text, installed);
  std::fputs(report.Output().c_str(), stdout);
  return report.ExitStatus();
}

int Hash(const std::vector<std::string>& files) {
  if (files.empty()) return Usage();
  int status = kClean;
  for (const std::string& file : files) {
    std::string digest;
    if (zvu::ComputeFileSha256(file, digest)) {
      std::printf("%s  %s\n", digest.c_str(), file.c_str());
    } else {
      std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
      status = kErrors;
    }
  }
  return status;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  if (command == "check") return Check(arguments);
  if (command == "hash") return Hash(arguments);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  CoInitialize(nullptr);
  int status = kErrors;
  try {
    status = Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("out of memory\n", stderr);
  }
  std::fflush(stdout);
  CoUninitialize();
  return status;
}
