#include "install_road.h"

#include "unique_handle.h"

namespace zvu {

bool TokenRunsInstallersDirectly(HANDLE token) {
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size)) return false;
  if (type == TokenElevationTypeFull) return true;
  if (type != TokenElevationTypeDefault) return false;  // limited: filtered by user account control

  // Not split (user account control off, or a standard user, or the built-in
  // administrator): the Administrators group decides. CheckTokenMembership
  // wants an impersonation token; identification level is enough for it.
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof administrators;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize)) {
    return false;
  }
  UniqueHandle identification;
  if (!DuplicateToken(token, SecurityIdentification, identification.put())) return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(identification.get(), administrators, &member)) return false;
  return member != FALSE;
}

bool ProcessRunsInstallersDirectly() {
  // The pseudo handle carries PROCESS_ALL_ACCESS; the token is opened with
  // what TokenRunsInstallersDirectly needs.
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, token.put())) {
    return false;
  }
  return TokenRunsInstallersDirectly(token.get());
}

InstallRoad ChooseInstallRoad(bool runsInstallersDirectly, bool verified, bool serviceAvailable) {
  if (runsInstallersDirectly) return InstallRoad::Direct;
  if (verified && serviceAvailable) return InstallRoad::Service;
  return InstallRoad::Consent;
}

}  // namespace zvu
