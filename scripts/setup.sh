#!/usr/bin/env bash
# Installs the Debian packages the project needs and that are missing: "build" for the Linux
# programs, "package" for them and their .deb, "test" for the whole test suite and the Windows
# cross-build too.
set -euo pipefail

build_packages=(cmake ninja-build g++ libsqlite3-dev qt6-base-dev)
package_packages=("${build_packages[@]}" dpkg-dev file desktop-file-utils man-db)
test_packages=("${package_packages[@]}" ccache libgtest-dev libbenchmark-dev g++-mingw-w64-x86-64-posix
  googletest wine64 xvfb xdotool wixl msitools
  clang libclang-rt-14-dev clang-format clang-tidy python3
  thunar caja dbus-daemon imagemagick tesseract-ocr lintian devscripts xfsprogs btrfs-progs
  e2fsprogs sqlite3 bindfs exfat-fuse exfatprogs)

case "${1:-test}" in
  build) wanted=("${build_packages[@]}") ;;
  package) wanted=("${package_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  *) echo "usage: $0 [build|package|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
