# Sourced by the scripts that start servers on 127.0.0.1:
#   free_port             a free port
#   wait_port PORT        waits up to 10 s for a listener on PORT; returns 1 when none came
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
wait_port() {
  for _ in $(seq 100); do
    python3 -c 'import socket,sys; socket.create_connection(("127.0.0.1",int(sys.argv[1])),0.2).close()' "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
