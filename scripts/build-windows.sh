#!/usr/bin/env bash
# Builds skylume.exe for 64-bit Windows with Debian's mingw-w64 into
# build/windows/ (Release, debug information beside the program), and the
# folder a Windows user unpacks, build/windows/dist/, with its zip (which holds
# it as Skylume-<version>/).
# Installs what it needs. The libraries not in Debian for mingw are built once
# from Debian's own source packages into build/windows-deps/.
# Usage: build-windows.sh [build folder] [cmake options...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/windows}"; shift || true
deps="${SKLM_WINDOWS_DEPS:-$root/build/windows-deps}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
start=$(date +%s)

PACKAGES=(
  cmake ninja-build zip dpkg-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  libfmt-dev nlohmann-json3-dev libmsgsl-dev googletest
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# ---- Libraries, once ----------------------------------------------------------
mkdir -p "$deps"
prefix="$deps/prefix"
log="$deps/build.log"

# The header-only libraries' headers, in a folder of their own.
if [[ ! -f "$prefix/headers/.done" ]]; then
  rm -rf "$prefix/headers"
  mkdir -p "$prefix/headers"
  cp -r /usr/include/fmt /usr/include/nlohmann /usr/include/gsl "$prefix/headers/"
  touch "$prefix/headers/.done"
fi

# The machine's own Debian sources as deb-src entries (deb822): the URIs, suites
# and components of each of its "deb" entries, with their keys, read from
# /etc/apt/sources.list and sources.list.d (one-line .list and deb822 .sources
# files alike), so that a mirror or a proxy it is set up with serves them too.
deb_src_entries() {
  local files=()
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do [[ -f "$f" ]] && files+=("$f"); done
  ((${#files[@]} == 0)) || awk '
    { sub(/#.*/, "") }
    $1 != "deb" { next }
    {
      signed = ""; trusted = ""; i = 2
      if ($2 ~ /^\[/) {
        options = ""
        for (; i <= NF; i++) { options = options " " $i; if ($i ~ /\]$/) { i++; break } }
        gsub(/[][]/, " ", options)
        n = split(options, option, " ")
        for (k = 1; k <= n; k++) {
          if (option[k] ~ /^signed-by=/) signed = substr(option[k], 11)
          if (option[k] == "trusted=yes") trusted = "yes"
        }
      }
      if (i + 1 > NF) next
      print "Types: deb-src"; print "URIs: " $i; print "Suites: " $(i + 1)
      components = ""
      for (k = i + 2; k <= NF; k++) components = components (components == "" ? "" : " ") $k
      if (components != "") print "Components: " components
      if (signed != "") print "Signed-By: " signed
      if (trusted != "") print "Trusted: " trusted
      print ""
    }' "${files[@]}"
  files=()
  for f in /etc/apt/sources.list.d/*.sources; do [[ -f "$f" ]] && files+=("$f"); done
  ((${#files[@]} == 0)) || awk '
    function flush() {
      if (types ~ /(^|[ \t])deb([ \t]|$)/ && tolower(enabled) != "no" && uris != "" && suites != "") {
        print "Types: deb-src"; print "URIs: " uris; print "Suites: " suites
        if (components != "") print "Components: " components
        if (signed != "") print "Signed-By:" signed
        if (trusted != "") print "Trusted: " trusted
        print ""
      }
      types = uris = suites = components = signed = trusted = enabled = field = ""
    }
    FNR == 1 { flush() }
    /^#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { if (field == "signed-by") signed = signed "\n" $0; next }
    {
      field = tolower(substr($0, 1, index($0, ":") - 1))
      value = substr($0, index($0, ":") + 1)
      if (field == "signed-by") { signed = value; next }
      gsub(/^[ \t]+|[ \t]+$/, "", value)
      if (field == "types") types = value
      else if (field == "uris") uris = value
      else if (field == "suites") suites = value
      else if (field == "components") components = value
      else if (field == "trusted") trusted = value
      else if (field == "enabled") enabled = value
    }
    END { flush() }' "${files[@]}"
}

# Debian's source packages, fetched through apt directories of our own that
# hold the deb-src entries: the machine's apt configuration stays as it is.
fetch_sources() {
  local apt="$deps/apt"
  mkdir -p "$apt/lists/partial" "$apt/parts" "$apt/cache/archives/partial" "$deps/src"
  : >"$apt/sources.list"
  deb_src_entries >"$apt/parts/debian.sources"
  [[ -s "$apt/parts/debian.sources" ]] || { echo "  no deb entry in the machine's apt sources" >&2; return 1; }
  local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Debug::NoLocking=1
    -o APT::Sandbox::User=root)
  # A source of another vendor may have no source packages: apt says so in the
  # log and the others serve.
  apt-get "${opts[@]}" update >>"$log" 2>&1 || echo "  apt-get update reported failures (see $log)" >&2
  (cd "$deps/src" && apt-get "${opts[@]}" source pugixml libzip >>"$log" 2>&1) ||
    { echo "  the source packages could not be fetched (see $log)" >&2; return 1; }
}

cmake_dep() {  # name source-folder cmake-options...
  local name="$1" src="$2"; shift 2
  local t
  t=$(date +%s)
  {
    cmake -S "$src" -B "$deps/build-$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DSKLM_WINDOWS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
      -DCMAKE_INSTALL_PREFIX="$prefix" "$@" &&
      cmake --build "$deps/build-$name" -j "$(nproc)" &&
      cmake --install "$deps/build-$name"
  } >"$deps/build-$name.log" 2>&1 || { echo "  $name failed: $deps/build-$name.log" >&2; return 1; }
  echo "  $name built in $(( $(date +%s) - t )) s"
}

if [[ ! -f "$prefix/.done" ]]; then
  # The three are built side by side: one at a time they took three minutes of
  # the CI run under load. libzip finds zlib in the system's mingw folder, not in
  # the prefix the others install into, so no build waits for another.
  echo "building the Windows libraries into $deps"
  : >"$log"
  cmake_dep googletest /usr/src/googletest -Dgtest_disable_pthreads=OFF &
  gtest=$!
  t=$(date +%s)
  ls -d "$deps"/src/pugixml-*/ "$deps"/src/libzip-*/ >/dev/null 2>&1 || fetch_sources
  echo "  sources fetched in $(( $(date +%s) - t )) s"
  cmake_dep pugixml "$(ls -d "$deps"/src/pugixml-*/ | head -1)" -DPUGIXML_BUILD_TESTS=OFF &
  pugixml=$!
  cmake_dep libzip "$(ls -d "$deps"/src/libzip-*/ | head -1)" -DZLIB_USE_STATIC_LIBS=ON \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF &
  libzip=$!
  failed=0
  for job in "$gtest" "$pugixml" "$libzip"; do wait "$job" || failed=1; done
  ((failed == 0)) || exit 1
  touch "$prefix/.done"
fi

# ---- The program ----------------------------------------------------------------
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DSKLM_WINDOWS_DEPS="$prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKLM_TESTS=OFF "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"

# ---- The folder a Windows user unpacks ------------------------------------------------
version="$(sed -n 's/^project(Skylume VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
dist="$build/dist"
rm -rf "$dist" "$build/skylume-$version-win64.zip"
mkdir -p "$dist/docs" "$dist/input" "$dist/output" "$dist/airports"
cp "$build/skylume.exe" "$dist/"
cp "$root/resources/README-windows.txt" "$dist/README.txt"
cp "$root/resources/README-windows.txt" "$dist/docs/README.txt"
# The zip holds one folder, so that unpacking it beside other files mixes nothing.
stage="$build/zip-stage"
rm -rf "$stage"
mkdir -p "$stage"
cp -r "$dist" "$stage/Skylume-$version"
(cd "$stage" && zip -qr "../skylume-$version-win64.zip" "Skylume-$version")
rm -rf "$stage"

echo "Windows build: $dist/skylume.exe and $build/skylume-$version-win64.zip in $(( $(date +%s) - start )) s"
