#include "test_env.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zvu::test {

namespace {

// A Linux path as Wine sees it through drive Z:; empty stays empty.
std::string OnDriveZ(std::string path) {
  if (path.empty()) return path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

}  // namespace

std::string FixtureDirUnix() {
  const char* dir = std::getenv("ZVU_FIXTURE_DIR");
  return dir ? dir : "";
}

std::string FixtureDirWindows() { return OnDriveZ(FixtureDirUnix()); }

std::string EnvDirWindows() {
  const char* dir = std::getenv("ZVU_ENV_DIR");
  return OnDriveZ(dir ? dir : "");
}

bool WriteFixtureFile(const std::string& relativePath, const std::string& contents) {
  std::string base = FixtureDirWindows();
  if (base.empty()) return false;
  std::string path = base;
  std::string part;
  for (char c : relativePath) {
    if (c == '/') {
      path += '\\' + part;
      CreateDirectoryA(path.c_str(), nullptr);
      part.clear();
    } else {
      part += c;
    }
  }
  path += '\\' + part;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  return static_cast<bool>(out);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> ServedRequests() {
  std::istringstream log(ReadWholeFile(FixtureDirWindows() + "\\requests.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

size_t ServedRequestCount() { return ServedRequests().size(); }

std::vector<std::string> CatalogueRequests() {
  std::istringstream log(ReadWholeFile(FixtureDirWindows() + "\\catalogue.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

}  // namespace zvu::test
