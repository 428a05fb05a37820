#!/usr/bin/env bash
# Detailed logging with a host name the hosts file lacks and a name server that never answers:
# the resolver alone would hold the LOGIN line for half a minute. The program runs in its own
# host name and mount namespace (unshare) with such a hosts file and resolver configuration, and
# its window must come up within a few seconds, with the LOGIN line logged (the domain empty).
source "$(dirname "$0")/common.bash"
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: giving the program a host name and resolver of its own (unshare) needs root" >&2
  exit 77
fi
if ! unshare -mu sh -c 'hostname probe && mount --bind /etc/hosts /etc/hosts' 2>/dev/null; then
  echo "SKIP: this system does not allow a namespace of its own with a bind mount (unshare -mu), so the resolver cannot be replaced" >&2
  exit 77
fi
printf '[STANDARD]\r\nLogToFile=1\r\nVerboseLogging=1\r\n' > "$APPDATA/Tavlund/etc/tavlund.ini"
printf '127.0.0.1 localhost\n' > "$work/hosts"
# An address nothing answers from (TEST-NET-1), asked patiently: 5 tries of 5 s each.
printf 'nameserver 192.0.2.1\noptions timeout:5 attempts:5\n' > "$work/resolv.conf"

cd "$work"
start=$(date +%s)
unshare -mu sh -c '
  hostname glimra-uten-navn &&
  mount --bind "$1/hosts" /etc/hosts &&
  mount --bind "$1/resolv.conf" /etc/resolv.conf &&
  exec "$2"' sh "$work" "$glimra" >"$work/out.log" 2>&1 &
pid=$!
wait_for_window "Tavlund bildeviser"
took=$(( $(date +%s) - start ))
[ "$took" -le 8 ] || { echo "FEIL: the start took $took s: the name look-up held it" >&2; exit 1; }
kill -TERM "$pid"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
wait "$pid" || true
pid=""
log="$APPDATA/Tavlund/log/glimra.log"
grep -q ' LOGIN: .*  node: glimra-uten-navn\. IP:' "$log" ||
  { echo "FEIL: no LOGIN line for the host" >&2; cat "$log" "$work/out.log" >&2; exit 1; }
echo "e2e name_lookup: ok (started in $took s)"
