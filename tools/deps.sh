#!/usr/bin/env bash
# Installs the Debian packages that building, testing, checking and benchmarking need and that a
# fresh machine lacks. As root it runs apt-get itself; otherwise it prints the one command to run.
set -euo pipefail

packages=(
  g++ cmake make pkg-config          # build
  libc-bin locales tzdata            # gencat, localedef, time zones for the date tests
  libssl-dev zlib1g-dev              # what libdkcommon links
  libsqlite3-dev                     # the SQLite connector
  libpq-dev postgresql               # the PostgreSQL connector; the throwaway server of its tests
  libedit-dev                        # line editing of dk shell
  sqlite3 util-linux                 # the peer of the dk benchmark; setpriv for the dk tests
  libgtest-dev libgmock-dev          # test suites
  gcovr                              # make coverage
  libbenchmark-dev libspdlog-dev     # benchmarks and their peers
  libfmt-dev                         # the peer of the query-term benchmark
  python3 libcurl4-openssl-dev       # loopback HTTP server of the URL tests and make run; the URL benchmark's peer
  clang libclang-rt-14-dev           # libFuzzer and the sanitizer runtimes of make check
  dpkg-dev file lintian binutils     # make package: dpkg-shlibdeps, the package checks; strings and nm of the install checks
  abigail-tools                      # make abi: abidw, abidiff
)

missing=()
for p in "${packages[@]}"; do
  [[ "$p" == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "deps: missing packages; run this once as root, then try again:"
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}"
  exit 1
fi
