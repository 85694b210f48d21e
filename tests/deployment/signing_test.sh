#!/usr/bin/env bash
# Signing the release (run through in_fresh_prefix.sh): with a throwaway self-signed code-signing
# certificate, scripts/package.sh signs both DLLs and both packages; every signature verifies
# against that certificate and not against another one, a changed byte fails the check, and a
# signed DLL still registers and runs under Wine.
# The password appears in no command line (every program package.sh starts by name runs through
# a recording stand-in first on PATH: sampling /proc misses programs this short), nor in the
# environment of any program but package.sh itself; the file that carries it has mode 0600 and
# is gone afterwards. Given a time-stamping URL, each signature carries an RFC 3161 time stamp and
# still verifies after the certificate has expired: offline, from a throwaway authority on
# 127.0.0.1 (time_stamp_authority.py, answering with `openssl ts -reply`). (osslsigncode's own test
# options -TSA-certs, -TSA-key and -TSA-time would bypass the URL, and Debian 12's osslsigncode 2.5
# has none of them.) What was in the output folder before stays there.
#
# The CTest entry sets PELLMORA_SOURCE, PELLMORA_VERSION, PELLMORA_ARCHITECTURES and PELLMORA_WORK;
# PELLMORA_RUN_ARCHITECTURES, when set, names the ones whose DLL runs in this prefix (in_prefixes.sh).
source "$(dirname "$0")/../selfreg/lib.sh"

read -r -a architectures <<<"$PELLMORA_ARCHITECTURES"
work=$PELLMORA_WORK
signed=$work/signed
# A password that cannot turn up by chance; the test reads it from a file, never from argv.
secret="pellmora-password-$RANDOM$RANDOM$RANDOM"
(umask 077 && printf '%s' "$secret" >"$work/secret")

# certificate NAME: a self-signed code-signing certificate NAME.pem with its key in NAME.p12.
certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 2 \
    -subj "/CN=Pellmora $1" -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null &&
  openssl pkcs12 -export -inkey "$work/$1.key" -in "$work/$1.pem" -out "$work/$1.p12" -passout file:"$work/secret"
}
check "the throwaway certificates are made" certificate signer
certificate stranger

# A throwaway time-stamping authority: a root and, signed by it, the authority's certificate.
time_stamping_authority() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/tsa-root.key" -out "$work/tsa-root.pem" -days 2 \
    -subj "/CN=Pellmora test time-stamping root" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null &&
  openssl req -newkey rsa:2048 -nodes -keyout "$work/tsa.key" -out "$work/tsa.csr" \
    -subj "/CN=Pellmora test time-stamping authority" 2>/dev/null &&
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' \
    >"$work/tsa.ext" &&
  openssl x509 -req -in "$work/tsa.csr" -CA "$work/tsa-root.pem" -CAkey "$work/tsa-root.key" -CAcreateserial \
    -out "$work/tsa.pem" -days 2 -extfile "$work/tsa.ext" 2>/dev/null &&
  cat "$work/tsa.pem" "$work/tsa-root.pem" >"$work/tsa-chain.pem"
}
check "the throwaway time-stamping authority is made" time_stamping_authority
cat >"$work/tsa.cnf" <<EOF
[ tsa ]
default_tsa = authority
[ authority ]
serial = $work/tsa.serial
crypto_device = builtin
signer_cert = $work/tsa.pem
certs = $work/tsa-root.pem
signer_key = $work/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
EOF
echo 01 >"$work/tsa.serial"
: >"$work/tsa.port"
python3 "$(dirname "$0")/time_stamp_authority.py" "$work/tsa.cnf" >"$work/tsa.port" &
tsa_pid=$!
trap 'kill "$tsa_pid" 2>/dev/null; wait "$tsa_pid" 2>/dev/null' EXIT
for _ in $(seq 100); do [ -s "$work/tsa.port" ] && break; sleep 0.2; done
check "the time-stamping authority listens" [ -s "$work/tsa.port" ]
timestamp_url=http://127.0.0.1:$(cat "$work/tsa.port")/

