#!/usr/bin/env bash
# Installs the Debian packages the editor needs to build, run and test,
# when any of them is missing.
set -euo pipefail
PKGS=(g++ cmake ninja-build qt6-base-dev libsdl2-dev libgtest-dev libgmock-dev
      libbenchmark-dev gcovr xvfb xauth xdotool imagemagick x11-utils clang
      help2man desktop-file-utils appstream shared-mime-info libxml2-utils man-db groff-base
      dpkg-dev fakeroot lintian xdg-utils nlohmann-json3-dev openbox)
missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO=(sudo)
else
  echo "Missing packages. Run as root:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q "${missing[@]}"
