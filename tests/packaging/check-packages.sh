#!/usr/bin/env bash
# Builds both Debian packages from a built tree, unpacks them into a fresh root and checks what
# an installation gets: the files, the control data, the menu entry, the maintainer scripts,
# that lintian finds no error, and that the service starts from its unit's own command line on a
# new database and answers.
#   tests/packaging/check-packages.sh BUILD_DIR
set -euo pipefail
# Whether the input holds a line matching: reads it all (grep -q would stop at the first match,
# and the command before it, cut off, would fail the pipeline under pipefail).
has() { grep "$@" >/dev/null; }
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/tarvelo-packages.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/debs" >/dev/null)
client=$(ls "$work"/debs/tarvelo_*.deb)
server=$(ls "$work"/debs/tarvelo-server_*.deb)
root="$work/root"
mkdir -p "$root"
for deb in "$client" "$server"; do dpkg-deb -x "$deb" "$root"; done

for f in usr/bin/tarvelo usr/bin/tarvelo-query usr/bin/tarvelo-sheet usr/bin/tarvelo-server \
         usr/share/applications/tarvelo.desktop usr/share/icons/hicolor/48x48/apps/tarvelo.png \
         usr/share/icons/hicolor/256x256/apps/tarvelo.png usr/share/doc/tarvelo/README.md \
         usr/share/doc/tarvelo-server/README.md usr/share/doc/tarvelo/copyright \
         usr/share/doc/tarvelo-server/copyright usr/share/doc/tarvelo/changelog.Debian.gz \
         usr/share/doc/tarvelo-server/changelog.Debian.gz \
         usr/lib/systemd/system/tarvelo-server.service \
         etc/tarvelo/tarvelo.ini etc/tarvelo/tarvelo-server.conf; do
  [ -e "$root/$f" ] || fail "$f is not in the packages"
done
# The client package holds no service, the service package no client.
dpkg-deb -c "$client" | has 'tarvelo-server$' && fail "the client package holds the service"
dpkg-deb -c "$server" | has 'bin/tarvelo$' && fail "the service package holds the client"

field() { dpkg-deb -f "$1" "$2"; }
[ "$(field "$client" Package)" = tarvelo ] || fail "client package name"
[ "$(field "$server" Package)" = tarvelo-server ] || fail "server package name"
for dep in libqt6widgets6 libcurl4 fonts-arphic-gkai00mp qt6-translations-l10n; do
  field "$client" Depends | has "$dep" || fail "the client does not depend on $dep"
done
for dep in adduser libsqlite3-0 libpq5 libmicrohttpd12; do
  field "$server" Depends | has "$dep" || fail "the service does not depend on $dep"
done
dpkg-deb --ctrl-tarfile "$server" | tar -t | has '^./postinst$' || fail "no postinst"
dpkg-deb --ctrl-tarfile "$server" | tar -xO ./conffiles | has -x /etc/tarvelo/tarvelo-server.conf \
  || fail "the service's settings are no conffile"
dpkg-deb --ctrl-tarfile "$client" | tar -xO ./conffiles | has -x /etc/tarvelo/tarvelo.ini \
  || fail "the client's settings are no conffile"
mkdir -p "$work/control"
dpkg-deb -e "$server" "$work/control"
for script in postinst prerm postrm; do sh -n "$work/control/$script" || fail "$script"; done
grep -q 'if \[ ! -e /var/lib/tarvelo/tarvelo.db \]' "$work/control/postinst" \
  || fail "postinst would initialise an existing database"

desktop-file-validate "$root/usr/share/applications/tarvelo.desktop" || fail "the menu entry"
grep -q '^Name\[zh_CN\]=' "$root/usr/share/applications/tarvelo.desktop" || fail "no Chinese name"
# Each package's version is its changelog's newest entry.
for deb in "$client" "$server"; do
  package=$(field "$deb" Package)
  gunzip -c "$root/usr/share/doc/$package/changelog.Debian.gz" >"$work/changelog"
  [ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$(field "$deb" Version)" ] \
    || fail "$package's version is not its changelog's"
done
# lintian finds no error in either package; its warnings are shown. (Run as root, it says that it
# is and goes on.)
lintian_output=$(lintian --tag-display-limit 0 "$client" "$server" 2>&1) \
  || { echo "$lintian_output" >&2; fail "lintian reports errors or did not run"; }
echo "$lintian_output" | grep -v '^running with root privileges' || true
if echo "$lintian_output" | has '^E: '; then fail "lintian reports errors"; fi

# The unit's command line, with the installed program and its settings file, on a new database.
unit="$root/usr/lib/systemd/system/tarvelo-server.service"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ -n "$exec_start" ] || fail "the unit has no ExecStart"
set -a
# shellcheck disable=SC1091
. "$root/etc/tarvelo/tarvelo-server.conf"
set +a
TARVELO_DB="$work/tarvelo.db"
TARVELO_LISTEN=127.0.0.1:0
"$root/usr/bin/tarvelo-server" init --db "$TARVELO_DB" >/dev/null
command_line=${exec_start//\/usr\/bin\/tarvelo-server/$root/usr/bin/tarvelo-server}
command_line=$(eval "echo $command_line")
$command_line >"$work/serve.log" 2>&1 &
server_pid=$!
base=
for _ in $(seq 100); do
  base=$(grep -m1 -o 'http://127.0.0.1:[0-9]*' "$work/serve.log" || true)
  [ -n "$base" ] && break
  sleep 0.1
done
[ -n "$base" ] || { cat "$work/serve.log" >&2; fail "the installed service did not start"; }
answer=$(curl -s -H 'Content-Type: text/xml; charset=utf-8' \
  -H 'SOAPAction: "urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi#EnVerifs"' \
  --data '<?xml version="1.0"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body><q:EnVerifs xmlns:q="urn:VRDS_IIS_WebSCoorSpplyIsapi-IVRDS_IIS_WebSCoorSpplyIsapi"><Src>YWRtaW4xMjM=</Src></q:EnVerifs></s:Body></s:Envelope>' \
  "$base/soap/IVRDS_IIS_WebSCoorSpplyIsapi")
echo "$answer" | has '<return[^>]*>[A-Za-z0-9+/]\{43\}=</return>' \
  || fail "EnVerifs answered: $answer"
echo "packages: both built, unpacked and checked; the installed service answered EnVerifs"
