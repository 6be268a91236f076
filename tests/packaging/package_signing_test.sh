#!/bin/bash
# The signed deliverables of scripts/package.sh (its signing and publishing
# step, package_signed, on the built files of this build):
#   - with the test certificate: every published file, and both programs
#     inside the package, verify against the test CA and against no other;
#     a file changed by one byte after signing fails; the build's own files
#     stay unsigned; a second run keeps the same test CA;
#   - with a maker's certificate (a stand-in PFX from the environment): the
#     files verify against its CA; its password reaches osslsigncode only in
#     a file readable by its owner, never on a command line or in its
#     environment; a wrong or missing password publishes nothing;
#   - with a time-stamping server (a stand-in): every file carries its time
#     stamp; a server that cannot be reached publishes nothing;
#   - the signed package installs under Wine's msiexec, the installed programs
#     are the signed ones, and the signed service runs.
#
#   package_signing_test.sh <build folder>
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/e2e.sh"
output_through_file "$@"
. "$here/../../scripts/lib/signing.sh"
: "${ZVU_ENV_DIR:?run through scripts/test.sh}"
built=$1
unset ZVU_SIGN_PFX ZVU_SIGN_PASSWORD ZVU_TIMESTAMP_URL
version=$(tr -d ' \r\n' < "$here/../../packaging/version")
package_name=ZelkoVuroUpdate-$version.msi
scratch=$(mktemp -d)
uninstall_needed=
tsa_pid=

cleanup() {
  if [ -n "$tsa_pid" ]; then kill "$tsa_pid" 2>/dev/null; fi
  if [ -n "$uninstall_needed" ]; then msiexec_run /x "$dist/$package_name" "$scratch/remove.log"; fi
  remove_service
  end_clients
  rm -rf "$scratch" "$install_dir" "$service_log" "$client_log"
}
trap cleanup EXIT

# A build folder of links to this build's files, so that the test certificate
# is made in the scratch folder, not in the build folder.
build=$scratch/build
for file in "$signed_service" "$signed_client" "$signed_checker" "$signed_hooks_x64" "$signed_hooks_x86"; do
  mkdir -p "$build/$(dirname "$file")"
  ln -s "$built/$file" "$build/$file"
done

