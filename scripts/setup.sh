#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Fast and silent when everything is already present.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
export DEBIAN_FRONTEND=noninteractive

log() { echo "setup: $*" >&2; }

# A Debian mirror in the middle of a sync serves files of the wrong size for a
# few minutes, and apt then fails the whole step: wait and try again.
retry() {
  local what=$1 delay
  shift
  for delay in 10 30 60 120; do
    "$@" && return 0
    log "$what failed; trying again in ${delay} s"
    sleep "$delay"
  done
  "$@"
}

# A package missing on the mirror may come back with fresh lists.
refresh_and_install() {
  apt-get update -qq >/dev/null || true
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

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
  # Still syncing after all tries: go on with the lists fetched; the install
  # below fails loudly if a package really cannot be had.
  retry "apt-get update" apt-get update -qq >/dev/null ||
    log "apt-get update still failing; going on with the index files fetched"
fi
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    retry "apt-get install" refresh_and_install "${missing[@]}"
fi

# The LZMA SDK's C sources come from Debian's 7zip source package; only C/ is kept.
if [ ! -f "$lzma_dir/C/LzmaDec.c" ]; then
  log "fetching the LZMA SDK C sources"
  tmp=$(mktemp -d); chmod 755 "$tmp"
  retry "fetching the 7zip source package" \
    sh -c 'cd "$1" && apt-get source --download-only -qq 7zip >/dev/null 2>&1' sh "$tmp"
  orig=$(ls "$tmp"/7zip_*.orig.tar.* | head -n 1)
  mkdir -p "$tmp/x" "$lzma_dir"
  tar -xf "$orig" -C "$tmp/x"
  cdir=$(find "$tmp/x" -maxdepth 2 -type d -name C | head -n 1)
  rm -rf "$lzma_dir/C"
  cp -r "$cdir" "$lzma_dir/C"
  rm -rf "$tmp"
fi
