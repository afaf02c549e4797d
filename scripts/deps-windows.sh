#!/usr/bin/env bash
# The Windows libraries of the cross build, made from Debian's source
# packages with MinGW-w64 and installed into one prefix outside the clone:
#   Qt 6 (Core, Gui, Widgets, Test; the windows, offscreen and minimal
#   platform plugins, the windowsvista style; Qt's own French texts, from
#   Debian's qt6-translations-l10n), FFTW in single precision, pugixml,
#   HDF5 (C library; its probe programs run under Wine), libusb-1.0.dll.
# The prefix is named after the source versions and this script's options,
# so it is built once per machine and reused while they stay the same.
#
#   scripts/deps-windows.sh          builds what is missing, prints the prefix
#                                    on its last line
#   scripts/deps-windows.sh --chemin prints the prefix it would use, builds nothing
#   scripts/deps-windows.sh qt6-base hdf5 …  builds only those (the prefix is
#                                    complete once each has been built)
#
# ONDARIS_WINDOWS_PREFIX names a prefix made elsewhere (on a Windows machine,
# say) instead: it is used as it is. ONDARIS_WINDOWS_RACINE is the folder the
# prefixes go into (/opt/ondaris-windows by default).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

if [ -n "${ONDARIS_WINDOWS_PREFIX:-}" ]; then
  [ -f "$ONDARIS_WINDOWS_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" ] ||
    { echo "ONDARIS_WINDOWS_PREFIX=$ONDARIS_WINDOWS_PREFIX : pas de Qt 6 pour Windows dedans" >&2; exit 1; }
  echo "$ONDARIS_WINDOWS_PREFIX"
  exit 0
fi

racine=${ONDARIS_WINDOWS_RACINE:-/opt/ondaris-windows}
# Bumped whenever the options below change what a prefix holds.
recette=1
sources=(qt6-base fftw3 pugixml libusb-1.0 hdf5)
jobs=$(nproc 2>/dev/null || echo 2)
hote=x86_64-w64-mingw32

# Debian's source lists of our own, next to the prefixes: the machine's apt
# configuration is left alone.
apt_dir=$racine/apt
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=-"
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
          -o "Dir::State::status=/var/lib/dpkg/status" -o "APT::Sandbox::User=root")
prepare_apt() {
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  # The same mirrors as the machine's own binary lists, as deb-src.
  {
    grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | sed 's/^deb /deb-src /' || true
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk 'BEGIN{RS=""; FS="\n"} /Types:[^\n]*deb/ {
             uris=""; suites=""; comps=""; signed="";
             for (i = 1; i <= NF; i++) {
               if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris) }
               if ($i ~ /^Suites:/) { suites = $i; sub(/^Suites:[ \t]*/, "", suites) }
               if ($i ~ /^Components:/) { comps = $i; sub(/^Components:[ \t]*/, "", comps) }
               if ($i ~ /^Signed-By:/) { signed = $i; sub(/^Signed-By:[ \t]*/, "", signed) }
             }
             n = split(suites, s, " "); m = split(uris, u, " ");
             for (j = 1; j <= m; j++) for (k = 1; k <= n; k++)
               printf "deb-src%s %s %s %s\n", (signed != "" ? " [signed-by=" signed "]" : ""), u[j], s[k], comps
           }' "$f"
    done
  } | grep -F debian.org | sort -u >"$apt_dir/sources.list.new"
  [ -s "$apt_dir/sources.list.new" ] || { echo "aucune source Debian trouvée dans /etc/apt" >&2; return 1; }
  mv "$apt_dir/sources.list.new" "$apt_dir/sources.list"
  apt-get "${apt_opts[@]}" -qq update
}
version_de() {
  apt-cache "${apt_opts[@]}" showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -V | tail -1
}

mkdir -p "$racine"
if ! prepare_apt >"$racine/apt.log" 2>&1; then
  # No archive to ask (offline): the newest complete prefix of this recipe.
  ancien=$(ls -d "$racine"/r${recette}-* 2>/dev/null | while read -r d; do
             [ -f "$d/.complet" ] && echo "$d"; done | tail -1)
  if [ -n "$ancien" ]; then echo "$ancien"; exit 0; fi
  cat "$racine/apt.log" >&2
  echo "ÉCHEC : les sources Debian ne sont pas joignables et aucun préfixe n'est prêt dans $racine" >&2
  exit 1
