#include "catalogue_reader.h"

#include <cstring>

#include "pipe_protocol.h"

namespace zvu {

void ReadCatalogues(HANDLE readEnd, const std::function<void(const std::string&)>& onCatalogue) {
  std::string text;
  for (;;) {
    char chunk[kClientReadChunk + 1] = {};
    DWORD got = 0;
    if (!ReadFile(readEnd, chunk, kClientReadChunk, &got, nullptr)) return;
    // The chunk counts up to its first NUL, as the service never sends one.
    char* marker = std::strchr(chunk, static_cast<char>(kCatalogueEndMarker));
    if (marker == nullptr) {
      text += chunk;
      continue;
    }
    *marker = '\0';
    text += chunk;
    onCatalogue(text);
    text.clear();
  }
}

}  // namespace zvu
