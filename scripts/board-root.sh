#!/bin/sh
# Prepares a board root for the server on the simulated board: the folders the
# server writes to, the files a board carries and, when their stand-ins are
# given, the board's child programs (the PPP daemon, the fax sender and
# receiver, the T.38 program). Files already there are kept, so a configuration
# edited by hand, or a program put in place of a stand-in, survives the next run.
set -e
root="$1"
modem_program="$2"
t38_program="$3"
[ -n "$root" ] && { [ $# -eq 1 ] || [ $# -eq 3 ]; } || {
  echo "usage: $0 <board root> [<modem program stand-in> <t38 stand-in>]" >&2
  exit 2
}

mkdir -p "$root/usr/local/etc" "$root/usr/local/sbin" "$root/usr/local/bin" "$root/var/run" "$root/var/log" \
  "$root/var/monitoring" "$root/dev" "$root/proc/voice" "$root/proc/driver/hdlc/peb22554"

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
# The HDLC driver's status of the four E1 framers: synchronized, as the
# simulated framers report them to trunkStatus until a test says otherwise.
for framer in 0 1 2 3; do
  keep /proc/driver/hdlc/peb22554/$framer "Framer $framer
Current state           : Synchronized
Loss of Signal          : no
Loss of Frame Alignment : no
Receive Slip Negative   : 0
Receive Slip Positive   : 0"
done
# The child programs. The modem stand-in holds a call until the server hangs
# it up; the T.38 stand-in answers a query with 4 instances and echoes what its
# channel receives. Both note how they were started in <root>/<name>.log.
install_program() { # stand-in, then board path
  [ -e "$root$2" ] || cp "$1" "$root$2"
}
if [ -n "$modem_program" ]; then
  install_program "$modem_program" /usr/local/sbin/pppd
  install_program "$modem_program" /usr/local/sbin/fax
  install_program "$modem_program" /usr/local/bin/fax
  install_program "$t38_program" /usr/local/sbin/t38
fi
