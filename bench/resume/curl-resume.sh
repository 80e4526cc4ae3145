#!/usr/bin/env bash
# curl-resume.sh URL FILE: the peer of klu-get's resuming, curl driven by hand: curl -C - again at
# once after each failed transfer, each time asking for what FILE lacks, until one succeeds (at
# most 200 tries). Exit 0 when the file is complete, 1 otherwise.
url=$1 file=$2
rm -f "$file"
for _ in $(seq 200); do
  curl -s -C - -o "$file" "$url" && exit 0
done
echo "curl-resume: $url still incomplete after 200 tries" >&2
exit 1
