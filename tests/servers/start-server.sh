# Start-up of the Python test servers (sourced).
#   klu_start_server PORT_FILE LIFETIME SCRIPT [ARGS...]
# Starts SCRIPT in the background with --port-file PORT_FILE --lifetime LIFETIME (each server
# picks free ports on 127.0.0.1, writes them to the file and stops by itself after LIFETIME
# seconds; a time limit a minute longer stops one that does not). Waits up to 10 s for the port
# file. Sets KLU_SERVER_PID; returns 1, with a message, when the server ended or did not start.
klu_start_server() {
  local port_file=$1 lifetime=$2 script=$3
  shift 3
  rm -f "$port_file"
  timeout "$(( ${lifetime%.*} + 60 ))" python3 "$script" --port-file "$port_file" --lifetime "$lifetime" "$@" &
  KLU_SERVER_PID=$!
  local _
  for _ in $(seq 100); do
    [ -s "$port_file" ] && return 0
    kill -0 "$KLU_SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "$(basename "$script"): the server did not start" >&2
  return 1
}
