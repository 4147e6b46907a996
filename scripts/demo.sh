#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine to the running program: packages,
# build, the stand-in ORCA server with its demo data, and the program in a
# fresh application folder (build/demo-app) connected to it.
#
#   ./scripts/demo.sh          the stand-in over plain HTTP
#   ./scripts/demo.sh --tls    the stand-in like the cloud: HTTPS that demands a
#                              client certificate; import build/demo-app/pki/
#                              demo-client.p12 (password "demo") in 詳細設定 →
#                              証明書インポート, then try 接続テスト
set -euo pipefail
tls=0
for arg in "$@"; do
  case "$arg" in
    --tls) tls=1 ;;
    *) echo "usage: $0 [--tls]" >&2; exit 2 ;;
  esac
done

here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
build="${MINATORI_BUILD_DIR:-$here/build}"

app="$build/demo-app"
rm -rf "$app"
mkdir -p "$app"
cp "$build/bin/minatori" "$app/"

server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }
trap cleanup EXIT

# Throw-away certificates for the TLS demo: an authority and a certificate for
# the server (127.0.0.1), and a clinic certificate issued through an
# intermediate authority, packed with both authorities into a PKCS#12 file.
make_demo_pki() {
  local pki="$1"
  mkdir -p "$pki"
  (
    cd "$pki"
    umask 077
    cat >ext.cnf <<'EOF'
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
[server]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
[client]
basicConstraints = CA:FALSE
extendedKeyUsage = clientAuth
EOF
    key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
    # name, subject, issuer stem ("" = self-signed), extension section
    cert() {
      key "$1.key"
      openssl req -new -key "$1.key" -subj "$2" -out "$1.csr"
      if [ -z "$3" ]; then
        openssl x509 -req -in "$1.csr" -signkey "$1.key" -days 30 \
          -extfile ext.cnf -extensions "$4" -out "$1.crt" 2>/dev/null
      else
        openssl x509 -req -in "$1.csr" -CA "$3.crt" -CAkey "$3.key" -CAcreateserial \
          -days 30 -extfile ext.cnf -extensions "$4" -out "$1.crt" 2>/dev/null
      fi
      rm -f "$1.csr"
    }
    cert server-ca "/CN=Demo ORCA Server CA" "" ca
    cert server "/CN=127.0.0.1" server-ca server
    cert client-ca "/O=Demo Clinic Network/CN=Demo Clinic Root CA" "" ca
    cert client-sub "/O=Demo Clinic Network/CN=Demo Clinic Sub CA" client-ca ca
    cert client "/O=Demo Clinic/CN=demo-clinic-9900011" client-sub client
    cat client-sub.crt client-ca.crt >chain.pem
    openssl pkcs12 -export -inkey client.key -in client.crt -certfile chain.pem \
      -name "demo-clinic-9900011" -passout pass:demo -out demo-client.p12
  )
}

if [ -x "$build/bin/orca-standin" ]; then
  portfile="$app/standin.port"
  scheme=http
  server_args=(--demo --port 0 --port-file "$portfile" --user demo --key demo-key)
  if [ "$tls" = 1 ]; then
    pki="$app/pki"
    make_demo_pki "$pki"
    scheme=https
    server_args+=(--tls-cert "$pki/server.crt" --tls-key "$pki/server.key"
                  --client-ca "$pki/client-ca.crt")
    # The program trusts the demo server's authority as it trusts the system
    # store, and keeps its certificate store inside the demo folder.
    export SSL_CERT_FILE="$pki/server-ca.crt"
    export XDG_DATA_HOME="$app/xdg-data"
  fi
  "$build/bin/orca-standin" "${server_args[@]}" >"$app/standin.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 100); do [ -s "$portfile" ] && break; sleep 0.1; done
  port="$(cut -d' ' -f1 "$portfile")"
  # The demo clinic's own institution code and name, as in the demo data.
  printf '[PARAMA]\r\nURL=%s://127.0.0.1:%s/api/\r\nAPIUSER=demo\r\nAPIKEY=demo-key\r\nKIKANCD=9900011\r\nKIKANNAME=みなと見本クリニック\r\nREFRESH=60\r\nSAVETXT=\r\n[COKBN]\r\nCHCK=1\r\n[UPDATE]\r\nMODE=1\r\n' \
      "$scheme" "$port" >"$app/user.ini"
  echo "Stand-in ORCA server with demo data on $scheme://127.0.0.1:$port/api/"
  if [ "$tls" = 1 ]; then
    echo "It demands a client certificate. In 詳細設定, press 証明書インポート, choose"
    echo "  $pki/demo-client.p12   (password: demo)"
    echo "then 接続テスト: it answers ログイン成功 Code=200."
  fi
else
  printf '[UPDATE]\r\nMODE=1\r\n' >"$app/user.ini"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: set DISPLAY (or run under xvfb-run) to see the window." >&2
fi
"$app/minatori"
