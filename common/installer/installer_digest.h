#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "held_file.h"

namespace zvu {

// What the check of a downloaded installer against the SHA-256 that the
// catalogue lists for it found.
enum class DigestVerdict {
  NotListed,   // the catalogue lists no digest: nothing to check, the file stays
  Match,       // the file's digest is the listed one: the installer may run
  Mismatch,    // the file differs from the listed digest: the file was deleted
  Malformed,   // the listed value is no SHA-256 (64 hexadecimal digits): the file was deleted
  Unreadable,  // the file could not be read or hashed: the file was deleted (if it could be)
};

struct DigestCheck {
  DigestVerdict verdict = DigestVerdict::NotListed;
  // The file's SHA-256 in 64 lower-case hexadecimal digits; empty when it was
  // not computed (nothing listed, or the file could not be read).
  std::string computed;
  // Whether the file was deleted because the installer may not run.
  bool deleted = false;
  // The installer, held from the check on (see HeldFile) when it may run, so
  // that the file that was checked is the one that is started; the holder
  // hands it to the installer runner, which lets go once the installer's
  // process has started. Not held when the verdict stops the installer, or
  // when the file could not be opened (then nothing may start it either).
  HeldFile held;

  // Only a listed digest that matches, or no listed digest at all, lets the
  // installer run.
  bool MayRun() const {
    return verdict == DigestVerdict::NotListed || verdict == DigestVerdict::Match;
  }
};

// The SHA-256 of a whole file, in 64 lower-case hexadecimal digits, computed
// with the system's hashing functions (BCrypt). False when the file cannot be
// opened or read, or the hash cannot be computed. While it is read, the file
// is open for reading only and others may read it but not write it.
bool ComputeFileSha256(const std::string& path, std::string& digest);
// The same for a file the caller holds open (with read access): hashed from
// its first byte to its end, whatever the handle's position was. The caller
// chooses who may share the file meanwhile.
bool ComputeSha256(HANDLE file, std::string& digest);

// Whether text is a SHA-256 as a catalogue writes it: exactly 64 hexadecimal
// digits, either case, with nothing else around them.
bool IsSha256Text(std::string_view text);

// Checks a downloaded installer against the digest its catalogue entry lists
// (the entry's sha256 text; empty when it lists none). The listed digest is
// compared without regard to letter case; a listed value that is no SHA-256
// counts as a mismatch. The digest is computed through the handle that then
// holds the file (DigestCheck::held). Unless the verdict lets the installer
// run, the file is deleted before this returns, so that nothing can start it
// later.
DigestCheck VerifyInstallerDigest(const std::string& path, std::string_view listed);

// The client log's record of a check that stopped an installer:
//   "Installer of <product> rejected: expected sha256 <listed>, computed
//    <computed or "none (file unreadable)">; file deleted|not deleted, not run\r\n"
// in one line. The listed text is shown with control and non-ASCII bytes as
// '?' and cut after 80 characters, so a hostile catalogue cannot forge log
// lines. Empty for a verdict that lets the installer run.
std::string DigestFailureRecord(const std::string& productName, std::string_view listed,
                                const DigestCheck& check);

}  // namespace zvu
