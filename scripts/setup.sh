#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, and nothing else.
# Sourced by the other scripts; safe to run again (it installs only what is missing).
set -euo pipefail

QVR_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev libasio-dev libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  xvfb xauth
  trayer xdotool x11-utils imagemagick tesseract-ocr tesseract-ocr-eng desktop-file-utils dpkg-dev
)

qvr_missing_packages() {
  local missing=() p
  for p in "${QVR_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

qvr_install_packages() {
  local missing
  missing=$(qvr_missing_packages)
  [ -z "$missing" ] && return 0
  echo "Installing: $missing" >&2
  local sudo=""
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: $missing" >&2; return 1; }
    sudo="sudo"
  fi
  local try
  for try in 1 2 3; do
    if $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
       $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null; then
      return 0
    fi
    echo "apt-get failed (attempt $try), retrying" >&2
    sleep 10
  done
  return 1
}

# qvr_build <build dir> [cmake options...]: configures and builds, programs into <dir>/bin.
# QVR_TARGETS, when set, names the only targets to build.
qvr_build() {
  local dir=$1
  shift
  cmake -S "$QVR_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="${QVR_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
  local targets=()
  [ -n "${QVR_TARGETS:-}" ] && targets=(--target $QVR_TARGETS)
  cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
}

QVR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
