"""Checks that the schema reader refuses what would silently change the generated tables."""

import os
import sys
import tempfile
import textwrap
import unittest

SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'schemas')
sys.path.insert(0, SCHEMAS)

import asn1schema  # noqa: E402
import generate  # noqa: E402


def load_texts(**modules):
    """Writes each module text to a file of its own and loads them together."""
    with tempfile.TemporaryDirectory() as folder:
        paths = []
        for name, body in modules.items():
            path = os.path.join(folder, f'{name}.asn')
            with open(path, 'w', encoding='utf-8') as out:
                out.write(f'{name} DEFINITIONS AUTOMATIC TAGS ::=\nBEGIN\n'
                          f'{textwrap.dedent(body)}\nEND\n')
            paths.append(path)
        return asn1schema.load(paths)


class RefusesFaultySchemas(unittest.TestCase):
    CASES = [
        ('unresolved name', dict(A='T ::= SEQUENCE { a Missing }'), 'unresolved name A.Missing'),
        ('unknown module', dict(A='T ::= SEQUENCE { a B.X }'), 'unknown module B'),
        ('name of another module', dict(A='T ::= SEQUENCE { a X }', B='X ::= NULL'),
         'unresolved name A.X'),
        ('reference to a named-only type', dict(A='T ::= CHOICE { a X }\n--@named\nX ::= SEQUENCE { ... }'),
         'only named'),
        ('list of an unknown type', dict(A='--@list X\nT ::= NULL'), 'unresolved name A.X'),
        ('direct cycle', dict(A='T ::= SEQUENCE { a T }'), 'cyclic reference A.T -> A.T'),
        ('cycle through a list and a module',
         dict(A='T ::= SEQUENCE { a SEQUENCE OF B.U }', B='U ::= CHOICE { b A.T }'),
         'cyclic reference'),
        ('field twice', dict(A='T ::= SEQUENCE { a NULL, a BOOLEAN }'), 'clashes'),
        ('hyphen against underscore', dict(A='T ::= SEQUENCE { a-b NULL, a_b BOOLEAN }'),
         'clashes'),
        ('enumerator twice', dict(A='E ::= ENUMERATED { x(0), x(1) }'), 'clashes'),
        ('keyword', dict(A='E ::= ENUMERATED { new(0) }'), 'keyword'),
        ('type twice', dict(A='T ::= NULL\nT ::= BOOLEAN'), 'declared twice'),
        ('named mark with a name', dict(A='--@named T\nT ::= SEQUENCE { ... }'), 'takes no name'),
        ('second named mark', dict(A='--@named\nT ::= SEQUENCE { ... }\n--@named'), 'second --@named'),
        ('named type with a body', dict(A='--@named\nT ::= SEQUENCE { a NULL, ... }'), 'stands in as'),
        ('named type closed', dict(A='--@named\nT ::= CHOICE { placeholder NULL }'), 'stands in as'),
        ('named type of another kind', dict(A='--@named\nT ::= NULL'), 'stands in as'),
        ('named enumeration with another value',
         dict(A='--@named\nE ::= ENUMERATED { placeholder(1), ... }'), 'stands in as'),
        ('enumerator without value', dict(A='E ::= ENUMERATED { x }'), 'has no value'),
        ('empty range', dict(A='T ::= INTEGER (5..4)'), 'empty range'),
        ('range beyond 32 bits', dict(A='T ::= INTEGER (0..4294967296)'), 'does not fit'),
        ('second extension marker', dict(A='T ::= SEQUENCE { a NULL, ..., ... }'), 'second'),
        ('optional alternative', dict(A='T ::= CHOICE { a NULL OPTIONAL }'), 'OPTIONAL'),
        ('placeholder with content', dict(A='--@placeholder\nT ::= SEQUENCE { a NULL, ... }'),
         'empty extendable'),
        ('placeholder not extendable', dict(A='--@placeholder\nT ::= SEQUENCE { }'),
         'empty extendable'),
        ('stray placeholder mark', dict(A='T ::= NULL\n--@placeholder'), 'without a type'),
        ('unreadable character', dict(A='T ::= SEQUENCE { a# NULL }'), 'cannot read'),
        ('unknown directive', dict(A='--@frobnicate\nT ::= NULL'), 'unknown directive'),
        ('type count', dict(A='--@expect types 2 0\nT ::= NULL'), 'stated 2 and 0'),
        ('named count', dict(A='--@expect types 1 1\nT ::= NULL'), 'stated 1 and 1'),
        ('root count', dict(A='--@expect roots T 3\nT ::= CHOICE { a NULL, b NULL, ..., c NULL }'),
         'has 2 root items, stated 3'),
        ('missing explicit values',
         dict(A='--@expect explicit-values\nE ::= ENUMERATED { a(0), b(2) }'), "['E'], stated []"),
        ('explicit values stated wrongly',
         dict(A='--@expect explicit-values E\nE ::= ENUMERATED { a(0), b(1) }'), "[], stated ['E']"),
        ('first value not zero',
         dict(A='--@expect explicit-values\nE ::= ENUMERATED { a(1) }'), "['E'], stated []"),
        ('parallel lists part',
         dict(A='--@expect parallel E C\nE ::= ENUMERATED { a(1), b(2) }\n'
                'C ::= CHOICE { a NULL, c NULL }'), 'part at position 1'),
        ('expectation on a missing type', dict(A='--@expect roots X 1\nT ::= NULL'), 'not defined'),
    ]

    def test_each_fault_is_refused_with_its_reason(self):
        for name, modules, reason in self.CASES:
            with self.subTest(name):
                with self.assertRaises(asn1schema.SchemaError) as caught:
                    load_texts(**modules)
                self.assertIn(reason, str(caught.exception))

    def test_error_names_the_file_and_line(self):
        with self.assertRaises(asn1schema.SchemaError) as caught:
            load_texts(A='T ::= NULL\n\nU ::= SEQUENCE {\n  a Missing\n}')
        self.assertIn('A.asn:6:', str(caught.exception))


