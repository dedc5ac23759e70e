#!/usr/bin/env python3
"""Checks the BER vectors against independent tools.

Usage: ber_tools_test.py VECTORS PROBE.asn

asn1c compiles the probe module into a BER/DER converter, which must read our
bytes and the X.690 form of every vector and write the X.690 form (or, where
the vector names it, what it makes of our bytes); openssl asn1parse must read
both forms as well-formed TLV structures. Exits 77 (skipped) when a tool is
missing.
"""

import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SKIP = 77


def read_vectors(path):
    for line in Path(path).read_text().splitlines():
        if not line.strip() or line.startswith('#'):
            continue
        columns = [c.strip() for c in line.split('|')] + ['', '']
        name, type_, ours, x690, asn1c_reads = columns[:5]
        ours = bytes.fromhex(ours)
        x690 = bytes.fromhex(x690) if x690 else ours
        yield name, type_, ours, x690, bytes.fromhex(asn1c_reads) if asn1c_reads else x690


def build_converter(probe, folder):
    subprocess.run(['asn1c', '-fcompound-names', '-pdu=all', str(probe)], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sources = sorted(str(p) for p in Path(folder).glob('*.c'))
    subprocess.run(['cc', '-w', '-I.', '-DASN_PDU_COLLECTION', '-o', 'converter'] + sources, cwd=folder, check=True)
    return Path(folder) / 'converter'


def run_tool(arguments, data, folder):
    source = Path(folder) / 'input.ber'
    source.write_bytes(data)
    return subprocess.run(arguments + [str(source)], capture_output=True, timeout=30)


def main():
    vectors_path, probe = sys.argv[1], Path(sys.argv[2]).resolve()
    missing = [tool for tool in ('asn1c', 'cc', 'openssl') if shutil.which(tool) is None]
    if missing:
        print('skipped: not installed:', ' '.join(missing))
        return SKIP
    passed = failed = 0
    with tempfile.TemporaryDirectory() as folder:
        converter = build_converter(probe, folder)
        for name, type_, ours, x690, asn1c_reads in read_vectors(vectors_path):
            checks = []
            for label, data, expected in (('ours', ours, asn1c_reads), ('X.690', x690, x690)):
                der = run_tool([str(converter), '-p', type_, '-1', '-oder'], data, folder)
                checks.append((f'asn1c reads {label}', der.returncode == 0 and der.stdout == expected,
                               der.stdout.hex(' ') + der.stderr.decode(errors='replace')))
                tlv = run_tool(['openssl', 'asn1parse', '-inform', 'DER', '-in'], data, folder)
                checks.append((f'openssl parses {label}', tlv.returncode == 0 and b'error' not in tlv.stderr.lower(),
                               tlv.stderr.decode(errors='replace')))
            for check, ok, detail in checks:
                if ok:
                    passed += 1
                else:
                    failed += 1
                    print(f'FAIL {name}: {check}: {detail}')
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
