#!/usr/bin/env bash
# The one list of Debian packages the project needs to build, test and run.
# Idempotent: installs only what is missing and stays quiet when everything is present.
set -euo pipefail

packages=(
    # toolchain and test frameworks
    cmake g++ make pkg-config ninja-build
    libgtest-dev libgmock-dev libbenchmark-dev
    # JSON, HTTP, TLS
    libjsoncpp-dev libcurl4-openssl-dev libssl-dev openssl
    # Qt 5
    qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev libqt5websockets5-dev libqt5svg5-dev
    libqt5x11extras5-dev
    # media
    libavcodec-dev libavutil-dev libswscale-dev libyuv-dev
    # WebRTC over GStreamer (webrtcbin, libnice): the client's engine and the local service's forwarder
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-nice
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstreamer-plugins-bad1.0-dev
    # media tests bring up the loopback interface of their own network namespace (ip)
    iproute2
    # QR codes, capture-card control channel
    libqrencode-dev libhidapi-dev
    # the studio's screen capture (X11 shared memory); its sound elements come with the good plug-ins
    libx11-dev libxext-dev
    # locale sources: tests make a comma-decimal locale with localedef
    locales
    # the membership plug-in: compositor query (xcb), reading QR codes back in its tests (zbar)
    libxcb1-dev libzbar-dev
    # headless display for screenshots and GL tests; a CJK font for the Chinese texts
    xvfb xauth x11-utils fonts-wqy-microhei
    # Mesa's GLX and software GL drivers (llvmpipe, softpipe) for the OpenGL renderer under Xvfb
    libgl1-mesa-dri libglx-mesa0
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages (run as root to install): ${missing[*]}" >&2
    exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