# The recording stand-ins: a link per program name on PATH to a script that logs the command line
# (and, as ENVIRONMENT, a program whose environment holds the password) and runs the real program.
standins=$work/standins
rm -rf "$standins" "$work/tmp" "$work/commands.log" "$signed"
mkdir -p "$standins" "$work/tmp"
cat >"$work/record" <<EOF
#!/bin/bash
# Shell builtins only: a program started by name would come back here.
name=\${0##*/}
read -r secret <"$work/secret"
{
  printf '%s ' "\$name" "\$@"; echo
  while IFS= read -r -d '' variable; do
    [[ \$variable != *"\$secret"* ]] || echo "ENVIRONMENT \$name \$*"
  done </proc/\$\$/environ
} >>"$work/commands.log"
if [ "\$name" = osslsigncode ]; then
  for ((i = 1; i < \$#; i++)); do
    [ "\${!i}" != -readpass ] || { j=\$((i + 1)); echo "PASSWORD FILE \$(/usr/bin/stat -c %a "\${!j}")" >>"$work/commands.log"; }
  done
fi
real=\$(PATH=\${PATH//"$standins:"/} && type -P "\$name") || exit 127
exec "\$real" "\$@"
EOF
chmod +x "$work/record"
python3 - "$standins" "$work/record" <<'PY'
import os, sys
standins, record = sys.argv[1], sys.argv[2]
for folder in os.environ["PATH"].split(":"):
    if not os.path.isdir(folder):
        continue
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        link = os.path.join(standins, name)
        if os.access(path, os.X_OK) and not os.path.isdir(path) and not os.path.lexists(link):
            os.symlink(record, link)
PY

# Files of the user's in the output folder, named like package.sh's scratch files of old: they stay.
mkdir -p "$signed/stage"
for name in stage/keep sign.log wixl.log; do echo mine >"$signed/$name"; done

# The test command has installed what is needed and built the DLLs: packing again is quick. The
# password is exported by a shell builtin, so no command line of the test carries it either.
sign_release() {
  (
    export PELLMORA_SIGNING_PASSWORD=$secret PATH=$standins:$PATH TMPDIR=$work/tmp
    export PELLMORA_NO_BOOTSTRAP=1 PELLMORA_SIGNING_CERTIFICATE=$work/signer.p12
    export PELLMORA_SIGNING_TIMESTAMP_URL=$timestamp_url no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
    "$PELLMORA_SOURCE/scripts/package.sh" "$signed" >/dev/null
  )
}
check "scripts/package.sh signs the release" sign_release
log=$work/commands.log
signatures=$(grep -c '^osslsigncode sign ' "$log")
# Each architecture: its DLL, its package and its per-user package.
check "the stand-ins saw osslsigncode sign each DLL and package" [ "$signatures" -eq $((3 * ${#architectures[@]})) ]
check_not "the password is in no command line" bash -c "grep -v '^ENVIRONMENT ' '$log' | grep -qFf '$work/secret'"
check_not "the password is in the environment of no program package.sh starts" \
  bash -c "grep '^ENVIRONMENT ' '$log' | grep -v '^ENVIRONMENT bash .*/scripts/package\.sh '"
check "the password reaches osslsigncode in a file of mode 0600" [ "$(grep -c '^PASSWORD FILE 600$' "$log")" -eq "$signatures" ]
check "every signature asks for an RFC 3161 time stamp" \
  [ "$(grep -c "^osslsigncode sign .*-ts $timestamp_url " "$log")" -eq "$signatures" ]
check "package.sh leaves nothing in its temporary folder, the password file included" [ -z "$(ls -A "$work/tmp")" ]
for name in stage/keep sign.log wixl.log; do
  check "package.sh leaves the user's $name in the output folder" grep -qx mine "$signed/$name"
done
mkdir -p "$signed/unpacked"
(cd "$signed/unpacked" && cmake -E tar xf "$signed/pellmora-$PELLMORA_VERSION.zip")
check "SHA256SUMS lists the signed files" bash -c "cd '$signed' && sha256sum --quiet -c SHA256SUMS"

verify() { osslsigncode verify -CAfile "$2" -in "$1" >/dev/null 2>&1; }
# After the signing certificate has expired (it is valid for 2 days), only the time stamp keeps
# the signature valid.
expired=$(($(date +%s) + 3 * 86400))
verify_later() {
  local out
  out=$(osslsigncode verify -CAfile "$work/signer.pem" -TSA-CAfile "$work/tsa-root.pem" -time "$expired" -in "$1" 2>&1) &&
    grep -q '^Timestamp Server Signature verification: ok' <<<"$out"
}
files=()
for architecture in "${architectures[@]}"; do
  files+=("$signed/unpacked/$architecture/Pellmora.dll" "$signed/pellmora-$PELLMORA_VERSION-$architecture.msi"
          "$signed/pellmora-$PELLMORA_VERSION-$architecture-user.msi")
done
for file in "${files[@]}"; do
  name=${file#"$signed/"}
  check "$name: the signature verifies against the certificate" verify "$file" "$work/signer.pem"
  check_not "$name: the signature does not verify against another certificate" verify "$file" "$work/stranger.pem"
  check "$name: the time-stamped signature verifies after the certificate has expired" verify_later "$file"
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
