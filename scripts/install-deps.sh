#!/bin/sh
# Installs every build and test dependency from Debian packages. Idempotent and
# quiet when everything is already there. Must run as root when anything is missing.
set -e

PACKAGES="g++ cmake ninja-build make python3 libgtest-dev libgmock-dev googletest libbenchmark-dev libboost-dev libloki-dev clang-format clang libclang-rt-dev libsnmp-dev"
# Independent tools that check our wire formats and outputs from outside.
PACKAGES="$PACKAGES libxml2-utils"
PACKAGES="$PACKAGES asn1c openssl"
PACKAGES="$PACKAGES tshark"
PACKAGES="$PACKAGES libss7-dev"
PACKAGES="$PACKAGES libpri-dev"
PACKAGES="$PACKAGES snmptrapd snmp"

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
