#!/usr/bin/env bash
# https with the real program: the package and the uninstall notice over TLS from nginx, with a
# test authority that only this suite's prefix trusts; each bad certificate ends the download
# with its text and changes nothing; SECUR32.DLL and CRYPT32.DLL planted beside the program are
# not taken.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/suite.bash"
. "$E2E_ROOT/tests/servers/tls-certs.sh"
. "$E2E_ROOT/tests/servers/nginx-conf.sh"
e2e_start
for f in trust_root.exe planted.dll Pluvion.exe; do
  [ -f "$E2E_BUILD/$f" ] || { echo "missing $E2E_BUILD/$f" >&2; exit 1; }
done

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
tls=$E2E_WORK/tls
tls_certs "$tls/certs" || { echo "openssl failed" >&2; exit 1; }
mkdir -p "$tls/www/pluvion"
python3 "$E2E_ROOT/demo/make_package.py" "$tls/www/pluvion/pluvionfull.zip" "$E2E_BUILD" >/dev/null || exit 1
declare -A port
servers=""
for name in good untrusted expired wrongname; do
  port[$name]=$(free_port)
  servers+="server { listen 127.0.0.1:${port[$name]} ssl; root $tls/www; ssl_protocols TLSv1.2 TLSv1.3;
    ssl_certificate $tls/certs/$name.pem; ssl_certificate_key $tls/certs/$name.key; }
  "
done
nginx_conf "$tls" "$(free_port)"
python3 - "$tls/nginx.conf" "$servers" <<'PY'
import sys
text = open(sys.argv[1]).read()
open(sys.argv[1], "w").write(text[:text.rindex("}")] + sys.argv[2] + "\n}\n")
PY
timeout 1100 /usr/sbin/nginx -p "$tls" -c "$tls/nginx.conf" &
E2E_PIDS+=($!)
for _ in $(seq 100); do
  python3 -c 'import socket,sys; socket.create_connection(("127.0.0.1",int(sys.argv[1])),0.2).close()' \
    "${port[wrongname]}" 2>/dev/null && break
  sleep 0.1
done
check "the test authority enters the prefix's root store" "0" \
  "$(timeout 60 wine "$E2E_BUILD/trust_root.exe" "Z:$tls/certs/ca.der" >/dev/null 2>&1; echo $?)"

app=$E2E_C/Program\ Files/Veltrona/Pluvion
temp=$E2E_C/users/$E2E_USER/AppData/Local/Temp
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pluvion'
package() { echo "https://localhost:${port[$1]}/pluvion/pluvionfull.zip"; }
# What the install folder holds, file by file with its content, and what the temporary folder holds.
state() { (cd "$app" 2>/dev/null && find . -type f -exec md5sum {} + | sort | md5sum); ls -A "$temp" 2>/dev/null | sort | tr '\n' ' '; }

# --- 1. The hidden install over https, from a folder where SECUR32.DLL and CRYPT32.DLL are planted.
planted=$E2E_WORK/planted
mkdir -p "$planted"
cp "$E2E_BUILD/KestrumLiveUpdate.exe" "$planted/"
for n in secur32.dll crypt32.dll; do cp "$E2E_BUILD/planted.dll" "$planted/$n"; done
reset_install
rm -f "$E2E_WORK/status"
( cd "$planted" && WINEDLLOVERRIDES="secur32,crypt32=n,b;$KLU_WINE_OVERRIDES" \
    timeout 300 wine ./KestrumLiveUpdate.exe /HIDE /URL "$(package good)" >/dev/null 2>&1
  echo $? >"$E2E_WORK/status" ) &
E2E_PIDS+=($!)
check "the hidden install over https ends well" "0" "$(program_status 120)"
check "the package is installed" "yes yes" "$(exists "$app/Pluvion.exe" "$app/KestrumLiveUpdate.exe")"
check "nginx served the package over TLS" "yes" \
  "$(grep -q '"GET /pluvion/pluvionfull.zip HTTP/1.1" 200' "$tls/nginx-access.log" && echo yes || echo no)"
check "no planted DLL was loaded" "" "$(cd "$planted" && ls ./*.loaded 2>/dev/null)"
for _ in $(seq 50); do [ -s "$app/started.txt" ] && break; sleep 0.1; done
wine taskkill /F /IM Pluvion.exe >/dev/null 2>&1
sleep 1

# --- 2. Each bad certificate: its text on the result page, status 1, the installed files and the
# temporary folder as they were.
before=$(state)
for bad in "untrusted:The server's certificate is not from a trusted authority." \
           "expired:The server's certificate has expired or is not yet valid." \
           "wrongname:The server's certificate is for another name."; do
  name=${bad%%:*} text=${bad#*:}
  run_program /URL "$(package "$name")"
  out=$(drive wait-window 30000 click BInstall wait-visible PanelFinish 60000 text FLabelMessage)
  shot "https-$name"
  check_has "$name: the download error names the reason" "$text" "$(echo "$out" | sed -n 4p)"
  drive click FBOk >/dev/null
  check "$name: status" "1" "$(program_status 60)"
  check "$name: install folder and temporary folder unchanged, no package left" "$before" "$(state)"
done

# --- 3. The uninstall notice over https: the quiet uninstall reports "true" to the address.
wine reg add 'HKCU\Software\Kestrum\Pluvion' /v UnistallNotice /d "https://localhost:${port[good]}/notice?result=" \
  /f >/dev/null 2>&1
command=$(reg_value "$entry" QuietUninstallString)
program=${command#\"}; program=${program%%\"*}; args=${command#\"*\" }
rm -f "$E2E_WORK/status"
# shellcheck disable=SC2086  # the registered arguments hold no blanks
( timeout 300 wine "$program" $args >/dev/null 2>&1; echo $? >"$E2E_WORK/status" ) &
E2E_PIDS+=($!)
check "quiet uninstall status" "0" "$(program_status 120)"
check "the notice arrived over https" "yes" \
  "$(grep -q '"GET /notice?result=true HTTP/1.1"' "$tls/nginx-access.log" && echo yes || echo no)"

e2e_finish
