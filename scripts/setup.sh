#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Fast and silent when everything is already present.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
export DEBIAN_FRONTEND=noninteractive

log() { echo "setup: $*" >&2; }

# A Debian mirror in the middle of a sync serves index files of the wrong size
# for a few minutes; apt then fails the whole update. Wait and try again, and if
# the mirror is still syncing go on with what was fetched: the install below
# fails loudly if a package really cannot be had.
apt_update() {
  local delay
  for delay in 10 30 60 120; do
    apt-get update -qq >/dev/null && return 0
    log "apt-get update failed; trying again in ${delay} s"
    sleep "$delay"
  done
  apt-get update -qq >/dev/null || log "apt-get update still failing; going on with the index files fetched"
}

apt_install() {
  local try
  for try in 1 2 3; do
    apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
    log "apt-get install failed (try $try); refreshing the package lists"
    sleep $((try * 20))
    apt_update
  done
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
  apt_update
fi
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  apt_install "${missing[@]}"
fi

# The LZMA SDK's C sources come from Debian's 7zip source package; only C/ is kept.
if [ ! -f "$lzma_dir/C/LzmaDec.c" ]; then
  log "fetching the LZMA SDK C sources"
  tmp=$(mktemp -d); chmod 755 "$tmp"
  for delay in 10 30 0; do
    (cd "$tmp" && apt-get source --download-only -qq 7zip >/dev/null 2>&1) && break
    log "fetching the 7zip source package failed; trying again in ${delay} s"
    sleep "$delay"
  done
  orig=$(ls "$tmp"/7zip_*.orig.tar.* | head -n 1)
  mkdir -p "$tmp/x" "$lzma_dir"
  tar -xf "$orig" -C "$tmp/x"
  cdir=$(find "$tmp/x" -maxdepth 2 -type d -name C | head -n 1)
  rm -rf "$lzma_dir/C"
  cp -r "$cdir" "$lzma_dir/C"
  rm -rf "$tmp"
fi
