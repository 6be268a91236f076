#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zvu::test {

// A scratch key below HKEY_CURRENT_USER that stands in for a classes root;
// it is created empty for each test and removed afterwards.
class RegistryTestRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kPath);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &root_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (root_ != nullptr) RegCloseKey(root_);
    RegDeleteTreeA(HKEY_CURRENT_USER, kPath);
  }

  HKEY Root() const { return root_; }

  bool KeyExists(const std::string& path) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  std::optional<std::string> ReadText(const std::string& path, const char* name) const {
    char data[1024];
    DWORD size = sizeof(data);
    DWORD type = 0;
    if (RegGetValueA(root_, path.c_str(), name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
      return std::nullopt;
    }
    return std::string(data);
  }

  void WriteText(const std::string& path, const char* name, const std::string& text) {
    ASSERT_EQ(RegSetKeyValueA(root_, path.c_str(), name, REG_SZ, text.c_str(),
                              static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }

  DWORD ValueCount(const std::string& path) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return count;
  }

 private:
  static constexpr char kPath[] = "Software\\ZelkoVuroUpdateTests\\ClassesRoot";
  HKEY root_ = nullptr;
};

}  // namespace zvu::test
