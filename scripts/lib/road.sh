# The steps of the update road under Wine, shared by the demo
# (scripts/road/run-inside.sh) and its acceptance test (tests/road/). Source
# it inside the isolated environment after e2e.sh and wizard_ui.sh.
. "$(dirname "${BASH_SOURCE[0]}")/msiexec_standin.sh"

# road_publish <catalogue template> <alpha-1.1.msi> <setup program> [<broken.msi>]:
# puts the installers on the update server (the setup program as
# beta-2.1-setup.exe, the broken package as gamma-1.1.msi) and serves the
# catalogue with the host, sizes and digests filled in.
road_publish() {
  local files=$ZVU_FIXTURE_DIR/files
  cp "$2" "$files/alpha-1.1.msi"
  cp "$3" "$files/beta-2.1-setup.exe"
  [ -n "${4:-}" ] && cp "$4" "$files/gamma-1.1.msi"
  local fill=(-e "s/@UPDATE_HOST@/$ZVU_UPDATE_HOST/g") file key
  for file in alpha-1.1.msi beta-2.1-setup.exe gamma-1.1.msi; do
    [ -f "$files/$file" ] || continue
    key=$(echo "${file%%[-.]*}" | tr '[:lower:]' '[:upper:]')
    fill+=(-e "s/@${key}_SIZE@/$(stat -c %s "$files/$file")/g"
           -e "s/@${key}_SHA256@/$(sha256sum "$files/$file" | cut -c1-64)/g")
  done
  sed "${fill[@]}" "$1" > "$ZVU_FIXTURE_DIR/update.xml"
}

# road_publish_verified <catalogue template> <setup program>: puts the setup
# program on the update server as beta-2.2-setup.exe and serves the
# catalogue with the host, its size and its digest filled in.
road_publish_verified() {
  local file=$ZVU_FIXTURE_DIR/files/beta-2.2-setup.exe
  cp "$2" "$file"
  sed -e "s/@UPDATE_HOST@/$ZVU_UPDATE_HOST/g" -e "s/@BETA_SIZE@/$(stat -c %s "$file")/g" \
    -e "s/@BETA_SHA256@/$(sha256sum "$file" | cut -c1-64)/g" "$1" > "$ZVU_FIXTURE_DIR/update.xml"
}

# The service's download folder.
service_downloads="$WINEPREFIX/drive_c/ProgramData/Zelko/VuroUpdate/Downloads"

# The client's download folder, "zelko updates" in the temporary folder of
# the user it runs as.
download_folders() { find "$WINEPREFIX/drive_c" -type d -iname 'zelko updates' 2>/dev/null; }

# finish_lines <names...>: selects each row of the finish page in turn and
# prints "<name>: <result line>".
finish_lines() {
  local row=0 name
  for name in "$@"; do
    echo "$name: $(result_line "$row")"
    row=$((row + 1))
  done
}
