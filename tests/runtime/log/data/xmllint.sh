#!/bin/sh
# Parses the page given with xmllint's HTML parser; any complaint fails. Exit 77
# (skipped) when xmllint is not installed.
command -v xmllint >/dev/null 2>&1 || exit 77
complaints=$(xmllint --html --noout "$1" 2>&1) || { echo "$complaints"; exit 1; }
[ -z "$complaints" ] || { echo "$complaints"; exit 1; }