verifies() { verify_signature "$1" "$2"; }
fails_to_verify() { [ -f "$1" ] && ! verify_signature "$1" "$2"; }
# flip_byte <file> <offset>: the byte at the offset with its lowest bit flipped.
flip_byte() {
  local value
  value=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "\\$(printf '%03o' $((value ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
# changed_copy <file> <offset>: a copy of the file, one byte changed.
changed_copy() {
  local copy
  copy="$scratch/changed-$((++changes))-$(basename "$1")"
  cp "$1" "$copy" && flip_byte "$copy" "$2" && echo "$copy"
}
changes=0
# The published files, one a line, relative to the output folder.
published() { (cd "$1" && find . -type f | sed 's|^\./||' | sort); }

# --- The test certificate ------------------------------------------------------
dist=$scratch/dist
require "the package is signed with the test certificate" package_signed "$build" "$dist"
ca=$dist/test-signing-ca.pem
require "the test CA is published beside the package" test -s "$ca"
expected="MsiHooks/x64/MsiHooks.dll
MsiHooks/x86/MsiHooks.dll
ZelkoVuroCatalogue.exe
$package_name
test-signing-ca.pem"
check "the package, the checker and both MsiHooks.dll are published ($(published "$dist" | paste -sd ' '))" \
  [ "$(published "$dist")" = "$expected" ]
while read -r file; do
  check "$file verifies against the test CA" verifies "$dist/$file" "$ca"
  check "$file does not verify against another CA" fails_to_verify "$dist/$file" "$ZVU_ENV_DIR/certs/ca.pem"
done < <(published "$dist" | grep -v '\.pem$')

contents=$scratch/contents
mkdir -p "$contents"
require "the package's files can be extracted" msiextract -C "$contents" "$dist/$package_name" > /dev/null
for program in ZelkoVuroUpdate.exe ZelkoVuroUpdateGui.exe; do
  packaged=$(find "$contents" -name "$program")
  check "the package holds $program, signed" verifies "$packaged" "$ca"
done

for file in "$signed_service" "$signed_client" "$signed_checker" "$signed_hooks_x64" "$signed_hooks_x86"; do
  check "the build's $file stays unsigned" fails_to_verify "$built/$file" "$ca"
done

# A byte in the middle of a program lies in its sections, which the signature
# covers; in the package, a byte of the embedded cabinet (the stream that
# begins with "MSCF").
checker=$dist/ZelkoVuroCatalogue.exe
hooks_x86=$dist/MsiHooks/x86/MsiHooks.dll
cabinet=$(grep -m1 -abo MSCF "$dist/$package_name" | cut -d: -f1)
require "the package holds a cabinet" [ -n "$cabinet" ]
check "the checker changed by one byte fails" \
  fails_to_verify "$(changed_copy "$checker" $(($(stat -c %s "$checker") / 2)))" "$ca"
check "the 32-bit MsiHooks.dll changed by one byte fails" \
  fails_to_verify "$(changed_copy "$hooks_x86" $(($(stat -c %s "$hooks_x86") / 2)))" "$ca"
check "the package changed by one byte of its cabinet fails" \
  fails_to_verify "$(changed_copy "$dist/$package_name" $((cabinet + 64)))" "$ca"

cp "$ca" "$scratch/first-ca.pem"
require "a second run signs again" package_signed "$build" "$scratch/dist-again" > /dev/null
check "it keeps the test CA, so that earlier files still verify" cmp -s "$ca" "$scratch/dist-again/test-signing-ca.pem"

# --- A maker's certificate -----------------------------------------------------
# A stand-in for the maker's PFX, issued by a CA of its own, with a password
# that a shell would split and expand.
maker=$scratch/maker
make_test_ca "$maker" "Stand-in Maker CA" 2
read -r start end <<< "$(ca_dates 2)"
ca_issue "$maker" codesign "Stand-in Maker" "$start" "$end" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning"
maker_password='se cret $HOME "quoted" 1'
printf '%s' "$maker_password" > "$scratch/maker-password"
openssl pkcs12 -export -inkey "$maker/codesign.key" -in "$maker/codesign.pem" -certfile "$maker/ca.pem" \
  -passout "file:$scratch/maker-password" -out "$maker/codesign.pfx"
rm -f "$scratch/maker-password"

# osslsigncode as the package step sees it: the real one, after writing down
# its arguments and the mode of the password file it is given.
mkdir -p "$scratch/bin"
cat > "$scratch/bin/osslsigncode" <<STANDIN
#!/bin/bash
printf '%s\n' "\$*" >> "$scratch/osslsigncode-arguments"
if [ -n "\${ZVU_SIGN_PASSWORD+set}" ]; then echo sign >> "$scratch/password-in-environment"; fi
previous=
for argument in "\$@"; do
  if [ "\$previous" = -readpass ]; then stat -c %a "\$argument" >> "$scratch/password-file-modes"; fi
  previous=\$argument
done
exec $(command -v osslsigncode) "\$@"
STANDIN
chmod +x "$scratch/bin/osslsigncode"
with_maker() {  # with_maker <password> <command...>: with ZVU_SIGN_PFX and ZVU_SIGN_PASSWORD set
  local password=$1
  shift
  ZVU_SIGN_PFX=$maker/codesign.pfx ZVU_SIGN_PASSWORD=$password PATH="$scratch/bin:$PATH" "$@"
}

maker_dist=$scratch/dist-maker
require "the package is signed with the maker's certificate" \
  with_maker "$maker_password" package_signed "$build" "$maker_dist"
check "no test CA is published" test ! -e "$maker_dist/test-signing-ca.pem"
while read -r file; do
  check "$file verifies against the maker's CA" verifies "$maker_dist/$file" "$maker/ca.pem"
  check "$file does not verify against the test CA" fails_to_verify "$maker_dist/$file" "$ca"
done < <(published "$maker_dist")
check "osslsigncode signed six files" [ "$(grep -c '^sign ' "$scratch/osslsigncode-arguments")" = 6 ]
password_not_passed() { ! grep -qF "$maker_password" "$scratch/osslsigncode-arguments"; }
check "the password is on no command line" password_not_passed
check "the password is in no environment of osslsigncode" test ! -e "$scratch/password-in-environment"
check "the password comes in a file only its owner reads ($(sort -u "$scratch/password-file-modes" | paste -sd ' '))" \
  [ "$(sort -u "$scratch/password-file-modes")" = 600 ]

nothing_published() { [ -z "$(published "$1" 2>/dev/null)" ]; }
with_maker 'wrong' package_signed "$build" "$scratch/dist-wrong" > /dev/null 2>&1
check "a wrong password publishes nothing" nothing_published "$scratch/dist-wrong"
ZVU_SIGN_PFX=$maker/codesign.pfx package_signed "$build" "$scratch/dist-none" > /dev/null 2>&1
check "a PFX without ZVU_SIGN_PASSWORD publishes nothing" nothing_published "$scratch/dist-none"

# --- A time-stamping server -----------------------------------------------------
tsa=$scratch/tsa
make_test_ca "$tsa" "Stand-in TSA CA" 2
ca_issue "$tsa" tsa "Stand-in TSA" "$start" "$end" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=critical,timeStamping"
python3 "$here/timestamp_server.py" "$tsa" > "$scratch/tsa.log" 2>&1 &
tsa_pid=$!
require "the stand-in time-stamping server listens" wait_for 20 test -s "$tsa/port"
stamped() {  # stamped <file>: its signature carries a time stamp of the stand-in
  osslsigncode verify -CAfile "$ca" -TSA-CAfile "$tsa/ca.pem" -in "$1" 2>/dev/null |
    grep -q 'Timestamp Server Signature verification: ok'
}
stamped_dist=$scratch/dist-stamped
stamp_with() { ZVU_TIMESTAMP_URL=$1 package_signed "$build" "$2"; }  # stamp_with <URL> <output folder>
require "the package is signed with time stamps" \
  stamp_with "http://127.0.0.1:$(cat "$tsa/port")" "$stamped_dist"
while read -r file; do
  check "$file carries a verified time stamp" stamped "$stamped_dist/$file"
done < <(published "$stamped_dist" | grep -v '\.pem$')
check "six files were stamped" [ "$(wc -l < "$tsa/requests")" = 6 ]
unstamped() { ! stamped "$1"; }
check "without a server the package is not stamped" unstamped "$dist/$package_name"
stamp_with http://127.0.0.1:9 "$scratch/dist-unstamped" > /dev/null 2>&1
check "a server that cannot be reached publishes nothing" nothing_published "$scratch/dist-unstamped"
kill "$tsa_pid"
tsa_pid=

# --- The signed package under Wine's msiexec -------------------------------------
remove_service
end_clients
rm -rf "$install_dir"
require "no service entry or process of an earlier test is left" wait_for 30 no_service_left
uninstall_needed=1
require "msiexec /i of the signed package succeeds" msiexec_run /i "$dist/$package_name" "$scratch/install.log"
for program in ZelkoVuroUpdate.exe ZelkoVuroUpdateGui.exe; do
  check "the installed $program verifies against the test CA" verifies "$install_dir/$program" "$ca"
  check "the installed $program is the packaged one" cmp -s "$install_dir/$program" "$(find "$contents" -name "$program")"
done
check "the signed service runs" wait_for 30 service_running
check "msiexec /x of the signed package succeeds" msiexec_run /x "$dist/$package_name" "$scratch/remove.log"
uninstall_needed=
check "the program folder is gone" test ! -e "$install_dir"

[ "$e2e_failures" = 0 ] || explain_failure
e2e_finish
