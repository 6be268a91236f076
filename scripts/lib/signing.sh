# Authenticode signing of the package's files with osslsigncode, for
# scripts/package.sh and its tests. Needs openssl and osslsigncode, no Wine.
#
# The certificate comes from the environment of the caller:
#   ZVU_SIGN_PFX       the maker's code-signing certificate and key (PKCS#12);
#   ZVU_SIGN_PASSWORD  its password (may be empty, but must be set);
#   ZVU_TIMESTAMP_URL  an RFC 3161 time-stamping server, when one is wanted.
# Without ZVU_SIGN_PFX a test certificate is used, made once in the build
# folder (signing/) by a test CA of its own; files signed with it verify
# only against that CA (test-signing-ca.pem beside the package).

. "$(dirname "${BASH_SOURCE[0]}")/test_ca.sh"

signing_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# What Windows shows as the signed program's or package's name.
signing_description="Zelko Vuro Update"

# signing_test_certificate <folder>: the test CA (ca.pem), the code-signing
# certificate it issued (codesign.pfx) and the PFX's password (codesign.pass)
# in the folder, made anew unless all three are there and both certificates
# stay valid for another day. The folder is readable by its owner only.
signing_test_certificate() {
  local folder=$1
  if [ -s "$folder/codesign.pfx" ] && [ -s "$folder/codesign.pass" ] &&
     openssl x509 -checkend 86400 -noout -in "$folder/ca.pem" > /dev/null 2>&1 &&
     openssl x509 -checkend 86400 -noout -in "$folder/codesign.pem" > /dev/null 2>&1; then
    return 0
  fi
  rm -rf "$folder"
  (
    umask 077
    mkdir -p "$folder" || exit 1
    make_test_ca "$folder" "Zelko Vuro Update Test Signing CA" 30 || exit 1
    read -r start end <<< "$(ca_dates 30)"
    ca_issue "$folder" codesign "Zelko Vuro Update (test signature)" "$start" "$end" \
      -addext "basicConstraints=critical,CA:FALSE" \
      -addext "keyUsage=critical,digitalSignature" \
      -addext "extendedKeyUsage=codeSigning" || exit 1
    # A password of random letters, written by the shell itself (no process
    # sees it on its command line).
    password=$(head -c 24 /dev/urandom | base64 | tr -d '\n')
    printf '%s' "$password" > "$folder/codesign.pass" || exit 1
    openssl pkcs12 -export -inkey "$folder/codesign.key" -in "$folder/codesign.pem" \
      -certfile "$folder/ca.pem" -name "$signing_description" \
      -passout "file:$folder/codesign.pass" -out "$folder/codesign.pfx" 2>/dev/null || exit 1
    rm -f "$folder/codesign.key" "$folder/ca.key"
  ) || { rm -rf "$folder"; echo "signing: cannot make the test certificate in $folder" >&2; return 1; }
}

# sign_file <pfx> <password file> <input> <output>: the input signed (SHA-256,
# with a time stamp when ZVU_TIMESTAMP_URL is set) into the output, which
# must not exist yet. osslsigncode's messages go to standard error on failure.
sign_file() {
  local pfx=$1 password_file=$2 input=$3 output=$4 messages
  local options=(sign -pkcs12 "$pfx" -readpass "$password_file" -h sha256 -n "$signing_description")
  if [ -n "${ZVU_TIMESTAMP_URL:-}" ]; then options+=(-ts "$ZVU_TIMESTAMP_URL"); fi
  if ! messages=$(osslsigncode "${options[@]}" -in "$input" -out "$output" 2>&1); then
    echo "signing: osslsigncode could not sign $input:" >&2
    echo "$messages" >&2
    rm -f "$output"
    return 1
  fi
}

# verify_signature <file> <CA file>: the file's signature is intact and its
# certificate chains to the CA (osslsigncode verify, messages discarded).
verify_signature() {
  osslsigncode verify -CAfile "$2" -in "$1" > /dev/null 2>&1
}

# The built files that the package signs, relative to the build folder.
signed_service=service/host/ZelkoVuroUpdate.exe
signed_client=client/ZelkoVuroUpdateGui.exe
signed_checker=tools/catalogue_checker/ZelkoVuroCatalogue.exe
signed_hooks_x64=customactions/MsiHooks.dll
signed_hooks_x86=msihooks-x86/customactions/MsiHooks.dll

