#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Fast and silent when everything is already present.
#
# The 32-bit side (the ":i386" packages, and qemu-i386 where the kernel refuses
# 32-bit code) is set up only where 32-bit code can run. When it cannot be set
# up, build/i386-unavailable.txt says why; the tests then test the 64-bit build
# alone and say so. Setting up the 32-bit side never fails the run.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
. "$here/machine.sh"
export DEBIAN_FRONTEND=noninteractive

src_list=/etc/apt/sources.list.d/chainer-deb-src.sources
lzma_dir="$root/third_party/lzma"
qemu=/var/cache/chainer/qemu-i386
i386_note="$root/build/i386-unavailable.txt"
apt_install=(apt-get install -y -qq --no-install-recommends)
i386_unavailable=''
update_options=()

log() { echo "setup: $*" >&2; }

# A Debian mirror in the middle of a sync serves files of the wrong size for a
# minute or two: wait a little and try again, but not for minutes on end.
retry() {
  local what=$1 delay
  shift
  for delay in 10 30; do
    "$@" && return 0
    log "$what failed; trying again in ${delay} s"
    sleep "$delay"
  done
  "$@"
}

# Fills the arrays packages64 and packages32 from packages.txt (":i386" ones
# apart: they are installed only where 32-bit code can run).
read_packages() {
  local line
  packages64=() packages32=()
  while read -r line; do
    line="${line%%#*}"; line="${line//[[:space:]]/}"
    case "$line" in
    '') ;;
    *:i386) packages32+=("$line") ;;
    *) packages64+=("$line") ;;
    esac
  done <"$here/packages.txt"
}

# Prints the packages of "$@" that are not installed, one a line.
not_installed() {
  local p
  for p in "$@"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] ||
      echo "$p"
  done
}

# Prints how this machine runs 32-bit x86 code: native, emulated (qemu-i386
# in a private binfmt_misc) or none.
i386_route() {
  if chainer_runs_i386; then echo native
  elif chainer_can_emulate_i386; then echo emulated
  else echo none
  fi
}

# The deb-src list for `apt-get source 7zip`. bookworm-security is in it so
# that the LZMA SDK comes from the security release's sources; machines set
# up before it was added have a list without it, which is rewritten.
write_src_list() {
  grep -qs 'debian-security' "$src_list" && return 1
  cat >"$src_list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
}

# One apt-get update (arguments go to apt-get). Fails when an index other than
# an i386 one could not be fetched (apt-get itself exits 0 when a whole site
# is unreachable), keeping apt's lines in update_errors. Failed i386 indexes
# land in i386_errors instead: one stayed broken on Debian's security mirror
# for days, so retrying them only wastes minutes.
update_once() {
  local out
  out=$(apt-get "$@" update -qq 2>&1 >/dev/null) || true
  out=$(grep -e 'Failed to fetch' -e '^E: ' <<<"$out" |
    grep -v 'Some index files failed to download' || true)
  i386_errors=$(grep 'binary-i386/' <<<"$out" || true)
  update_errors=$(grep -v 'binary-i386/' <<<"$out" || true)
  [ -z "$update_errors" ]
}

# The 64-bit side cannot do without fresh lists: the run stops here.
update_failed() {
  log "apt-get update failed:"
  printf '%s\n' "$update_errors" >&2
  exit 1
}

# apt-get update, retried briefly for a mirror mid-sync. When an i386 index
# fails, apt drops that whole suite, its amd64 indexes too, and keeps the
# lists it had (a fresh machine then installs amd64 packages below their
# security versions): the amd64 side is fetched again alone, and the broken
# suite is kept in i386_unavailable for setup_i386. Later updates of this run
# stay amd64 alone.
update_lists() {
  local suite
  log "apt-get update"
  retry "apt-get update" update_once || update_failed
  [ -n "$i386_errors" ] || return 0
  suite=$(sed -n 's#.*/dists/\(.*\)/\([^/]*\)/binary-i386/.*#\1 \2#p' <<<"$i386_errors" | head -n 1)
  i386_unavailable="the i386 index of ${suite:-a suite} is missing (mirror mid-sync?)"
  update_options=(-o APT::Architectures::=amd64)
  retry "apt-get update" update_once "${update_options[@]}" || update_failed
}

