#include "installer_digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "unique_handle.h"

namespace zvu {
namespace {

constexpr size_t kSha256Bytes = 32;
constexpr size_t kSha256Digits = 2 * kSha256Bytes;
constexpr DWORD kReadChunk = 64 * 1024;
constexpr size_t kShownListedChars = 80;

bool Succeeded(NTSTATUS status) { return status >= 0; }

// BCrypt's algorithm and hash handles, closed in the right order.
class Sha256Hash {
 public:
  Sha256Hash() {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      algorithm_ = nullptr;
      return;
    }
    // Since Windows 7 BCrypt allocates the hash object itself when none is given.
    if (!Succeeded(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) {
      hash_ = nullptr;
    }
  }
  ~Sha256Hash() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  Sha256Hash(const Sha256Hash&) = delete;
  Sha256Hash& operator=(const Sha256Hash&) = delete;

  bool usable() const { return hash_ != nullptr; }
  bool Add(const unsigned char* data, DWORD size) {
    return Succeeded(BCryptHashData(hash_, const_cast<PUCHAR>(data), size, 0));
  }
  bool Finish(unsigned char (&digest)[kSha256Bytes]) {
    return Succeeded(BCryptFinishHash(hash_, digest, kSha256Bytes, 0));
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

std::string Hex(const unsigned char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * size);
  for (size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameDigest(std::string_view listed, std::string_view computed) {
  if (listed.size() != computed.size()) return false;
  for (size_t i = 0; i < listed.size(); ++i) {
    if (Lower(listed[i]) != computed[i]) return false;
  }
  return true;
}

std::string Printable(std::string_view text) {
  std::string shown;
  for (char c : text.substr(0, kShownListedChars)) {
    const auto byte = static_cast<unsigned char>(c);
    shown.push_back(byte >= 0x20 && byte < 0x7F ? c : '?');
  }
  if (text.size() > kShownListedChars) shown += "...";
  return shown;
}

}  // namespace

bool ComputeFileSha256(const std::string& path, std::string& digest) {
  digest.clear();
  const HeldFile file = HeldFile::Open(path);
  return file.IsHeld() && ComputeSha256(file.Handle(), digest);
}

bool ComputeSha256(HANDLE file, std::string& digest) {
  digest.clear();
  try {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    Sha256Hash hash;
    if (!hash.usable()) return false;
    std::vector<unsigned char> chunk(kReadChunk);
    for (;;) {
      DWORD read = 0;
      if (!ReadFile(file, chunk.data(), kReadChunk, &read, nullptr)) return false;
      if (read == 0) break;
      if (!hash.Add(chunk.data(), read)) return false;
    }
    unsigned char bytes[kSha256Bytes];
    if (!hash.Finish(bytes)) return false;
    digest = Hex(bytes, kSha256Bytes);
    return true;
  } catch (const std::bad_alloc&) {
    digest.clear();
    return false;
  }
}

bool IsSha256Text(std::string_view text) {
  if (text.size() != kSha256Digits) return false;
  for (char c : text) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

DigestCheck VerifyInstallerDigest(const std::string& path, std::string_view listed) {
  DigestCheck check;
  check.held = HeldFile::Open(path);
  if (listed.empty()) return check;  // NotListed: the file stays as it is

  if (!check.held.IsHeld() || !ComputeSha256(check.held.Handle(), check.computed)) {
    check.verdict = DigestVerdict::Unreadable;
  } else if (!IsSha256Text(listed)) {
    check.verdict = DigestVerdict::Malformed;
  } else {
    check.verdict = SameDigest(listed, check.computed) ? DigestVerdict::Match
                                                       : DigestVerdict::Mismatch;
  }
  if (!check.MayRun()) {
    // The hold ends first: the file is not shared for deleting.
    check.held.Release();
    check.deleted = DeleteFileA(path.c_str()) != FALSE;
  }
  return check;
}

std::string DigestFailureRecord(const std::string& productName, std::string_view listed,
                                const DigestCheck& check) {
  if (check.MayRun()) return {};
  try {
    std::string record = "Installer of " + productName + " rejected: expected sha256 " +
                         Printable(listed) + ", computed " +
                         (check.computed.empty() ? std::string("none (file unreadable)")
                                                 : check.computed) +
                         (check.deleted ? "; file deleted, not run\r\n"
                                        : "; file not deleted, not run\r\n");
    return record;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace zvu
