#!/usr/bin/env bash
# Checks the Debian packages of a package build (make package) without touching the machine's
# /usr: each package holds exactly the files of packages.txt (and the headers), lintian finds no
# error in any, and all of them extracted into a temporary root work from outside (outside.sh,
# with pkg-config told the root through PKG_CONFIG_SYSROOT_DIR). Lintian's warnings are printed.
# Usage: package.sh PACKAGE_BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1"); source=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache CMAKE_PROJECT_VERSION); libdir=$(cache CMAKE_INSTALL_LIBDIR)
shopt -s nullglob
debs=("$build"/*.deb)
[ ${#debs[@]} -gt 0 ] || { echo "no packages in $build"; exit 1; }

# Contents: files and links only, as "package path" lines.
for deb in "${debs[@]}"; do
  pkg=$(dpkg-deb -f "$deb" Package)
  dpkg-deb --contents "$deb" | grep -v '^d' | sed -E "s|^([^ ]+ +){5}|$pkg |"
done | grep -v " ./usr/include/dk/" | sort > "$work/actual"
grep -v '^#' "$here/packages.txt" | sed -e "s|@LIBDIR@|$libdir|g" -e "s|@VERSION@|$version|g" | sort > "$work/expected"
diff -u "$work/expected" "$work/actual"
dev=$(printf '%s\n' "${debs[@]}" | grep /libdkcommon-dev_)
diff -u <(cd "$source/include" && ls dk/*.hpp | sed 's|^|./usr/include/|') \
        <(dpkg-deb --contents "$dev" | grep -o '\./usr/include/dk/..*' | sort)
# The exact-version dependencies that tie the packages together.
for rule in "libdkcommon1-sqlite:libdkcommon1 (= $version-1)" "libdkcommon-dev:libdkcommon1 (= $version-1)" \
            "dk-tools:libdkcommon1-sqlite (= $version-1)"; do
  deb=$(printf '%s\n' "${debs[@]}" | grep "/${rule%%:*}_")
  dpkg-deb -f "$deb" Depends | grep -qF "${rule#*:}" || { echo "${rule%%:*} lacks ${rule#*:}"; exit 1; }
done
dpkg-deb -I "$(printf '%s\n' "${debs[@]}" | grep /libdkcommon1_)" shlibs | grep -qx "libdkcommon 1 libdkcommon1 (>= $version-1)"

# Lintian: errors fail, warnings are listed.
lintian --no-tag-display-limit "${debs[@]}" | tee "$work/lintian" || true
if grep -q '^E:' "$work/lintian"; then echo "lintian found errors"; exit 1; fi

for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$work/root"; done
SYSROOT=$work/root "$here/outside.sh" "$work/root/usr" "$source" "$build"
echo "package checks passed: $(basename -a "${debs[@]}" | tr '\n' ' ')"
