#!/bin/sh
# Prepares a board root for the server on the simulated board: the folders the
# server writes to and the files a board carries. Files already there are kept,
# so a configuration edited by hand survives the next run.
set -e
root="$1"
[ -n "$root" ] || { echo "usage: $0 <board root>" >&2; exit 2; }

mkdir -p "$root/usr/local/etc" "$root/var/run" "$root/var/log" "$root/var/monitoring" \
  "$root/dev" "$root/proc/voice" "$root/proc/driver/hdlc/peb22554"

keep() { # file, then its content
  [ -e "$root$1" ] || printf '%s\n' "$2" > "$root$1"
}
keep /usr/local/etc/server.conf "[traces]
signalling.hdlc = false
signalling.lemzgw = false
signalling.events = false
signalling.isdn = false
monitoring.internal = false"
keep /var/version "1.0.0"
keep /var/u-boot-version "2010.06"
keep /var/fpga-version "1.0"
keep /var/board-version "1.0"
keep /proc/temperature "40 deg"
keep /proc/voice/version "voice 1.0 r1 b1"
# The HDLC driver's status of the four E1 framers.
for framer in 0 1 2 3; do
  keep /proc/driver/hdlc/peb22554/$framer "Framer $framer
Current state           : No Carrier
Loss of Signal          : yes
Loss of Frame Alignment : yes
Receive Slip Negative   : 0
Receive Slip Positive   : 0"
done
