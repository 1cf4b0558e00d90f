#!/usr/bin/env bash
# Prepares this machine for building and testing: the Debian packages in scripts/packages.txt,
# and a static libpng for each MinGW-w64 target (Debian ships none), built from Debian's own
# libpng1.6 source into build/deps/<triple>/. Run as root on Debian 12. A run that finds
# everything in place only checks and returns.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps=$root/build/deps
parts=$deps/apt/sourceparts
triples=(i686-w64-mingw32 x86_64-w64-mingw32)
png_source=libpng1.6
started=$SECONDS

log() { printf 'setup: %s\n' "$*"; }
die() {
  printf 'setup: error: %s\n' "$*" >&2
  exit 1
}

mkdir -p "$deps"
# One setup at a time; a second one waits instead of racing on apt and the build folders.
exec 9>"$deps/.setup.lock"
flock 9

# --- Debian packages -------------------------------------------------------------------------

mapfile -t packages < <(sed -e 's/#.*//' -e 's/[[:space:]]\+/\n/g' "$root/scripts/packages.txt" |
  sed '/^$/d')
((${#packages[@]} > 0)) || die "scripts/packages.txt lists no packages"

# One dpkg-query for all packages; a name matches the native or the arch-independent package,
# name:arch that architecture only.
native=$(dpkg --print-architecture)
declare -A installed=()
while read -r name arch status; do
  [[ $status == installed ]] || continue
  installed[$name:$arch]=1
  [[ $arch != "$native" && $arch != all ]] || installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${Architecture} ${db:Status-Status}\n')
missing=()
for p in "${packages[@]}"; do
  case $p in *:native | *:any | *:all) key=${p%:*} ;; *) key=$p ;; esac
  [[ -n ${installed[$key]:-} ]] || missing+=("$p")
done

# --- libpng for MinGW: what is still to do ---------------------------------------------------

# A change to the build recipe rebuilds; otherwise the stamp beside the library says it is done.
recipe=$(sha256sum "$root/scripts/build-libpng-mingw.sh" | cut -c1-16)
png_todo=()
for t in "${triples[@]}"; do
  stamp=$deps/$t/.libpng-stamp
  if [[ -f $deps/$t/lib/libpng.a && -f $stamp && $(head -n1 "$stamp") == "$recipe" ]]; then
    continue
  fi
  png_todo+=("$t")
done

source_dir= source_version=
name=
if [[ -f $deps/src/.fetched ]]; then
  { read -r name && read -r source_version; } <"$deps/src/.fetched" || true
  source_dir=$deps/src/${name:-missing}
  [[ -n $name && -f $source_dir/CMakeLists.txt ]] || source_dir=
fi
need_source=0
((${#png_todo[@]} == 0)) || [[ -n $source_dir ]] || need_source=1

# Builds a private sources folder: the system's own source files, plus deb-src entries derived
# from Debian's binary entries for this release (third-party repositories are left out), so
# one `apt-get update` serves both the package install and `apt-get source`.
make_source_parts() {
  local SRCLIST SRCPARTS LISTS codename f name
  eval "$(apt-config shell SRCLIST Dir::Etc::sourcelist/f SRCPARTS Dir::Etc::sourceparts/d \
    LISTS Dir::State::lists/d)"
  codename=$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")
  [[ -n $codename ]] || die "cannot tell this system's release codename from /etc/os-release"

  rm -rf "$parts"
  mkdir -p "$parts"
  local inputs=()
  [[ -f $SRCLIST ]] && inputs+=("$SRCLIST")
  for f in "$SRCPARTS"*; do
    name=${f##*/}
    # The same names apt itself reads from its parts folder.
    [[ -f $f && $name =~ ^[A-Za-z0-9_.-]+\.(list|sources)$ ]] || continue
    ln -s "$f" "$parts/$name"
    inputs+=("$f")
  done
  ((${#inputs[@]} > 0)) || die "no apt sources found"

  local program
  program=$(
    cat <<'AWK'
function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
function ours(suite) {
  return suite == codename || suite == codename "-updates" || suite == codename "-security" ||
         suite == codename "/updates"
}
# When apt has already fetched the release file, it must say the archive is Debian's.
function foreign(uri, suite,   base, f, i, line, names) {
  base = uri
  sub(/^[a-z+]+:\/\//, "", base); sub(/^[^\/@]*@/, "", base); sub(/\/+$/, "", base)
  base = base "/dists/" suite
  gsub(/\//, "_", base); base = lists "/" base
  split("InRelease Release", names, " ")
  for (i = 1; i <= 2; i++) {
    f = base "_" names[i]
    while ((getline line < f) > 0) {
      if (line ~ /^Origin:/) { close(f); return trim(substr(line, 8)) != "Debian" }
    }
    close(f)
  }
  return 0
}
function record(type, uri, suite, comps, signed, trusted,   key, n, i, c) {
  key = uri SUBSEP suite
  if (type == "deb-src") { has_src[key] = 1; return }
  if (type != "deb" || !ours(suite)) return
  if (!(key in components)) { order[++count] = key; components[key] = ""; signed_by[key] = signed; trust[key] = trusted }
  n = split(comps, c, /[ \t]+/)
  for (i = 1; i <= n; i++)
    if (c[i] != "" && index(" " components[key] " ", " " c[i] " ") == 0)
      components[key] = trim(components[key] " " c[i])
}
function flush(   nt, nu, ns, t, u, s, i, j, k) {
  if (nfield && tolower(field["enabled"]) != "no") {
    nt = split(field["types"], t, /[ \t\n]+/); nu = split(field["uris"], u, /[ \t\n]+/)
    ns = split(field["suites"], s, /[ \t\n]+/)
    for (i = 1; i <= nt; i++) for (j = 1; j <= nu; j++) for (k = 1; k <= ns; k++)
      if (t[i] != "" && u[j] != "" && s[k] != "")
        record(t[i], u[j], s[k], field["components"], field["signed-by"], field["trusted"])
  }
  delete field; nfield = 0; current = ""
}
FNR == 1 { flush(); deb822 = FILENAME ~ /\.sources$/ }
deb822 {
  if ($0 ~ /^#/) next
  if ($0 ~ /^[ \t]*$/) { flush(); next }
  if ($0 ~ /^[ \t]/) { if (current != "") field[current] = field[current] "\n" $0; next }
  p = index($0, ":"); if (!p) next
  current = tolower(trim(substr($0, 1, p - 1))); field[current] = trim(substr($0, p + 1)); nfield++
  next
}
{
  line = $0; sub(/#.*/, "", line)
  opts = ""
  if (match(line, /\[[^]]*\]/)) { opts = substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, 1, RSTART - 1) " " substr(line, RSTART + RLENGTH) }
  n = split(trim(line), w, /[ \t]+/)
  if (n < 3) next
  signed = ""; trusted = ""
  no = split(opts, o, /[ \t]+/)
  for (i = 1; i <= no; i++) {
    if (o[i] ~ /^signed-by=/) signed = substr(o[i], 11)
    if (o[i] ~ /^trusted=/) trusted = substr(o[i], 9)
  }
  comps = ""; for (i = 4; i <= n; i++) comps = comps " " w[i]
  record(w[1], w[2], w[3], comps, signed, trusted)
}
END {
  flush()
  for (i = 1; i <= count; i++) {
    key = order[i]
    if (key in has_src) continue
    split(key, ks, SUBSEP)
    if (foreign(ks[1], ks[2])) continue
    printf "%sTypes: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", (printed++ ? "\n" : ""), ks[1], ks[2], components[key]
    if (signed_by[key] != "") printf "Signed-By: %s\n", signed_by[key]
    if (trust[key] != "") printf "Trusted: %s\n", trust[key]
  }
}
AWK
  )
  awk -v codename="$codename" -v lists="${LISTS%/}" "$program" "${inputs[@]}" \
    >"$parts/quorvel-deb-src.sources.new"
  if [[ -s $parts/quorvel-deb-src.sources.new ]]; then
    mv "$parts/quorvel-deb-src.sources.new" "$parts/quorvel-deb-src.sources"
  else
    rm -f "$parts/quorvel-deb-src.sources.new"
  fi
}

apt_parts=()
need_update=0
((${#missing[@]} == 0)) || need_update=1
if ((need_source)); then
  make_source_parts
  apt_parts=(-o "Dir::Etc::SourceParts=$parts")
  # Source indexes fetched by an earlier run may still be there.
  if ((!need_update)) &&
    ! apt-get -qq "${apt_parts[@]}" --print-uris source "$png_source" >/dev/null 2>&1; then
    need_update=1
  fi
fi

((${#missing[@]} == 0)) || log "missing packages: ${missing[*]}"
if ((need_update)) && ((EUID != 0)); then
  die "packages or package indexes are missing; run as root: sudo $0"
fi

# --- apt: one update, one install --------------------------------------------------------------

if ((${#missing[@]} > 0)); then
  for p in "${missing[@]}"; do
    [[ $p == *:* ]] || continue
    arch=${p##*:}
    case $arch in "$native" | all | any | native) continue ;; esac
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      log "adding architecture $arch"
      dpkg --add-architecture "$arch"
    fi
  done
fi

if ((need_update)); then
  log "apt-get update"
  apt-get update -q "${apt_parts[@]}"
fi

if ((${#missing[@]} > 0)); then
  log "installing packages"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

# --- libpng for MinGW --------------------------------------------------------------------------

# Newest version in the source indexes first; an older one when a mirror lacks its files
# (seen here: a security update's .dsc missing from the mirror while its index lists it).
fetch_source() {
  local versions v
  mapfile -t versions < <(apt-cache "${apt_parts[@]}" showsrc --only-source "$png_source" 2>/dev/null |
    sed -n 's/^Version: *//p' | sort -Vru)
  ((${#versions[@]} > 0)) ||
    die "no $png_source source package in the apt indexes (are Debian's apt sources configured?)"
  mkdir -p "$deps/src"
  for v in "${versions[@]}"; do
    log "fetching Debian's $png_source $v source"
    find "$deps/src" -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
    # apt checks the files against the signed source index; as root the download needs no
    # sandbox user (_apt could not write into this folder anyway).
    if (cd "$deps/src" && apt-get -q "${apt_parts[@]}" -o APT::Sandbox::User=root \
      source "$png_source=$v"); then
      source_dir=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name "$png_source-*" | head -n1)
      if [[ -n $source_dir && -f $source_dir/CMakeLists.txt ]]; then
        source_version=$v
        [[ $v == "${versions[0]}" ]] || log "note: using $png_source $v; ${versions[0]} could not be fetched"
        printf '%s\n%s\n' "$(basename "$source_dir")" "$v" >"$deps/src/.fetched"
        return 0
      fi
    fi
  done
  die "could not fetch any $png_source source version (${versions[*]})"
}

if ((need_source)); then
  fetch_source
fi

for t in "${png_todo[@]}"; do
  log "building static libpng for $t"
  "$root/scripts/build-libpng-mingw.sh" "$source_dir" "$t" "$deps/$t" "$deps/build/libpng-$t"
  printf '%s\n%s %s\n' "$recipe" "$png_source" "$source_version" >"$deps/$t/.libpng-stamp"
done

# --- assets made on this machine ---------------------------------------------------------------

if [[ -x $root/scripts/make-sample-clip.sh ]]; then
  "$root/scripts/make-sample-clip.sh"
fi

log "ready ($((SECONDS - started)) s)"
