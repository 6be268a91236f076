# The msiexec stand-in (tests/fixtures/installers/msiexec_standin), a test
# piece that is never part of the package. Wine's msiexec writes no
# completion line into its log, so a package that installed well would read
# as failed to the client. The stand-in installs through Wine's own engine
# (msi.dll) and completes the log.
#
# It takes the place of Wine's msiexec.exe in the prefix's system folder,
# where the client starts msiexec from; Wine runs a program put there under
# the name of one of its own only with the DLL override msiexec.exe=native.
# The override is written into the prefix's registry, so that programs a
# service starts get it too. Every start of msiexec in the prefix, bare or by
# its path, then reaches the stand-in, so a test that places it takes the
# lock that every test running msiexec takes (zvu_installer_log_folder).
# Source it inside the isolated environment.

msiexec_standin_target() { echo "$WINEPREFIX/drive_c/windows/system32/msiexec.exe"; }

# place_msiexec_standin <stand-in msiexec.exe>: Wine's own program is kept
# beside it (msiexec.exe.wine) until remove_msiexec_standin puts it back.
place_msiexec_standin() {
  local target
  target=$(msiexec_standin_target)
  [ -f "$target.wine" ] || cp "$target" "$target.wine" || return 1
  cp "$1" "$target" || return 1
  wine reg add 'HKCU\Software\Wine\DllOverrides' /v msiexec.exe /d native /f \
    < /dev/null > /dev/null 2>&1
}

remove_msiexec_standin() {
  local target
  target=$(msiexec_standin_target)
  wine reg delete 'HKCU\Software\Wine\DllOverrides' /v msiexec.exe /f < /dev/null > /dev/null 2>&1
  if [ -f "$target.wine" ]; then mv -f "$target.wine" "$target"; fi
}
