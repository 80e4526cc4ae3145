#!/usr/bin/env bash
# A download that survives dropped connections, with the whole program: a 100 MiB package from
# nginx through the cutting proxy (tests/servers/cutting_proxy.py), which closes each connection
# after a set number of bytes. A hidden run installs it through nine cuts, one every 10 MiB, every
# file byte for byte, nothing left in the temporary folder; a run whose further answers bring no
# byte of the body fails with its box after five retries and installs nothing; with the window
# shown, the pending bar's maximum stays the package's length and its position never goes back
# across the cuts.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/suite.bash"
. "$E2E_ROOT/tests/servers/nginx-conf.sh"
. "$E2E_ROOT/tests/servers/ports.sh"
e2e_start

MiB=1048576
real=$E2E_WORK/real
mkdir -p "$real/www/pluvion"
package=$real/www/pluvion/pluvionfull.zip
# Few large files, stored, so that the unpacking takes little of the suite's time.
python3 - "$package" <<'PY' || exit 1
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    z.writestr("Pluvion.exe", b"MZ stand-in application\r\n")
    for i, size in enumerate((40, 30, 20, 10)):
        z.writestr("data/part%d.bin" % i, os.urandom(size * 1048576 - 16384))
    z.writestr("readme.txt", b"resumed\r\n")
PY
size=$(stat -c %s "$package")
nginx_port=$(free_port)
nginx_conf "$real" "$nginx_port"
timeout 1100 /usr/sbin/nginx -p "$real" -c "$real/nginx.conf" &
E2E_PIDS+=($!)
wait_port "$nginx_port" || { e2e_log "nginx did not start"; exit 1; }

# proxy NAME CUT_MIB [ARGS...]: a cutting proxy in front of nginx; sets proxy_url and proxy_port.
proxy() {
  local name=$1 cut=$2
  shift 2
  klu_start_server "$real/$name.port" 1100 "$E2E_ROOT/tests/servers/cutting_proxy.py" \
    --upstream "127.0.0.1:$nginx_port" --cut $((cut * MiB)) --log "$real/$name.log" "$@" || exit 1
  E2E_PIDS+=("$KLU_SERVER_PID")
  proxy_port=$(cat "$real/$name.port")
  proxy_url=http://127.0.0.1:$proxy_port/pluvion/pluvionfull.zip
}
proxy_stat() { curl -s --max-time 10 "http://127.0.0.1:$1/.cutting-proxy/stats" | awk -v n="$2" '$1 == n { print $2 }'; }
# Every file of the package, as installed: "same" when each is there byte for byte.
installed_as_package() {
  python3 - "$package" "$1" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = []
    for i in z.infolist():
        try:
            with open(sys.argv[2] + "/" + i.filename, "rb") as f:
                same = f.read() == z.read(i)
        except OSError:
            same = False
        if not same:
            bad.append(i.filename)
print("same" if not bad else "differ: " + " ".join(bad))
PY
}
app=$E2E_C/Program\ Files/Veltrona/Pluvion
# What the temporary folders hold (a run's package and its work folder must not stay).
temp_state() {
  find "$E2E_C/users/$E2E_USER/AppData/Local/Temp" "$E2E_C/users/$E2E_USER/Temp" -mindepth 1 -maxdepth 1 \
    2>/dev/null | sort | tr '\n' ' '
}
export KLU_TEST_RETRY_WAIT_MS=100

# --- 1. A hidden run through 10 MiB cuts: nine cuts, ten requests, the package installed.
reset_install
before=$(temp_state)
proxy cut10 10
run_program /HIDE /URL "$proxy_url"
check "the hidden run through the cuts ends well" "0" "$(program_status 280)"
check "every file of the package is installed byte for byte" "same" "$(installed_as_package "$app")"
check "the temporary folders hold what they held before" "$before" "$(temp_state)"
requests=$(proxy_stat "$proxy_port" requests) cuts=$(proxy_stat "$proxy_port" cuts) moved=$(proxy_stat "$proxy_port" bytes)
e2e_log "$size bytes: $requests requests, $cuts cuts, $moved bytes moved"
check "the proxy cut the transfer nine times, one request more" "9 10" "$cuts $requests"
check "every retry got the rest from nginx (206)" "9" "$(grep -c 'range=bytes=[0-9]*-.*status=206' "$real/cut10.log")"
check "at most 1.05 times the package went over the network" "yes" \
  "$([ "$moved" -le $((size * 105 / 100)) ] && echo yes || echo no)"

# --- 2. After a first cut at 10 MiB, every answer is cut where its body begins: five retries
# bring nothing, and the run fails with its box, nothing installed.
reset_install
proxy stuck 10 --heads-only-after 1
run_program /HIDE /URL "$proxy_url"
check_has "the failure box after five retries" "Unable to download installation file from the server!" \
  "$(ask box-answer 1 120000)"
check "the run that ran out of retries ends with 1" "1" "$(program_status 60)"
check "the first request and five retries, each cut" "6 6" \
  "$(proxy_stat "$proxy_port" requests) $(proxy_stat "$proxy_port" cuts)"
check "nothing installed" "no" "$(exists "$app/readme.txt")"
check "the temporary folders hold what they held before" "$before" "$(temp_state)"

# --- 3. The window shown, 30 MiB cuts and about a second before the first retry: the pending
# bar, read while the download goes on, keeps the package's length as its maximum and never goes
# back.
reset_install
export KLU_TEST_RETRY_WAIT_MS=900
proxy shown 30
run_program /URL "$proxy_url"
drive wait-window 30000 click BInstall >/dev/null
: > "$real/bar"
for _ in $(seq 400); do
  [ -s "$E2E_WORK/status" ] && break
  out=$(drive text LabelPending progress PBPending visible PanelFinish)
  case $(echo "$out" | sed -n 1p) in *Downloading*) echo "$out" | sed -n 's/^progress: //p' >> "$real/bar" ;; esac
  [ "$(echo "$out" | sed -n 's/^visible: //p')" = 1 ] && break
done
shot resume-3-result-page
check "the shown run installs" "text: Installation Complete" "$(drive text FLabelTop)"
drive click FBOk >/dev/null
check "exit status after OK" "0" "$(program_status 60)"
check "the proxy cut the shown run's download three times" "3" "$(proxy_stat "$proxy_port" cuts)"
e2e_log "pending bar readings: $(tr '\n' ' ' < "$real/bar")"
# Readings while the download step runs, position/maximum: after the step's 0/0, the maximum is
# the package's length, the position never goes back, and some readings fall between the ends.
awk -F/ -v size="$size" '
  $2 == 0 && $1 == 0 && !n { next }
  { n++; if ($2 != size || $1 + 0 < last) bad = 1; last = $1 + 0; if ($1 > 0 && $1 < size) mid++ }
  END { exit !(n >= 3 && mid >= 1 && !bad) }' "$real/bar"
check "the bar keeps the length as maximum, its position never goes back" "0" "$?"
check "every file of the package is installed byte for byte" "same" "$(installed_as_package "$app")"

e2e_finish