fi
nom="r${recette}"
declare -A version
for s in "${sources[@]}"; do
  v=$(version_de "$s")
  [ -n "$v" ] || { echo "ÉCHEC : le paquet source $s est introuvable" >&2; exit 1; }
  version[$s]=$v
  nom+="-${s}_${v}"
done
nom=${nom//[:+~]/.}
prefixe=$racine/$nom
if [ "${1:-}" = --chemin ]; then echo "$prefixe"; exit 0; fi
if [ -f "$prefixe/.complet" ]; then
  echo "Bibliothèques Windows déjà construites : $prefixe"
  echo "$prefixe"
  exit 0
fi

scripts/install-deps.sh windows
travail=$racine/construction-$nom
mkdir -p "$travail" "$prefixe"
bilan=()
echecs=0

# Fetches and unpacks one source package once; prints its folder.
source_de() {
  local s=$1 d
  d=$(ls -d "$travail/src-$s"/*/ 2>/dev/null | head -1)
  if [ -z "$d" ]; then
    rm -rf "$travail/src-$s"
    mkdir -p "$travail/src-$s"
    (cd "$travail/src-$s" && apt-get "${apt_opts[@]}" -qq source "$s=${version[$s]}" >/dev/null 2>&1) ||
      { echo "apt-get source $s impossible" >&2; return 1; }
    d=$(ls -d "$travail/src-$s"/*/ | head -1)
  fi
  echo "${d%/}"
}

# A CMake toolchain for the libraries: the posix compilers, and the prefix
# itself among the places to find things.
chaine=$travail/mingw.cmake
cat >"$chaine" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER /usr/bin/$hote-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/$hote-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/$hote-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$hote $prefixe)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

etape() {
  local s=$1 t0 rc=0
  shift
  if [ -f "$prefixe/.fait-$s" ]; then
    bilan+=("$s ${version[$s]} : déjà là")
    return 0
  fi
  t0=$(date +%s)
  echo "== $s ${version[$s]}"
  "$@" >"$travail/$s.log" 2>&1 || rc=$?
  if [ "$rc" -eq 0 ]; then
    touch "$prefixe/.fait-$s"
    bilan+=("$s ${version[$s]} : $(( $(date +%s) - t0 )) s")
  else
    bilan+=("$s ${version[$s]} : ÉCHEC après $(( $(date +%s) - t0 )) s (journal : $travail/$s.log)")
    tail -30 "$travail/$s.log" >&2
    echecs=$((echecs + 1))
  fi
}

construit_libusb() {
  local d
  d=$(source_de libusb-1.0)
  rm -rf "$travail/b-libusb" && cp -a "$d" "$travail/b-libusb" && cd "$travail/b-libusb"
  ./configure --host=$hote CC=$hote-gcc-posix --prefix="$prefixe" --disable-static --enable-shared
  make -j"$jobs"
  make install
  test -f "$prefixe/bin/libusb-1.0.dll"
}

construit_pugixml() {
  local d
  d=$(source_de pugixml)
  cmake -S "$d" -B "$travail/b-pugixml" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$chaine" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefixe" -DBUILD_SHARED_LIBS=ON \
        -DPUGIXML_BUILD_TESTS=OFF
  cmake --build "$travail/b-pugixml" -j"$jobs"
  cmake --install "$travail/b-pugixml"
}

construit_fftw() {
  local d
  d=$(source_de fftw3)
  rm -rf "$travail/b-fftw" && mkdir -p "$travail/b-fftw" && cd "$travail/b-fftw"
  "$d/configure" --host=$hote CC=$hote-gcc-posix --prefix="$prefixe" --enable-float --enable-shared \
                 --disable-static --disable-fortran --enable-sse2 --enable-avx --enable-avx2 \
                 --with-our-malloc
  make -j"$jobs"
  make install
  test -f "$prefixe/bin/libfftw3f-3.dll"
}

