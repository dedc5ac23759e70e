#!/usr/bin/env python3
"""Checks the BER vectors against independent tools.

Usage: ber_tools_test.py VECTORS MODULE.asn
       ber_tools_test.py VECTORS --schemas SCHEMA_FOLDER

asn1c compiles the module into a BER/DER converter, which must read our bytes
and the X.690 form of every vector and write the X.690 form (or, where the
vector names it, what it makes of our bytes); openssl asn1parse must read both
forms as well-formed TLV structures. With --schemas the module is the message
modules' types that the vectors reach, written as one module (Module.Type
becomes Module-Type, names lose their underscores and enumerations their
second names for a value, which asn1c refuses).
Exits 77 (skipped) when a tool is missing.
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


def flat_name(name):
    return name.replace('_', '-')


def type_text(type_):
    kind = type_.kind
    if kind == 'REF':
        return flat_name(f'{type_.target.module.name}-{type_.target.name}')
    if kind == 'INTEGER' and type_.range:
        return 'INTEGER ({}..{})'.format(*type_.range)
    if kind == 'IA5String' and type_.range:
        return 'IA5String (SIZE ({}..{}))'.format(*type_.range)
    if kind in ('SEQUENCE OF', 'SET OF'):
        return f'{kind} {type_text(type_.element)}'
    if kind == 'ENUMERATED':
        # asn1c refuses a second name for a value (min and max aliases); BER carries the value alone.
        values = {}
        for name, value in type_.items:
            values.setdefault(value, name)
        items = [f'{flat_name(name)}({value})' for value, name in values.items()] + ['...'] * type_.extendable
        return 'ENUMERATED { ' + ', '.join(items) + ' }'
    if kind in ('SEQUENCE', 'CHOICE'):
        def field(f):
            return f'{flat_name(f.name)} {type_text(f.type)}' + (' OPTIONAL' if f.optional else '')
        items = [field(f) for f in type_.items] + ['...'] * type_.extendable + [field(f) for f in type_.extensions]
        return f'{kind} {{ ' + ', '.join(items) + ' }'
    return kind


def flatten(schema_folder, roots, target):
    """Writes the types that roots (Module.Type) reach as one module."""
    sys.path.insert(0, str(schema_folder))
    import asn1schema
    modules = asn1schema.load(sorted(str(p) for p in Path(schema_folder).glob('*.asn')))
    by_name = {f'{m.name}.{a.name}': a for m in modules.values() for a in m.assignments.values()}
    reached, pending = {}, [by_name[root] for root in roots]
    while pending:
        assignment = pending.pop()
        if assignment.qualified not in reached:
            reached[assignment.qualified] = assignment
            pending.extend(ref.target for ref in assignment.type.references())
    lines = ['Flat DEFINITIONS AUTOMATIC TAGS ::= BEGIN']
    lines += [f'{flat_name(a.module.name + "-" + a.name)} ::= {type_text(a.type)}' for a in reached.values()]
    Path(target).write_text('\n'.join(lines + ['END', '']))


# pdu: the converter's default type, needed unless the module has one named PDU.
def build_converter(module, folder, pdu=None):
    subprocess.run(['asn1c', '-fcompound-names', '-pdu=all', str(module)], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sources = sorted(str(p) for p in Path(folder).glob('*.c'))
    default = [f'-DPDU={pdu.replace("-", "_")}'] if pdu else []
    subprocess.run(['cc', '-w', '-I.', '-DASN_PDU_COLLECTION', '-o', 'converter'] + default + sources, cwd=folder,
                   check=True)
    return Path(folder) / 'converter'


def run_tool(arguments, data, folder):
    source = Path(folder) / 'input.ber'
    source.write_bytes(data)
    return subprocess.run(arguments + [str(source)], capture_output=True, timeout=30)


def main():
    vectors_path = sys.argv[1]
    vectors = list(read_vectors(vectors_path))
    missing = [tool for tool in ('asn1c', 'cc', 'openssl') if shutil.which(tool) is None]
    if missing:
        print('skipped: not installed:', ' '.join(missing))
        return SKIP
    passed = failed = 0
    with tempfile.TemporaryDirectory() as folder:
        if sys.argv[2] == '--schemas':
            module = Path(folder) / 'Flat.asn'
            flatten(Path(sys.argv[3]).resolve(), sorted({v[1] for v in vectors}), module)
            vectors = [(name, flat_name(type_.replace('.', '-')), *rest) for name, type_, *rest in vectors]
            converter = build_converter(module, folder, vectors[0][1])
        else:
            converter = build_converter(Path(sys.argv[2]).resolve(), folder)
        for name, type_, ours, x690, asn1c_reads in vectors:
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
