# Sourced by the scripts that need the local music index (six search engines on 127.0.0.1 and
# vsftpd for the FTP results) and a throw-away program home whose engine database holds that
# site's engines. The caller sets: work (a temporary directory), cli (the built sondrel-cli).
# Afterwards: home, port, ftp_port; the site stops when the caller exits.

python=/usr/bin/python3
[ -x "$python" ] || python=python3

home="$work/home"
mkdir -p "$home"
site_pid=""
stop_music_index() {
  if [ -n "$site_pid" ] && kill -0 "$site_pid" 2>/dev/null; then
    kill -TERM "$site_pid" 2>/dev/null || true
    wait "$site_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop_music_index EXIT

# The site picks free ports (it stops vsftpd itself when it is stopped) and reports them.
"$python" tools/music-index/server.py --port 0 --ftp-port 0 --quiet --exit-with-parent \
  >"$work/site.out" 2>"$work/site.err" </dev/null &
site_pid=$!
for _ in $(seq 150); do
  grep -q '^READY$' "$work/site.out" 2>/dev/null && break
  if ! kill -0 "$site_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if ! grep -q '^READY$' "$work/site.out" 2>/dev/null; then
  echo "the music index did not start:" >&2
  cat "$work/site.err" >&2
  exit 1
fi
port=$(sed -n 's/^HTTP_PORT=//p' "$work/site.out")
ftp_port=$(sed -n 's/^FTP_PORT=//p' "$work/site.out")

# The definitions name the site's port through @PORT@; the concrete text is compiled into
# the throw-away home, so the shipped build/engines.db stays untouched.
sed "s/@PORT@/$port/g" tools/music-index/demo.def.in >"$home/demo.def"
"$cli" compile "$home/demo.def" "$home/engines.db" 0 --home "$home" >/dev/null
