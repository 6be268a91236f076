#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "catalogue_entry.h"
#include "install_pipe_protocol.h"

namespace zvu {

// The catalogue text of the update cycle's latest check that found an
// applicable update, shared between the cycle (main thread, Set) and the
// install pipe's request threads (Get). Every access holds lock_.
class LatestCatalogue {
 public:
  void Set(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    text_ = text;
  }
  std::string Get() const {
    std::lock_guard<std::mutex> guard(lock_);
    return text_;
  }

 private:
  mutable std::mutex lock_;
  std::string text_;  // guarded by lock_
};

// Where the install pipe finds the catalogue: the text the service holds,
// and a fresh fetch. Both are called on request threads, possibly several at
// once.
class InstallCatalogueSource {
 public:
  virtual ~InstallCatalogueSource() = default;
  // The latest text the service holds; empty when it holds none.
  virtual std::string Held() = 0;
  // Fetches the catalogue from the update server. False when none arrived
  // (or stopEvent was set meanwhile).
  virtual bool Fetch(std::string& text, HANDLE stopEvent) = 0;
};

// The service's own: the latest check's text, and the check's HTTPS fetch.
class ServiceCatalogueSource final : public InstallCatalogueSource {
 public:
  explicit ServiceCatalogueSource(std::shared_ptr<LatestCatalogue> latest)
      : latest_(std::move(latest)) {}
  std::string Held() override { return latest_->Get(); }
  bool Fetch(std::string& text, HANDLE stopEvent) override;

 private:
  std::shared_ptr<LatestCatalogue> latest_;
};

// What the catalogue says about one requested update.
enum class LookupOutcome {
  kVerified,       // listed with a sha256, and applies to the installed version
  kNotListed,      // no update of that product and version (or no catalogue)
  kNoDigest,       // listed without a well-formed sha256
  kNotApplicable,  // listed, but not newer within the installed major version
};

// Looks for the update of exactly that product name and version (all four
// numbers) in the catalogue text. On kVerified *found is the catalogue's
// entry. Parsing initialises COM on the calling thread.
LookupOutcome LookUpUpdate(const std::string& catalogueText, const InstallRequest& request,
                           UpdateEntry* found);

// The same, in the held text first and, when that does not list it, in a
// fresh fetch: a catalogue newer than the service's latest check may list it.
LookupOutcome FindRequestedUpdate(InstallCatalogueSource& source, const InstallRequest& request,
                                  HANDLE stopEvent, UpdateEntry* found);

}  // namespace zvu