# A package that vanished from a mirror mid-sync comes back with fresh lists.
refresh_and_install() {
  update_once "${update_options[@]}" || true
  "${apt_install[@]}" "$@" >/dev/null
}

install_packages() {
  log "installing $*"
  "${apt_install[@]}" "$@" >/dev/null || retry "apt-get install" refresh_and_install "$@"
}

# The LZMA SDK's C sources come from Debian's 7zip source package; only C/ is kept.
fetch_lzma() {
  local tmp orig cdir
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
}

# Prints the file apt keeps an index in ($1, the name without suffix), if any:
# it stores indexes compressed as it pleases.
index_on_disk() {
  local f
  for f in "$1" "$1".lz4 "$1".zst "$1".gz "$1".xz "$1".bz2 "$1".lzma; do
    [ -f "$f" ] && { echo "$f"; return 0; }
  done
  return 1
}

# Status 0 when the index file holds what its Release file lists for it (the
# SHA256 of the uncompressed index). An index the Release does not list
# uncompressed cannot be compared and passes.
index_matches_release() {
  local index=$1 release_file=$2 metakey=$3 want got
  want=$(awk -v k="$metakey" '/^SHA256:/ { s = 1; next } /^[^ ]/ { s = 0 }
    s && $3 == k { print $1; exit }' "$release_file")
  [ -n "$want" ] || return 0
  got=$(/usr/lib/apt/apt-helper cat-file "$index" | sha256sum)
  [ "${got%% *}" = "$want" ]
}

# Prints, and fails, when an i386 Packages index does not match its amd64 one:
# each suite/component with an amd64 index must have its i386 index on disk,
# both from the Release file on disk. Otherwise the amd64 copies of "Multi-Arch:
# same" libraries (libssl3, zlib1g...) come from, say, bookworm-security, their
# i386 copies cannot match, and apt ends with "held broken packages" after a
# long resolve. Arguments go to apt-get (another Dir::State::Lists, say).
i386_index_problem() {
  local site rel comp arch metakey base key i386key release_file what amd64 i386
  local -A bases=() metakeys=()
  # Every index apt is set up to fetch, on disk or not (one apt-get call: on
  # a machine without apt's cache files each one takes a second or two).
  while IFS='|' read -r site rel comp arch metakey base; do
    bases["$site|$rel|$comp|$arch"]=$base
    metakeys["$site|$rel|$comp|$arch"]=$metakey
  done < <(apt-get "$@" --no-release-info indextargets 'Created-By: Packages' \
    --format '$(SITE)|$(RELEASE)|$(COMPONENT)|$(ARCHITECTURE)|$(METAKEY)|$(FILENAME)')

  while read -r key; do
    [ -n "$key" ] || continue
    i386key="${key%|amd64}|i386"
    amd64=$(index_on_disk "${bases[$key]}") || continue
    # A source limited to amd64 ("Architectures: amd64") has no i386 index.
    [ -n "${bases[$i386key]:-}" ] || continue
    IFS='|' read -r site rel comp _ <<<"$key"
    what="$rel $comp"
    metakey=${metakeys[$key]}
    base=${bases[$key]%"${metakey//\//_}"}
    release_file="${base}InRelease"
    [ -f "$release_file" ] || release_file="${base}Release"
    if [ ! -f "$release_file" ]; then
      echo "the Release file of $what is missing (mirror mid-sync?)"
      return 1
    fi
    # A repository that builds nothing for i386 is no mismatch.
    if grep -q '^Architectures:' "$release_file" &&
      ! grep '^Architectures:' "$release_file" | grep -qw i386; then
      continue
    fi
    if ! i386=$(index_on_disk "${bases[$i386key]}"); then
      echo "the i386 index of $what is missing (mirror mid-sync?)"
      return 1
    fi
    if ! index_matches_release "$amd64" "$release_file" "$metakey"; then
      echo "the amd64 index of $what is not the one its Release file lists (mirror mid-sync?)"
      return 1
    fi
    if ! index_matches_release "$i386" "$release_file" "${metakeys[$i386key]}"; then
      echo "the i386 index of $what is not the one its Release file lists (mirror mid-sync?)"
      return 1
    fi
  done < <(printf '%s\n' "${!bases[@]}" | grep '|amd64$' | sort)
}

# Writes the note the test scripts read (unchanged notes are left alone).
note_i386_unavailable() {
  [ "$(cat "$i386_note" 2>/dev/null)" = "$1" ] && return 0
  mkdir -p "$(dirname "$i386_note")"
  printf '%s\n' "$1" >"$i386_note"
}

# One line, and the note: the 64-bit side is set up all the same.
give_up_i386() {
  log "$1: the 32-bit program cannot be tested on this run"
  note_i386_unavailable "$1"
}

# Debian 12's own qemu-user-static (7.2) is too slow for Wine (each process
# spends minutes in mmap); bookworm-backports has 10.x. A private apt
# configuration fetches it without touching the machine's sources or
# packages; apt still checks the signature and the hash.
fetch_qemu() {
  local tmp ok=1 apt
  tmp=$(mktemp -d)
  mkdir -p "$tmp/parts" "$tmp/lists/partial" "$tmp/cache/archives/partial"
  printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' \
    'Suites: bookworm-backports' 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$tmp/parts/bp.sources"
  apt=(-qq -o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$tmp/parts"
    -o Dir::State::Lists="$tmp/lists" -o Dir::Cache="$tmp/cache"
    -o APT::Architectures::=amd64 -o APT::Sandbox::User=root)
  if apt-get "${apt[@]}" update >/dev/null &&
    (cd "$tmp" && apt-get "${apt[@]}" download qemu-user/bookworm-backports >/dev/null) &&
    dpkg-deb -x "$tmp"/qemu-user_*.deb "$tmp/x" &&
    "$tmp/x/usr/bin/qemu-i386" --version >/dev/null; then
    mkdir -p "$(dirname "$qemu")"
    install -m 755 "$tmp/x/usr/bin/qemu-i386" "$qemu.new"
    mv -f "$qemu.new" "$qemu"
    ok=0
  fi
  rm -rf "$tmp"
  return "$ok"
}

# The 32-bit side: the missing ":i386" packages ("$@") once the i386 indexes
# agree with the amd64 ones, and qemu-i386 on the emulated route. Any trouble
# here gives up the 32-bit side for this run only; the next run tries again.
setup_i386() {
  local route=$1 problem errors
  shift
  if [ $# -gt 0 ]; then
    [ -z "$i386_unavailable" ] || { give_up_i386 "$i386_unavailable"; return 0; }
    problem=$(i386_index_problem) || { give_up_i386 "$problem"; return 0; }
    log "installing $*"
    if ! errors=$("${apt_install[@]}" "$@" 2>&1 >/dev/null); then
      give_up_i386 "apt-get could not install $* ($(grep '^E: ' <<<"$errors" | tail -n 1))"
      return 0
    fi
  fi
  if [ "$route" = emulated ] && [ ! -x "$qemu" ]; then
    log "fetching qemu-i386 from bookworm-backports"
    retry "fetching qemu-i386" fetch_qemu ||
      { give_up_i386 "qemu-i386 could not be fetched from bookworm-backports"; return 0; }
  fi
  rm -f "$i386_note"
}

main() {
  local route need_update=0 missing64 missing32
  read_packages
  route=$(i386_route)
  mapfile -t missing64 < <(not_installed "${packages64[@]}")
  missing32=()
  if [ "$route" = none ]; then
    note_i386_unavailable "this machine neither runs 32-bit x86 code nor can emulate it (kernel 6.7 or later with user namespaces)"
  else
    mapfile -t missing32 < <(not_installed "${packages32[@]}")
  fi

  if [ ${#missing32[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  if write_src_list || [ ${#missing64[@]} -gt 0 ] || [ ${#missing32[@]} -gt 0 ] ||
    [ ! -f "$lzma_dir/C/LzmaDec.c" ]; then
    need_update=1
  fi

  [ "$need_update" = 0 ] || update_lists
  [ ${#missing64[@]} -eq 0 ] || install_packages "${missing64[@]}"
  [ -f "$lzma_dir/C/LzmaDec.c" ] || fetch_lzma
  [ "$route" = none ] || setup_i386 "$route" "${missing32[@]}"
}

# Sourced, it only defines the functions (to try one of them by hand).
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  main "$@"
fi
