#!/usr/bin/env bash
# Signing the release (run through in_fresh_prefix.sh): with a throwaway self-signed code-signing
# certificate, scripts/package.sh signs both DLLs and both packages; every signature verifies
# against that certificate and not against another one, a changed byte fails the check, and a
# signed DLL still registers and runs under Wine.
#
# The CTest entry sets PELLMORA_SOURCE, PELLMORA_VERSION, PELLMORA_ARCHITECTURES and PELLMORA_WORK;
# PELLMORA_RUN_ARCHITECTURES, when set, names the ones whose DLL runs in this prefix (in_prefixes.sh).
source "$(dirname "$0")/../selfreg/lib.sh"

read -r -a architectures <<<"$PELLMORA_ARCHITECTURES"
work=$PELLMORA_WORK
signed=$work/signed

# certificate NAME: a self-signed code-signing certificate NAME.pem with its key in NAME.p12.
certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 2 \
    -subj "/CN=Pellmora $1" -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null &&
  openssl pkcs12 -export -inkey "$work/$1.key" -in "$work/$1.pem" -out "$work/$1.p12" -passout pass:throwaway
}
check "the throwaway certificates are made" certificate signer
certificate stranger

# The test command has installed what is needed and built the DLLs: packing again is quick.
check "scripts/package.sh signs the release" env PELLMORA_NO_BOOTSTRAP=1 \
  PELLMORA_SIGNING_CERTIFICATE="$work/signer.p12" PELLMORA_SIGNING_PASSWORD=throwaway \
  "$PELLMORA_SOURCE/scripts/package.sh" "$signed"
mkdir -p "$signed/unpacked"
(cd "$signed/unpacked" && cmake -E tar xf "$signed/pellmora-$PELLMORA_VERSION.zip")
check "SHA256SUMS lists the signed files" bash -c "cd '$signed' && sha256sum --quiet -c SHA256SUMS"

verify() { osslsigncode verify -CAfile "$2" -in "$1" >/dev/null 2>&1; }
files=()
for architecture in "${architectures[@]}"; do
  files+=("$signed/unpacked/$architecture/Pellmora.dll" "$signed/pellmora-$PELLMORA_VERSION-$architecture.msi"
          "$signed/pellmora-$PELLMORA_VERSION-$architecture-user.msi")
done
for file in "${files[@]}"; do
  name=${file#"$signed/"}
  check "$name: the signature verifies against the certificate" verify "$file" "$work/signer.pem"
  check_not "$name: the signature does not verify against another certificate" verify "$file" "$work/stranger.pem"
  # One byte in the middle of the file, changed.
  cp "$file" "$work/changed"
  size=$(stat -c %s "$file")
  byte=$(od -An -tu1 -j $((size / 2)) -N1 "$file" | tr -d ' ')
  printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$work/changed" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
  check_not "$name: a changed byte fails the check" verify "$work/changed" "$work/signer.pem"
done

# The signed DLL registers and runs: the VBScript example through the architecture's script host.
sample=$(tr -d '\r' <"$PELLMORA_SOURCE/tests/selfreg/example_sample.txt")
read -r -a runnable <<<"${PELLMORA_RUN_ARCHITECTURES:-$PELLMORA_ARCHITECTURES}"
for architecture in "${runnable[@]}"; do
  dll="Z:${signed//\//\\}\\unpacked\\$architecture\\Pellmora.dll"
  check "$architecture: regsvr32 registers the signed DLL" "$(loader "$architecture")" regsvr32 /s "$dll" </dev/null
  output=$("$(loader "$architecture")" cscript //nologo "Z:${PELLMORA_SOURCE//\//\\}\\examples\\connection_string.vbs" </dev/null 2>&1 | tr -d '\r')
  if [ "$output" == "$sample" ]; then pass; else fail "$architecture: the VBScript example with the signed DLL"; echo "$output" | head -5; fi
  "$(loader "$architecture")" regsvr32 /s /u "$dll" </dev/null
done

echo "$checks checks, $failures failures"
[ "$failures" -eq 0 ]
