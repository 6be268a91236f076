#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace zvu {

// Reads catalogues from the read end of the catalogue pipe until a read
// fails: chunks of at most 100 bytes, each kept up to its first NUL byte,
// a catalogue ending at the byte 0xFF (the rest of that chunk is dropped).
// Each complete catalogue goes to onCatalogue.
//
// A failed read means the pipe is broken for good (the client keeps its own
// write end open, so a read never fails merely because the service went
// away): the text gathered since the last marker is incomplete and is
// dropped, nothing is announced, and the function returns.
void ReadCatalogues(HANDLE readEnd, const std::function<void(const std::string&)>& onCatalogue);

}  // namespace zvu
