#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the fuzzers and the benchmarks need.
set -euo pipefail
packages=(cmake g++ make pkg-config pybind11-dev python3-dev python3-pytest libzip-dev
          zlib1g-dev libbz2-dev liblzma-dev
          libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "scripts/setup.sh: installing packages needs root and there is no sudo; as root run: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  SUDO=(sudo)
fi

# apt-get through sudo keeps the non-interactive frontend (env sets it whatever sudo's policy on
# the environment), and waits while another apt or dpkg holds its locks: the dpkg lock through
# DPkg::Lock::Timeout, the package lists' lock (which that option does not cover) by retrying.
apt_get() {
  local log tries=0
  log=$(mktemp)
  until "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@" 2>&1 | tee "$log"; do
    if grep -qE 'Could not get lock|Unable to lock|Unable to acquire' "$log" && [ $((tries += 1)) -le 60 ]; then
      echo "scripts/setup.sh: another package manager holds the apt lock; trying again in 10 s" >&2
      sleep 10
    else
      rm -f "$log"
      return 1
    fi
  done
  rm -f "$log"
}

apt_get update
apt_get install -y --no-install-recommends "${missing[@]}"
