#!/usr/bin/env bash
# A CUPS scheduler of the print test's own, in a folder of its own, with one
# queue "vintrel-test" whose backend writes each job to FOLDER/out/page.pdf.
#   cups.sh start FOLDER | cups.sh stop FOLDER
# Without CUPS installed it starts nothing, and the test that needs it skips.
set -euo pipefail
root="$2"
if [ "$1" = stop ]; then
    [ -f "$root/cupsd.pid" ] && kill "$(cat "$root/cupsd.pid")" 2>/dev/null || true
    exit 0
fi
cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
lpadmin=$(command -v lpadmin || echo /usr/sbin/lpadmin)
[ -x "$cupsd" ] && [ -x "$lpadmin" ] && [ -d /usr/lib/cups/daemon ] || { echo "no CUPS here"; exit 0; }
rm -rf "$root" && mkdir -p "$root"/{spool/tmp,cache,state/certs,out,bin/backend}
for helper in /usr/lib/cups/*/; do # the system's helpers; only the backend is ours
    name=$(basename "$helper")
    [ "$name" = backend ] || ln -s "$helper" "$root/bin/$name"
done
cat > "$root/bin/backend/vintrel" <<'BACKEND'
#!/bin/sh
[ $# -eq 0 ] && { echo 'direct vintrel "Unknown" "Test output"'; exit 0; }
out="${DEVICE_URI#vintrel:}"
if [ -n "$6" ]; then cat "$6" > "$out.part"; else cat > "$out.part"; fi
mv "$out.part" "$out"
BACKEND
chmod 700 "$root/bin/backend/vintrel"
cat > "$root/cupsd.conf" <<CONF
Listen $root/cups.sock
LogLevel warn
WebInterface No
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat > "$root/cups-files.conf" <<CONF
ServerRoot $root
ServerBin $root/bin
RequestRoot $root/spool
TempDir $root/spool/tmp
CacheDir $root/cache
StateDir $root/state
ErrorLog $root/error_log
AccessLog $root/access_log
PageLog $root/page_log
Sandboxing Relaxed
CONF
"$cupsd" -f -c "$root/cupsd.conf" -s "$root/cups-files.conf" </dev/null >"$root/cupsd.log" 2>&1 &
echo $! > "$root/cupsd.pid"
for _ in $(seq 100); do [ -S "$root/cups.sock" ] && break; sleep 0.1; done
[ -S "$root/cups.sock" ] || { echo "cupsd did not start"; cat "$root/cupsd.log"; exit 0; }
"$lpadmin" -h "$root/cups.sock" -p vintrel-test -E -v "vintrel:$root/out/page.pdf" -m raw
