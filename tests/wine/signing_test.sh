#!/bin/sh
# Builds the product exe signed with a throwaway code-signing certificate, then verifies the exe's
# signature and that of every image it embeds, each against that certificate alone:
#   signing_test.sh SOURCE_DIR WORK_DIR GENERATOR TOOLCHAIN_FILE BUILD_TYPE [OTHER_WIDTH_IMAGES]
# WORK_DIR keeps the build between runs; the certificate is new every run, so every image must be
# signed again by the build itself. OTHER_WIDTH_IMAGES, the other width's unsigned images of the
# calling build, spare this build its own second-width build: it signs them as it would its own.
set -eu
src=$1
work=$2
generator=$3
toolchain=$4
build_type=$5
other=${6:-}
here=$(cd "$(dirname "$0")" && pwd)

fail() {
    echo "signing_test: FAILED: $*"
    exit 1
}

for tool in openssl osslsigncode; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done

key=$work/key
build=$work/build
images=$work/extracted
rm -rf "$key" "$images"
mkdir -p "$build"
(umask 077 && mkdir "$key")

# A self-signed certificate for code signing only, and its key in a password-protected PFX.
cat >"$key/openssl.cnf" <<'EOF'
[req]
distinguished_name = subject
prompt = no
x509_extensions = code_signing
[subject]
CN = OvnK740FpgaUpdater throwaway test signer
[code_signing]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, codeSigning
subjectKeyIdentifier = hash
EOF
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -config "$key/openssl.cnf" \
    -keyout "$key/key.pem" -out "$key/cert.pem" >"$key/openssl.log" 2>&1 ||
    fail "openssl req: $(cat "$key/openssl.log")"
# The password holds a blank and a quote: it must never pass through a command line.
printf "throwaway pass'word %s" "$$" >"$key/password"
openssl pkcs12 -export -inkey "$key/key.pem" -in "$key/cert.pem" -out "$key/signer.pfx" \
    -passout "file:$key/password" >"$key/openssl.log" 2>&1 ||
    fail "openssl pkcs12: $(cat "$key/openssl.log")"
leaf=$(openssl x509 -in "$key/cert.pem" -outform DER | sha256sum | cut -d' ' -f1)

# Only the product exe and what it carries.
if ! cmake -S "$src" -B "$build" -G "$generator" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE="$build_type" -DOVN_TESTS=OFF -DOVN_BENCH=OFF \
    -DOVN_SIGN_PFX="$key/signer.pfx" -DOVN_SIGN_PASSWORD_FILE="$key/password" \
    -DOVN_ATTESTED_DRIVER64= -DOVN_ATTESTED_CAFILE= -DOVN_PAYLOAD_OTHER_DIR="$other" \
    >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"
    fail "configure"
fi
said=$(grep -c "Signing the shipped images" "$work/configure.log" || true)
[ "$said" = 1 ] || fail "the configure step said $said times that it signs"
! grep -q "Not signing" "$work/configure.log" || fail "a signing build says it does not sign"
if ! cmake --build "$build" --target OvnK740FpgaUpdater >"$work/build.log" 2>&1; then
    tail -n 60 "$work/build.log"
    fail "build"
fi
! grep -q "throwaway pass" "$work/build.log" || fail "the password shows in the build log"

exe=$build/OvnK740FpgaUpdater.exe
sh "$here/extract_pe_images.sh" "$exe" "$images" >"$work/extracted.txt" || fail "extraction"

# verify NAME FILE: the signature is good, SHA-256, and made with the throwaway certificate.
verify() {
    if ! osslsigncode verify -CAfile "$key/cert.pem" -require-leaf-hash "sha256:$leaf" -in "$2" \
        >"$work/verify.log" 2>&1; then
        cat "$work/verify.log"
        fail "$1 ($2) does not verify"
    fi
    grep -q "Message digest algorithm *: SHA256" "$work/verify.log" || fail "$1 is not signed with SHA-256"
    echo "signing_test: $1: $(grep -m1 "Signature verification" "$work/verify.log")," \
        "SHA256, $(grep -m1 "Leaf hash match" "$work/verify.log")"
}

