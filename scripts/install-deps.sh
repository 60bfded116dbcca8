#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Nimbrel Lab needs.
# Only missing packages are installed, so a provisioned machine pays one dpkg query.
set -euo pipefail

packages=(
  # build
  cmake ninja-build pkg-config ccache g++ make git gdb
  # Qt 6.4 (Debian 12)
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-declarative-dev-tools
  qt6-tools-dev-tools qt6-charts-dev qt6-positioning-dev qt6-websockets-dev qt6-shadertools-dev
  qt6-5compat-dev qt6-l10n-tools libqt6svg6 libqt6opengl6-dev
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtquick-dialogs
  qml6-module-qtquick-shapes qml6-module-qt-labs-platform qml6-module-qt-labs-settings
  qml6-module-qt-labs-qmlmodels qml6-module-qt-labs-folderlistmodel
  qml6-module-qt5compat-graphicaleffects qml6-module-qtcharts qml6-module-qtpositioning
  qml6-module-qtwebsockets qml6-module-qttest qml6-module-qtcore
  # libraries
  libssl-dev openssl libusb-1.0-0-dev libzip-dev libmatio-dev libhdf5-dev libdeflate-dev
  libgeographiclib-dev
  nlohmann-json3-dev libelf-dev libbenchmark-dev libgl-dev libxkbcommon-dev
  # fuzz targets (libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer)
  clang libclang-rt-14-dev
  # running under a virtual display in tests
  xvfb xauth libgl1-mesa-dri
  # test oracles
  python3 python3-cryptography python3-crcmod python3-h5py python3-numpy python3-pyelftools
  umockdev libumockdev-dev libglib2.0-dev xdg-utils desktop-file-utils socat dpkg-dev xxd coreutils libglib2.0-bin
  util-linux binutils-arm-none-eabi binutils
  # robot and discovery oracles: DNS messages, an mDNS responder, map projections, number formats
  python3-dnspython python3-zeroconf python3-scipy python3-pyproj proj-bin geographiclib-tools
  python3-babel ziptool nodejs
  # private network namespaces joined by a veth pair for the discovery tests (ip netns)
  iproute2
  # toolchain package oracles: Info-ZIP's zip and cmp
  zip diffutils
  # QML library oracles: font families (fc-scan), JSON objects (jq), the documents folder
  fontconfig jq xdg-user-dirs
  # draws the application's pictures (app/qml/Images/generate_images.py)
  python3-pil
  # loads the machine while the timing-sensitive tests run repeatedly
  stress-ng
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${#missing[@]} package(s): ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
