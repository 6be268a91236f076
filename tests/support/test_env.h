#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What the test script tells the test programs about the isolated environment.
namespace zvu::test {

// Linux folder shared with the fixture server (catalogue and served files),
// and the same folder as Wine sees it (through drive Z:). Empty outside the
// test environment.
std::string FixtureDirUnix();
std::string FixtureDirWindows();

// The scratch folder of this run of the test environment (ZVU_ENV_DIR) as
// Wine sees it (through drive Z:); empty outside the test environment.
std::string EnvDirWindows();

// Writes a file below the fixture folder (relative path with '/'), creating
// folders as needed. Returns false on failure.
bool WriteFixtureFile(const std::string& relativePath, const std::string& contents);

// The text of a whole file, or empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Lines of the fixture server's request log, and how many there are.
std::vector<std::string> ServedRequests();
size_t ServedRequestCount();

// Lines of the fixture server's catalogue log: one per catalogue request,
// "<status> <If-None-Match> <If-Modified-Since>" with "-" for a header the
// request did not carry.
std::vector<std::string> CatalogueRequests();

}  // namespace zvu::test
