#pragma once

#include <optional>
#include <string>
#include <utility>

#include "admin_base.h"

namespace zvu::hooks {

// The outcome of reading a string value: read, absent (no such value or key),
// or present but unreadable (busy key, access denied, a store error).
enum class ReadOutcome { Read, Absent, Unreadable };

struct StringRead {
  ReadOutcome outcome = ReadOutcome::Unreadable;
  std::wstring text;
};

// One connection to the web server's configuration store for the length of
// one action. Every step opens the key it needs from the master root with a
// 200 ms time-out, does one thing and closes the key again.
class MetabaseSession {
 public:
  MetabaseSession();
  ~MetabaseSession();

  MetabaseSession(const MetabaseSession&) = delete;
  MetabaseSession& operator=(const MetabaseSession&) = delete;

  bool IsOpen() const { return adminBase_ != nullptr; }

  StringRead ReadString(const std::wstring& path, DWORD id);
  bool WriteString(const std::wstring& path, DWORD id, const std::wstring& text);
  bool CreateKey(const std::wstring& parent, const std::wstring& name);
  bool RemoveKey(const std::wstring& path);
  bool KeyExists(const std::wstring& path);

  // The name of child number index of path below the master root.
  std::optional<std::wstring> ChildKey(const std::wstring& path, DWORD index);

  // A key held open for reading while its children are listed.
  class OpenedKey {
   public:
    OpenedKey(IMSAdminBaseW* adminBase, MetadataHandle handle)
        : adminBase_(adminBase), handle_(handle) {}
    ~OpenedKey();
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    OpenedKey(OpenedKey&& other) noexcept
        : adminBase_(std::exchange(other.adminBase_, nullptr)), handle_(other.handle_) {}
    OpenedKey& operator=(OpenedKey&&) = delete;
    std::optional<std::wstring> Child(DWORD index);

   private:
    IMSAdminBaseW* adminBase_;
    MetadataHandle handle_;
  };
  // Opens path for reading; nothing when it cannot be opened.
  std::optional<OpenedKey> OpenForReading(const std::wstring& path);

 private:
  bool Open(const std::wstring& path, DWORD access, MetadataHandle* handle);
  void Close(MetadataHandle handle);

  IMSAdminBaseW* adminBase_ = nullptr;
  bool comInitialised_ = false;
};

}  // namespace zvu::hooks