# package_signed <build folder> <output folder>: copies of the built programs
# signed, the install package built from the signed programs and then signed
# itself, published into the output folder as
#   ZelkoVuroUpdate-<version>.msi      (service and client inside)
#   ZelkoVuroCatalogue.exe
#   MsiHooks/x64/MsiHooks.dll, MsiHooks/x86/MsiHooks.dll
#   test-signing-ca.pem                (only when signed with the test certificate)
# The build folder's own files stay unsigned. Nothing is published unless
# every file was signed; the package's path is printed.
package_signed() {
  local build=$1 output=$2
  (
    # The password stays a variable of this shell: no program started here
    # finds it in its environment.
    export -n ZVU_SIGN_PASSWORD
    umask 077
    stage=$(mktemp -d) || exit 1
    trap 'rm -rf "$stage"' EXIT
    version=$(tr -d ' \r\n' < "$signing_root/packaging/version")

    local_ca=
    if [ -n "${ZVU_SIGN_PFX:-}" ]; then
      [ -f "$ZVU_SIGN_PFX" ] || { echo "signing: ZVU_SIGN_PFX names no file ($ZVU_SIGN_PFX)" >&2; exit 1; }
      [ -n "${ZVU_SIGN_PASSWORD+set}" ] || { echo "signing: ZVU_SIGN_PFX is set, ZVU_SIGN_PASSWORD is not (set it empty for a PFX without one)" >&2; exit 1; }
      pfx=$ZVU_SIGN_PFX
      password_file=$stage/password
      printf '%s' "$ZVU_SIGN_PASSWORD" > "$password_file" || exit 1
    else
      signing_test_certificate "$build/signing" || exit 1
      pfx=$build/signing/codesign.pfx
      password_file=$build/signing/codesign.pass
      local_ca=$build/signing/ca.pem
    fi

    mkdir -p "$stage/signed/MsiHooks/x64" "$stage/signed/MsiHooks/x86" || exit 1
    sign_built() {  # <file in the build folder> <name in the stage>
      [ -f "$build/$1" ] || { echo "signing: $build/$1 is missing; build it first" >&2; return 1; }
      sign_file "$pfx" "$password_file" "$build/$1" "$stage/signed/$2"
    }
    sign_built "$signed_service" ZelkoVuroUpdate.exe &&
      sign_built "$signed_client" ZelkoVuroUpdateGui.exe &&
      sign_built "$signed_checker" ZelkoVuroCatalogue.exe &&
      sign_built "$signed_hooks_x64" MsiHooks/x64/MsiHooks.dll &&
      sign_built "$signed_hooks_x86" MsiHooks/x86/MsiHooks.dll || exit 1

    package=ZelkoVuroUpdate-$version.msi
    sh "$signing_root/packaging/build-msi.sh" "$version" "$stage/signed/ZelkoVuroUpdate.exe" \
      "$stage/signed/ZelkoVuroUpdateGui.exe" "$stage/unsigned.msi" || exit 1
    sign_file "$pfx" "$password_file" "$stage/unsigned.msi" "$stage/signed/$package" || exit 1
    # The programs are published inside the package only.
    rm -f "$stage/signed/ZelkoVuroUpdate.exe" "$stage/signed/ZelkoVuroUpdateGui.exe"
    if [ -n "$local_ca" ]; then cp "$local_ca" "$stage/signed/test-signing-ca.pem" || exit 1; fi

    # Publish: each file under a temporary name first, so that no half-copied
    # file ever carries a published name.
    umask 022
    mkdir -p "$output/MsiHooks/x64" "$output/MsiHooks/x86" || exit 1
    rm -f "$output/test-signing-ca.pem"
    (cd "$stage/signed" && find . -type f) | while read -r file; do
      cp "$stage/signed/$file" "$output/$file.tmp" && chmod 644 "$output/$file.tmp" &&
        mv "$output/$file.tmp" "$output/$file" || exit 1
    done || exit 1
    echo "$output/$package"
  )
}
