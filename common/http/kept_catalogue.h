#pragma once

#include <string>
#include <string_view>

namespace zvu {

class XHttpClient;

// The last complete catalogue response that carried validators (an ETag or a
// Last-Modified header), kept from one fetch to the next so that the next
// request can ask the server whether the catalogue changed
// (If-None-Match / If-Modified-Since). A server that sends neither header
// keeps nothing here, and every request stays unconditional.
// Used by one thread at a time.
class KeptCatalogue {
 public:
  // The request headers for the next fetch: one line, ended by "\r\n", for
  // each validator kept; empty when nothing is kept.
  std::wstring RequestHeaders() const;

  // Remembers a complete response: its body and the validators among its
  // headers. A response without a usable validator forgets what was kept.
  // Validators longer than 1024 characters or holding characters outside
  // printable ASCII are not usable: they are never sent back.
  void Remember(std::string_view text, std::wstring_view entityTag,
                std::wstring_view lastModified);
  // The same, with the validators read from the client's response.
  void RememberResponse(const XHttpClient& client, std::string_view text);

  void Forget();

  // Whether a body is kept, and the body (the text a 304 answer stands for).
  bool HasText() const { return kept_; }
  const std::string& Text() const { return text_; }
  const std::wstring& EntityTag() const { return entityTag_; }
  const std::wstring& LastModified() const { return lastModified_; }

 private:
  bool kept_ = false;
  std::string text_;
  std::wstring entityTag_;
  std::wstring lastModified_;
};

}  // namespace zvu
