#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the files and the menu and
# AppStream entries, then starts the installed program offscreen and ends it the
# way a logout does: it must quit cleanly and leave its backup in the data folder.
set -euo pipefail
build=$1
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

id=example.tempora_zeitnahme.Zeitnahme
for f in bin/Zeitnahme \
  share/applications/$id.desktop \
  share/metainfo/$id.metainfo.xml \
  share/icons/hicolor/scalable/apps/$id.svg \
  share/icons/hicolor/16x16/apps/$id.png \
  share/icons/hicolor/48x48/apps/$id.png \
  share/icons/hicolor/256x256/apps/$id.png \
  share/doc/zeitnahme/hilfe.html \
  share/doc/zeitnahme/copyright \
  share/doc/zeitnahme/changelog.gz \
  share/man/man1/Zeitnahme.1.gz; do
  [ -s "$prefix/$f" ] || { echo "FAIL: $f is not installed"; exit 1; }
done
# Every picture the installed README shows is installed beside it.
doc=$prefix/share/doc/zeitnahme
for picture in $(grep -o '](docs/[^)]*\.png)' "$doc/README.md" | sed 's/^](//; s/)$//'); do
  [ -s "$doc/$picture" ] || { echo "FAIL: the README shows $picture, which is not installed"; exit 1; }
done
gzip -t "$doc/changelog.gz" "$prefix/share/man/man1/Zeitnahme.1.gz"
[ -x "$prefix/bin/Zeitnahme" ] || { echo "FAIL: bin/Zeitnahme is not executable"; exit 1; }
grep -qx "Exec=Zeitnahme" "$prefix/share/applications/$id.desktop"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop"
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"

# Started from an empty folder with a home of its own, like from the menu.
bash "$(dirname "$0")/../../scripts/start-check.sh" "$prefix/bin/Zeitnahme"
echo "installed, validated, started and quit"
