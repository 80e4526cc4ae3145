# Sourced by scripts that need nginx on 127.0.0.1: nginx_conf WORK PORT [SERVERS] writes
# WORK/nginx.conf for a single foreground process serving WORK/www, all its files inside WORK;
# SERVERS, when given, are further server blocks.
nginx_conf() {
  local work=$1 port=$2 servers=${3:-}
  mkdir -p "$work/www" "$work/temp"
  cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 64; }
http {
  access_log $work/nginx-access.log;
  sendfile on;
  client_body_temp_path $work/temp/body;
  proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi;
  uwsgi_temp_path $work/temp/uwsgi;
  scgi_temp_path $work/temp/scgi;
  server { listen 127.0.0.1:$port; root $work/www; }
  $servers
}
CONF
}