# Each embedded image, by what its headers say it is, and the signed copy the build embedded.
signed=$build/payload/signed
for entry in driver32:OvnVxd32.sys driver64:OvnVxd64.sys library32:OvnVxd32.dll library64:OvnVxd64.dll \
    console32:dec740-32.exe console64:dec740-64.exe windowed32:OvnVxdUninstall.exe; do
    name=${entry%%:*}
    copy=${entry#*:}
    line=$(grep "^$name " "$work/extracted.txt") || fail "the exe embeds no $name image: $(cat "$work/extracted.txt")"
    cmp -s "$images/$name" "$signed/$copy" || fail "the embedded $name is not $signed/$copy"
    verify "$copy (embedded $name, $(echo "$line" | cut -d' ' -f3) bytes at offset $(echo "$line" | cut -d' ' -f2))" "$images/$name"
done
count=$(wc -l <"$work/extracted.txt")
[ "$count" = 7 ] || fail "the exe embeds $count images, expected 7: $(cat "$work/extracted.txt")"
verify "OvnK740FpgaUpdater.exe" "$exe"

# The check itself: a changed byte in a signed image, and the exe against a certificate that did not
# sign it, must fail.
cp "$images/driver64" "$work/tampered.sys"
printf 'X' | dd of="$work/tampered.sys" bs=1 seek=1024 conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile "$key/cert.pem" -in "$work/tampered.sys" >"$work/verify.log" 2>&1; then
    fail "a changed driver image still verifies"
fi
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -config "$key/openssl.cnf" \
    -keyout "$key/other-key.pem" -out "$key/other-cert.pem" >"$key/openssl.log" 2>&1 ||
    fail "openssl req: $(cat "$key/openssl.log")"
if osslsigncode verify -CAfile "$key/other-cert.pem" -in "$exe" >"$work/verify.log" 2>&1; then
    fail "the exe verifies against a certificate that did not sign it"
fi
echo "signing_test: a changed image and another certificate are refused"

# A driver back from attestation signing goes in byte for byte and is not signed again, once the
# build has checked its signature and its version. The stand-in carries its own description, so it
# differs from anything the build signs; it has no time stamp, which the configure step says once.
built_driver=$build/components/ovnvxd/driver/OvnVxd64.sys
attested=$key/attested-OvnVxd64.sys
# attested_configure NAME FILE [CAFILE]: configures with FILE as the attested driver, trusted when it
# chains to CAFILE (the throwaway certificate); the exit code is cmake's.
attested_configure() {
    cmake -DOVN_ATTESTED_DRIVER64="$2" -DOVN_ATTESTED_CAFILE="${3:-$key/cert.pem}" "$build" \
        >"$work/configure-$1.log" 2>&1
}
# said LOG TEXT: CMake's message in LOG holds TEXT (CMake wraps its messages, so lines are joined).
said() { tr -s ' \n' '  ' <"$1" | grep -qF -- "$2"; }
# refused NAME FILE WHY [CAFILE]: the configure step stops, saying WHY.
refused() {
    ! attested_configure "$1" "$2" "${4:-}" || fail "the configure step takes $1"
    said "$work/configure-$1.log" "$3" || {
        cat "$work/configure-$1.log"
        fail "the configure step refuses $1 without saying \"$3\""
    }
    echo "signing_test: $1 refused: $3"
}
refused "an unsigned driver" "$built_driver" "it carries no Authenticode signature"
# The same driver from another build: version 1.0.0.20 (the low byte of dwFileVersionLS, 12 bytes
# after the VS_FIXEDFILEINFO signature), then signed.
at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$built_driver" | head -1 | cut -d: -f1)
[ -n "$at" ] || fail "the built driver has no version resource"
cp "$built_driver" "$work/other-version.sys"
printf '\024' | dd of="$work/other-version.sys" bs=1 seek=$((at + 12)) conv=notrunc 2>/dev/null
osslsigncode sign -pkcs12 "$key/signer.pfx" -readpass "$key/password" -h sha256 -n "attested stand-in" \
    -in "$work/other-version.sys" -out "$key/other-version.sys" >"$work/verify.log" 2>&1 ||
    fail "signing the other version: $(cat "$work/verify.log")"
refused "a driver of another version" "$key/other-version.sys" "it is version 1.0.0.20, this build is version 1.0.0.21"

osslsigncode sign -pkcs12 "$key/signer.pfx" -readpass "$key/password" -h sha256 -n "attested stand-in" \
    -in "$built_driver" -out "$attested" >"$work/verify.log" 2>&1 ||
    fail "signing the stand-in: $(cat "$work/verify.log")"
refused "a driver signed by a certificate not trusted" "$attested" "does not verify against" \
    "$key/other-cert.pem"
if ! attested_configure good "$attested" ||
    ! cmake --build "$build" --target OvnK740FpgaUpdater >"$work/build.log" 2>&1; then
    tail -n 60 "$work/configure-good.log" "$work/build.log"
    fail "build with the attested driver"
fi
warned=$(tr -s ' \n' '  ' <"$work/configure-good.log" | grep -oF "carries no time stamp" | wc -l)
[ "$warned" = 1 ] || fail "the configure step warned $warned times of the missing time stamp"
rm -rf "$images"
sh "$here/extract_pe_images.sh" "$exe" "$images" >"$work/extracted.txt" || fail "extraction"
cmp -s "$images/driver64" "$attested" || fail "the exe does not embed the attested driver as it is"
verify "OvnK740FpgaUpdater.exe with the attested driver" "$exe"

# Replaced after the configure step by an unsigned file: the build checks it again and stops.
cp "$built_driver" "$attested"
if cmake --build "$build" --target OvnK740FpgaUpdater >"$work/build.log" 2>&1; then
    fail "the build embeds an attested driver that lost its signature after the configure step"
fi
said "$work/build.log" "it carries no Authenticode signature" || {
    tail -n 40 "$work/build.log"
    fail "the build stops without saying the driver is unsigned"
}
echo "signing_test: an attested driver unsigned after the configure step stops the build"
