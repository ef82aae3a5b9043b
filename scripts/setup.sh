#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Fast and silent when everything is already present.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
export DEBIAN_FRONTEND=noninteractive

log() { echo "setup: $*" >&2; }

packages=()
while read -r line; do
  line="${line%%#*}"; line="${line//[[:space:]]/}"
  [ -n "$line" ] && packages+=("$line")
done < "$here/packages.txt"

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

src_list=/etc/apt/sources.list.d/chainer-deb-src.sources
lzma_dir="$root/third_party/lzma"
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
if [ ! -f "$src_list" ]; then
  cat > "$src_list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi
if [ ${#missing[@]} -gt 0 ] || [ ! -f "$lzma_dir/C/LzmaDec.c" ]; then
  need_update=1
fi

if [ "$need_update" = 1 ]; then
  log "apt-get update"
  apt-get update -qq >/dev/null
fi
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The LZMA SDK's C sources come from Debian's 7zip source package; only C/ is kept.
if [ ! -f "$lzma_dir/C/LzmaDec.c" ]; then
  log "fetching the LZMA SDK C sources"
  tmp=$(mktemp -d); chmod 755 "$tmp"
  (cd "$tmp" && apt-get source --download-only -qq 7zip >/dev/null 2>&1)
  orig=$(ls "$tmp"/7zip_*.orig.tar.* | head -n 1)
  mkdir -p "$tmp/x" "$lzma_dir"
  tar -xf "$orig" -C "$tmp/x"
  cdir=$(find "$tmp/x" -maxdepth 2 -type d -name C | head -n 1)
  rm -rf "$lzma_dir/C"
  cp -r "$cdir" "$lzma_dir/C"
  rm -rf "$tmp"
fi
