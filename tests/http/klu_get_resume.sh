#!/usr/bin/env bash
# klu_get_resume.sh [RUNNER] KLU-GET: klu-get against the scripted server's cut downloads
# (/resume/KIND/..., tests/servers/http_script_server.py), natively or under Wine. Run through
# tests/servers/with-server.sh, which hands the ports over in KLU_HTTP_PORTS. Each row checks the
# exit status, the file byte for byte, the requests the server saw and the work events.
set -u
getter=("$@")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
servers="$here/../servers"
read -r port _ <<<"${KLU_HTTP_PORTS:?run through tests/servers/with-server.sh}"
base="http://127.0.0.1:$port"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run=0  # each download gets a path of its own: the server counts requests by path

failures=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    echo "ok   $1"
  else
    echo "FAIL $1"; echo "     expected: $2"; echo "     got:      $3"; failures=$((failures + 1))
  fi
}

# A Win32 klu-get under Wine takes Windows paths: the host's root is drive Z.
out_path() {
  case "${getter[-1]}" in *.exe) echo "Z:$1" ;; *) echo "$1" ;; esac
}

# The server's files, written by the server's own module.
python3 - "$servers" "$work" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
import http_script_server as s
open(sys.argv[2] + "/v1.bin", "wb").write(s.RESUME_V1)
open(sys.argv[2] + "/v2.bin", "wb").write(s.RESUME_V2)
PY

control() {  # control _count|_last NAME
  python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1], timeout=10).read().decode("latin-1"))' \
    "$base/$1/$2"
}

# get KIND [OPTIONS...]: downloads /resume/KIND/RUN into $work/KIND.bin; sets status, events, err.
get() {
  local kind=$1; shift
  run=$((run + 1))
  name="resume/$kind/$$-$run"
  rm -f "$work/$kind.bin"
  timeout 120 "${getter[@]}" --events --retry-wait 20 "$@" "$base/$name" "$(out_path "$work/$kind.bin")" \
    >"$work/events" 2>"$work/err"
  status=$?
  err=$(tr -d '\r' <"$work/err")
  file="$work/$kind.bin"
}

same() { cmp -s "$1" "$2" && echo same || echo differs; }

# The work counts never go back, but where a begin starts the body again; prints "monotonic"
# or the first line that goes back, then the begin lines.
progress() {
  # The Win32 tool's lines end in CR LF.
  tr -d '\r' <"$work/events" |
    awk '/^begin/ {last = -1; begins = begins " " $2; next}
         /^work/ {if ($2 < last && !bad) bad = NR ": " $0; last = $2}
         END {print (bad ? "back at " bad : "monotonic") begins}'
}

# 1. Cut at 40 %, then the range honoured: the file whole, exactly two requests, the second
#    with Range and If-Range, and the bar going on from 40000.
get range
check "cut at 40 %, resumed: exit status" "0" "$status"
check "cut at 40 %, resumed: the file whole" "same" "$(same "$file" "$work/v1.bin")"
check "cut at 40 %, resumed: two requests" "2" "$(control _count "$name")"
check "cut at 40 %, resumed: Range and If-Range" $'Range: bytes=40000-\nIf-Range: "v1"' \
  "$(control _last "$name" | tr -d '\r' | grep -E '^(If-)?Range:')"
check "cut at 40 %, resumed: one begin, counts never back" "monotonic 100000" "$(progress)"
check "cut at 40 %, resumed: the last events" $'work 100000\nend' "$(tail -n 2 "$work/events" | tr -d '\r')"

# 2. The file changed between the requests: the second version whole, never a mixed file (it is
#    shorter than what the first answer left: the file is cut back).
get changed
check "changed tag: exit status" "0" "$status"
check "changed tag: the second version whole" "same" "$(same "$file" "$work/v2.bin")"
check "changed tag: the bar starts again once" "monotonic 100000 30000" "$(progress)"

# 3. A server that ignores Range: the download starts again from zero.
get ignore
check "Range ignored: exit status" "0" "$status"
check "Range ignored: the file whole" "same" "$(same "$file" "$work/v1.bin")"
check "Range ignored: two requests" "2" "$(control _count "$name")"

# 4. A part that does not continue the file: a protocol error, no further request.
for kind in bad_start bad_total; do
  get $kind
  check "$kind: the protocol error" "1 HTTP/1.1 206 Partial Content" "$status $err"
  check "$kind: no further request" "2" "$(control _count "$name")"
  check "$kind: only the first 40000 bytes kept" "40000" "$(stat -c %s "$file")"
done

# 5. Five cuts in a row after the first: the last error after the fifth further request.
get cut_always
check "five cuts in a row: the last error" $'1 Socket Error # 10054\nConnection reset by peer.' "$status $err"
check "five cuts in a row: six requests" "6" "$(control _count "$name")"
get cut_always --retries 2
check "--retries 2: three requests" "1 3" "$status $(control _count "$name")"
get cut_always --retries 0
check "--retries 0: one request, the body as it ended, and no success" "1 1 40000" "$status $(control _count "$name") $(stat -c %s "$file")"

# 6. A chunked body cut before its last chunk: the whole file again, without Range.
get chunk_cut
check "chunked cut: exit status" "0" "$status"
check "chunked cut: the file whole" "same" "$(same "$file" "$work/v1.bin")"
check "chunked cut: no Range in the second request" "2 0" "$(control _count "$name") $(control _last "$name" | grep -c Range:)"

# 7. A body without a length, reset: asked for whole again; the shorter answer replaces all of it.
get lengthless
check "no length, reset: exit status" "0" "$status"
check "no length, reset: only the second answer" "same" "$(same "$file" "$work/v2.bin")"
check "no length, reset: no Range in the second request" "2 0" "$(control _count "$name") $(control _last "$name" | grep -c Range:)"

# 8. A retry that stalls ends by the read time-out and is taken up again.
get stall --read-timeout 500
check "stall in a retry: exit status" "0" "$status"
check "stall in a retry: the file whole" "same" "$(same "$file" "$work/v1.bin")"
check "stall in a retry: three requests" "3" "$(control _count "$name")"
check "stall in a retry: counts never back" "monotonic 100000" "$(progress)"

# 9. A wrong value for the new options is refused as a command-line error.
"${getter[@]}" --retries -1 "$base/ok" "$(out_path "$work/x")" 2>/dev/null
check "--retries -1 is refused" "2" "$?"

[ "$failures" -eq 0 ] && echo "all klu-get resume rows passed" || echo "$failures klu-get resume rows failed"
[ "$failures" -eq 0 ]
