#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, and nothing
# when everything is already there. Called by `make run` and `make test`;
# with --mpi also what the MPI build needs (OpenMPI and ScaLAPACK).
set -euo pipefail

pkgs=(g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev libopenblas-dev libopenblas-serial-dev nlohmann-json3-dev python3 librsvg2-bin libpng-dev ccache)
if [ "${1:-}" = "--mpi" ]; then
  pkgs+=(openmpi-bin libopenmpi-dev libscalapack-openmpi-dev)
fi

need=()
for pkg in "${pkgs[@]}"; do
  if ! dpkg -s "$pkg" >/dev/null 2>&1; then
    # python3 may come from elsewhere (pyenv); accept any python3 on PATH.
    if [ "$pkg" = python3 ] && command -v python3 >/dev/null 2>&1; then continue; fi
    need+=("$pkg")
  fi
done
[ ${#need[@]} -eq 0 ] && exit 0

echo "installing: ${need[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends "${need[@]}"; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${need[@]}"
fi
