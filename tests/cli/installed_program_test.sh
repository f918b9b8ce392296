#!/usr/bin/env bash
# The installed program: `cmake --install` into a scratch folder, then the
# installed hushgauge (which finds the capture library through its RUNPATH,
# $ORIGIN/../lib/hushgauge, and nothing else) lists the private sound
# server's sources; the desktop entry and the AppStream metainfo validate.
#   installed_program_test.sh BUILD-FOLDER
set -euo pipefail
build=$1
: "${PULSE_SERVER:?run under scripts/with-servers}"
dest=$(mktemp -d /tmp/hg-install-test.XXXXXX)
trap 'rm -rf "$dest"' EXIT

DESTDIR=$dest cmake --install "$build" --prefix /opt/hushgauge >/dev/null
prefix=$dest/opt/hushgauge
for f in bin/hushgauge lib/hushgauge/libhushcapture.so \
  share/applications/example.orvelle.Hushgauge.desktop \
  share/icons/hicolor/scalable/apps/example.orvelle.Hushgauge.svg \
  share/metainfo/example.orvelle.Hushgauge.metainfo.xml; do
  [ -f "$prefix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
done

# No library path from the build: only the RUNPATH can find the library.
got=$(env -u LD_LIBRARY_PATH LC_ALL=C.UTF-8 "$prefix/bin/hushgauge" --list-devices)
expected=$'0\tHushgauge Test Input 1\n1\tHushgauge Test Input 2\n2\tMonitor of Hushgauge Test Output 1\n3\tMonitor of Hushgauge Test Output 2'
if [ "$got" != "$expected" ]; then
  printf 'the installed program listed:\n%s\n' "$got" >&2
  exit 1
fi

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/example.orvelle.Hushgauge.metainfo.xml"
else
  echo "appstreamcli not installed: metainfo not validated"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/example.orvelle.Hushgauge.desktop"
fi
echo "installed program: OK"
