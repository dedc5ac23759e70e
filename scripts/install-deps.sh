#!/bin/sh
# Installs the project's dependencies from Debian packages: with "run", what
# building and running the server needs (make run); with "test", that and
# everything the tests and benchmarks use (make test, make deps). Idempotent and
# quiet when everything is already there. Must run as root when anything is missing.
set -e

# Building the server and the stand-ins of the board's child programs; socat
# talks to the simulated board's control socket.
RUN_PACKAGES="g++ cmake ninja-build make python3 libboost-dev libloki-dev libsnmp-dev socat"
# The tests, the benchmarks, the formatter and the fuzzers.
TEST_PACKAGES="libgtest-dev libgmock-dev googletest libbenchmark-dev clang-format clang libclang-rt-dev"
# Independent tools that check our wire formats and outputs from outside.
TEST_PACKAGES="$TEST_PACKAGES libxml2-utils"
TEST_PACKAGES="$TEST_PACKAGES asn1c openssl"
TEST_PACKAGES="$TEST_PACKAGES tshark"
TEST_PACKAGES="$TEST_PACKAGES libss7-dev"
TEST_PACKAGES="$TEST_PACKAGES libpri-dev"
TEST_PACKAGES="$TEST_PACKAGES snmptrapd snmp"

case "$1" in
  run) PACKAGES="$RUN_PACKAGES" ;;
  test) PACKAGES="$RUN_PACKAGES $TEST_PACKAGES" ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

[ -z "$missing" ] && exit 0

echo "installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# tshark would otherwise ask whether to let non-root users capture.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