construit_hdf5() {
  local d
  d=$(source_de hdf5)
  # Its probe programs (H5detect, H5make_libsettings) run under Wine, in a
  # Wine prefix of their own.
  export WINEPREFIX=$travail/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
  # A configure probe writes its answer into its working folder, which
  # CMake's try_run leaves as the caller's: there the probes run in the build
  # folder, where HDF5 reads the answers. The build's own steps (H5detect,
  # H5make_libsettings) stay in the folder they are given.
  local sonde=$travail/wine-sonde
  cat >"$sonde" <<EOF2
#!/bin/sh
case "\$PWD" in "$travail/b-hdf5"*) ;; *) cd "$travail/b-hdf5" || exit 1 ;; esac
exec wine "\$@"
EOF2
  chmod +x "$sonde"
  # MinGW has unistd.h but no sys/wait.h, which HDF5 includes with it.
  cmake -S "$d" -B "$travail/b-hdf5" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$chaine" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$sonde" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefixe" \
        -DBUILD_SHARED_LIBS=ON -DONLY_SHARED_LIBS=ON -DBUILD_TESTING=OFF \
        -DHDF5_BUILD_TOOLS=OFF -DHDF5_BUILD_EXAMPLES=OFF -DHDF5_BUILD_UTILS=OFF \
        -DHDF5_BUILD_CPP_LIB=OFF -DHDF5_BUILD_HL_LIB=OFF -DHDF5_BUILD_FORTRAN=OFF -DHDF5_BUILD_JAVA=OFF \
        -DHDF5_ENABLE_Z_LIB_SUPPORT=OFF -DHDF5_ENABLE_SZIP_SUPPORT=OFF -DHDF5_ENABLE_THREADSAFE=OFF \
        -DHDF5_GENERATE_HEADERS=OFF -DH5_HAVE_UNISTD_H:INTERNAL=0
  cmake --build "$travail/b-hdf5" -j"$jobs"
  cmake --install "$travail/b-hdf5"
  wineserver -k >/dev/null 2>&1 || true
  test -f "$prefixe/bin/libhdf5.dll"
}

construit_qt() {
  local d
  d=$(source_de qt6-base)
  # Debian's own moc, rcc and uic do the host's part. Debian's tarball drops
  # src/3rdparty/wintab, hence no tablet events (nobody here uses a tablet).
  cmake -S "$d" -B "$travail/b-qt" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$chaine" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefixe" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_WITH_PCH=OFF \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_tabletevent=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_system_doubleconversion=OFF
  cmake --build "$travail/b-qt" -j"$jobs"
  cmake --install "$travail/b-qt"
  mkdir -p "$prefixe/translations"
  cp /usr/share/qt6/translations/qtbase_fr.qm "$prefixe/translations/"
  test -f "$prefixe/plugins/platforms/qwindows.dll"
}

voulues=("$@")
[ ${#voulues[@]} -gt 0 ] || voulues=("${sources[@]}")
voulue() { local v; for v in "${voulues[@]}"; do [ "$v" = "$1" ] && return 0; done; return 1; }
debut=$(date +%s)
for s in "${voulues[@]}"; do
  source_de "$s" >/dev/null || { bilan+=("$s : sources introuvables"); echecs=$((echecs + 1)); }
done
voulue libusb-1.0 && etape libusb-1.0 construit_libusb
voulue pugixml && etape pugixml construit_pugixml
voulue fftw3 && etape fftw3 construit_fftw
voulue hdf5 && etape hdf5 construit_hdf5
voulue qt6-base && etape qt6-base construit_qt

echo "Bibliothèques Windows dans $prefixe ($(( $(date +%s) - debut )) s) :"
printf '  %s\n' "${bilan[@]}"
if [ "$echecs" -ne 0 ]; then
  echo "ÉCHEC : $echecs bibliothèque(s) non construite(s)" >&2
  exit 1
fi
# The runtime DLLs of MinGW-w64, beside the libraries, for whoever links
# against them dynamically.
for dll in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
  f=$($hote-g++-posix -print-file-name=$dll)
  [ -f "$f" ] && cp "$f" "$prefixe/bin/"
done
for s in "${sources[@]}"; do
  [ -f "$prefixe/.fait-$s" ] || { echo "Préfixe incomplet ($s reste à construire) : $prefixe"; exit 0; }
done
touch "$prefixe/.complet"
# The sources and build trees go; the toolchain stays (Qt's own toolchain
# file loads it).
rm -rf "$travail"/src-* "$travail"/b-* "$travail"/wine
echo "$prefixe"
