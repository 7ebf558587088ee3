# Shared by the benchmark scripts (sourced, not run): a work folder that is removed at exit, and an
# anonymous vsftpd on 127.0.0.1 serving "$WORK/root" from a temporary configuration.
# The root belongs to root (vsftpd refuses a writable chroot); give pub/ to ftp for uploads.

# bench_require TOOL...: the script runs as root (vsftpd starts from a temporary configuration),
# with a built $FTPBENCH and the tools named; otherwise it says what is missing and ends.
bench_require() {
    local script
    script=$(basename "$0")
    [ "$(id -u)" -eq 0 ] || { echo "$script: needs root to start vsftpd" >&2; exit 2; }
    [ -x "$FTPBENCH" ] || { echo "$script: no ftpbench at $FTPBENCH" >&2; exit 2; }
    for tool in vsftpd "$@"; do
        command -v "$tool" >/dev/null || { echo "$script: $tool is not installed" >&2; exit 2; }
    done
}

ms() { echo $(( $1 / 1000000 )); }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# bench_workdir PARENT PREFIX: makes $WORK and removes it (and stops vsftpd) at exit.
bench_workdir() {
    WORK=$(mktemp -d "$1/$2.XXXXXX")
    VSFTPD_PID=
    trap 'bench_cleanup' EXIT
}

bench_cleanup() {
    [ -n "$VSFTPD_PID" ] && kill "$VSFTPD_PID" 2>/dev/null && wait "$VSFTPD_PID" 2>/dev/null || true
    rm -rf "$WORK"
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
now_ns() { date +%s%N; }

# write_vsftpd_conf WRITABLE: WRITABLE=YES lets anonymous users upload and make folders. Sets PORT.
write_vsftpd_conf() {
    mkdir -p "$WORK/root" /var/run/vsftpd/empty
    PORT=$(free_port)
    local pasv_min
    pasv_min=$(free_port)
    cat > "$WORK/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$PORT
background=NO
anonymous_enable=YES
local_enable=NO
no_anon_password=YES
anon_root=$WORK/root
write_enable=$1
anon_upload_enable=$1
anon_mkdir_write_enable=$1
anon_other_write_enable=$1
anon_umask=022
pasv_enable=YES
pasv_min_port=$pasv_min
pasv_max_port=$((pasv_min + 50))
port_enable=YES
connect_from_port_20=NO
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
secure_chroot_dir=/var/run/vsftpd/empty
xferlog_enable=NO
max_per_ip=0
max_clients=0
CONF
}

# add_vsftpd_tls: makes a self-signed certificate and demands explicit FTP over TLS for login and
# data, with the TLS session resumed on every data connection (require_ssl_reuse, as vsftpd is
# commonly set up). Sets FINGERPRINT to the certificate's SHA-256 fingerprint.
add_vsftpd_tls() {
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost \
        -keyout "$WORK/server.key" -out "$WORK/server.pem" 2>/dev/null
    cat "$WORK/server.key" >> "$WORK/server.pem"
    FINGERPRINT=$(openssl x509 -in "$WORK/server.pem" -noout -fingerprint -sha256 | cut -d= -f2)
    cat >> "$WORK/vsftpd.conf" <<CONF
ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
require_ssl_reuse=YES
ssl_ciphers=HIGH
rsa_cert_file=$WORK/server.pem
rsa_private_key_file=$WORK/server.pem
CONF
}

# start_vsftpd: starts it and waits until it answers (at most 5 s).
start_vsftpd() {
    vsftpd "$WORK/vsftpd.conf" &
    VSFTPD_PID=$!
    for _ in $(seq 50); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1', $PORT), 1).close()" 2>/dev/null && break
        sleep 0.1
    done
}