class RefusesWhatCannotBeGenerated(unittest.TestCase):
    CASES = [
        ('modules using each other', dict(A='T ::= SEQUENCE { a B.U }\nV ::= NULL', B='U ::= SEQUENCE { b A.V }'),
         'ring'),
        ('inline SEQUENCE field', dict(A='T ::= SEQUENCE { a SEQUENCE { b NULL } }'), 'a name of its own'),
        ('inline ENUMERATED alternative', dict(A='T ::= CHOICE { a ENUMERATED { x(0) } }'), 'a name of its own'),
        ('list of lists', dict(A='T ::= SEQUENCE { a SEQUENCE OF SEQUENCE OF NULL }'), 'a name of its own'),
        ('list of sized strings', dict(A='T ::= SEQUENCE { a SET OF IA5String (SIZE (1..2)) }'),
         'a name of its own'),
        ('type that is no class', dict(A='T ::= INTEGER'), 'to get a class'),
    ]

    def test_each_is_refused_with_its_reason(self):
        for name, modules, reason in self.CASES:
            with self.subTest(name):
                with self.assertRaises(asn1schema.SchemaError) as caught:
                    loaded = load_texts(**modules)
                    generate.refuse_module_cycles(loaded)
                    for module in loaded.values():
                        generate.check_generatable(module)
                self.assertIn(reason, str(caught.exception))


class ReadsWhatTheModulesUse(unittest.TestCase):
    def test_named_types_follow_their_mark_with_stand_in_bodies_and_may_be_listed(self):
        module = load_texts(A='''\
            --@expect types 1 3
            --@list X
            T ::= SEQUENCE { a NULL, ... }
            --@named
            X ::= SEQUENCE { ... }
            C ::= CHOICE { placeholder NULL, ... }
            E ::= ENUMERATED { placeholder(0), ... }''')['A']
        self.assertEqual([(name, a.named) for name, a in module.assignments.items()],
                         [('T', False), ('X', True), ('C', True), ('E', True)])

    def test_optional_numbers_count_optional_roots_then_extensions(self):
        t = load_texts(A='T ::= SEQUENCE { a NULL OPTIONAL, b NULL, c NULL OPTIONAL, ..., d NULL }')
        numbers = generate.optional_numbers(t['A'].assignments['T'].type)
        self.assertEqual([(f.name, number, index) for f, number, index in numbers],
                         [('a', 0, 0), ('c', 1, 2), ('d', 2, 3)])


if __name__ == '__main__':
    unittest.main()
