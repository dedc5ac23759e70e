"""Reads the ASN.1 modules of this folder into a checked model.

The modules are written in the subset of ASN.1 the gateway's messages use:
automatic tags; NULL, BOOLEAN, INTEGER with an optional fixed range,
ENUMERATED with explicit values, IA5String with an optional fixed size,
OCTET STRING, SEQUENCE, SEQUENCE OF, SET OF, CHOICE and extension markers.
Types of another module are written Module.Type.

Lines starting with "--@" are directives to the checker:
  --@named                      every type after this mark is one the module declares but whose body
                                is not known here; it stands in as the smallest extendable type of its
                                kind (see STAND_INS) and no defined type may use it
  --@placeholder                the next type stands in for one defined nowhere
  --@list Type                  the module holds lists of Type that none of its defined types shows
  --@expect types DEFINED NAMED the module has so many defined and named-only types
  --@expect roots Type N        N root fields, alternatives or values
  --@expect explicit-values T.. exactly these enumerations carry explicit values
  --@expect parallel Enum Choice the i-th value and the i-th alternative share a name

Everything wrong is reported as SchemaError with the file and line.
"""

import os
import re


class SchemaError(Exception):
    pass


# The bodies a named type may have, one per kind: each is a legal type of that kind, open to extension, so values
# of the type can be built, sent and read although its real contents are not known.
STAND_INS = ('SEQUENCE { ... }', 'CHOICE { placeholder NULL, ... }', 'ENUMERATED { placeholder(0), ... }')


class Type:
    """One type expression.

    kind is one of NULL, BOOLEAN, INTEGER, ENUMERATED, IA5String, OCTET STRING,
    SEQUENCE, SEQUENCE OF, SET OF, CHOICE or REF.
    """

    def __init__(self, kind, line):
        self.kind = kind
        self.line = line
        self.range = None  # INTEGER (lower, upper) or IA5String size (lower, upper)
        self.items = []  # ENUMERATED [(name, value)]; SEQUENCE [Field]; CHOICE [Field]
        self.extendable = False
        self.extensions = []  # SEQUENCE and CHOICE items after the extension marker
        self.element = None  # SEQUENCE OF / SET OF
        self.module = None  # REF: module name
        self.name = None  # REF: type name
        self.target = None  # REF: the resolved Assignment

    def fields(self):
        """SEQUENCE and CHOICE: the root fields, then the extensions."""
        return self.items + self.extensions

    def references(self):
        """The REF types this expression contains, at any depth."""
        if self.kind == 'REF':
            yield self
        if self.element:
            yield from self.element.references()
        if self.kind in ('SEQUENCE', 'CHOICE'):
            for field in self.fields():
                yield from field.type.references()


class Field:
    """A SEQUENCE field or a CHOICE alternative."""

    def __init__(self, name, type_, optional, line):
        self.name = name
        self.type = type_
        self.optional = optional
        self.line = line


class Assignment:
    def __init__(self, module, name, type_, line, placeholder, named):
        self.module = module
        self.name = name
        self.type = type_
        self.line = line
        self.placeholder = placeholder
        self.named = named  # declared by the module with a stand-in body

    @property
    def qualified(self):
        return f'{self.module.name}.{self.name}'


class Module:
    def __init__(self, name, path):
        self.name = name
        self.path = path
        self.assignments = {}  # name -> Assignment, in file order
        self.lists = []  # (element type name, line)
        self.expects = []  # (line, words)


# Tokens: the ASN.1 punctuation we use, numbers, and names (which may hold
# hyphens and underscores but neither end in a hyphen nor hold two in a row).
_TOKEN = re.compile(r'::=|\.\.\.|\.\.|[{}(),.]|-?\d+|[A-Za-z][A-Za-z0-9_]*(?:-[A-Za-z0-9_]+)*')


def _tokenize(text, path, module_directives):
    tokens = []
    for number, line in enumerate(text.split('\n'), 1):
        code, _, comment = line.partition('--')
        if comment.startswith('@'):
            module_directives.append((number, comment[1:].split()))
        position = 0
        code = code.rstrip()
        while position < len(code):
            if code[position].isspace():
                position += 1
                continue
            match = _TOKEN.match(code, position)
            if not match:
                raise SchemaError(f'{path}:{number}: cannot read "{code[position:]}"')
            tokens.append((match.group(), number))
            position = match.end()
    return tokens


class _Parser:
    def __init__(self, tokens, path):
        self.tokens = tokens
        self.position = 0
        self.path = path

    def error(self, message, line=None):
        if line is None:
            line = self.peek_line()
        return SchemaError(f'{self.path}:{line}: {message}')

    def peek(self, offset=0):
        index = self.position + offset
        return self.tokens[index][0] if index < len(self.tokens) else None

    def peek_line(self):
        if self.position < len(self.tokens):
            return self.tokens[self.position][1]
        return self.tokens[-1][1] if self.tokens else 0

    def take(self, expected=None):
        token = self.peek()
        if token is None:
            raise self.error('unexpected end of file')
        if expected is not None and token != expected:
            raise self.error(f'expected "{expected}", found "{token}"')
        self.position += 1
        return token

    def accept(self, token):
        if self.peek() == token:
            self.position += 1
            return True
        return False

    def name(self):
        token = self.take()
        if not re.match(r'[A-Za-z]', token):
            raise self.error(f'expected a name, found "{token}"')
        return token

    def number(self):
        token = self.take()
        if not re.fullmatch(r'-?\d+', token):
            raise self.error(f'expected a number, found "{token}"')
        return int(token)

    def range(self):
        self.take('(')
        lower = self.number()
        self.take('..')
        upper = self.number()
        self.take(')')
        if lower > upper:
            raise self.error(f'empty range ({lower}..{upper})')
        return lower, upper

    def type(self):
        line = self.peek_line()
        token = self.name()
        if token == 'NULL' or token == 'BOOLEAN':
            return Type(token, line)
        if token == 'INTEGER':
            result = Type('INTEGER', line)
            if self.peek() == '(':
                result.range = self.range()
            return result
        if token == 'IA5String':
            result = Type('IA5String', line)
            if self.peek() == '(':
                self.take('(')
                self.take('SIZE')
                result.range = self.range()
                self.take(')')
                if result.range[0] < 0:
                    raise self.error('a size cannot be negative')
            return result
        if token == 'OCTET':
            self.take('STRING')
            return Type('OCTET STRING', line)
        if token == 'ENUMERATED':
            return self.enumerated(line)
        if token in ('SEQUENCE', 'SET'):
            if self.accept('OF'):
                result = Type(f'{token} OF', line)
                result.element = self.type()
                return result
            if token == 'SET':
                raise self.error('SET is not supported, only SET OF')
            return self.components('SEQUENCE', line)
        if token == 'CHOICE':
            return self.components('CHOICE', line)
        if token[0].isupper():
            result = Type('REF', line)
            if self.accept('.'):
                result.module, result.name = token, self.name()
            else:
                result.name = token
            return result
        raise self.error(f'"{token}" is not a type')

    def enumerated(self, line):
        result = Type('ENUMERATED', line)
        self.take('{')
        while True:
            if self.accept('...'):
                result.extendable = True
                if self.peek() == ',':
                    raise self.error('enumerations have no known extension values')
                break
            item_line = self.peek_line()
            name = self.name()
            if self.peek() != '(':
                raise self.error(f'enumerator "{name}" has no value', item_line)
            self.take('(')
            value = self.number()
            self.take(')')
            result.items.append((name, value))
            if not self.accept(','):
                break
        self.take('}')
        if not result.items:
            raise self.error('empty enumeration', line)
        return result

    def components(self, kind, line):
        result = Type(kind, line)
        self.take('{')
        target = result.items
        while self.peek() != '}':
            if self.accept('...'):
                if result.extendable:
                    raise self.error('a second extension marker')
                result.extendable = True
                target = result.extensions
            else:
                field_line = self.peek_line()
                name = self.name()
                if not name[0].islower():
                    raise self.error(f'"{name}" must start with a lower-case letter', field_line)
                field_type = self.type()
                optional = self.accept('OPTIONAL')
                if optional and kind == 'CHOICE':
                    raise self.error('an alternative cannot be OPTIONAL', field_line)
                if optional and target is result.extensions:
                    raise self.error('optional extension fields are not supported', field_line)
                target.append(Field(name, field_type, optional, field_line))
            if not self.accept(','):
                break
        self.take('}')
        return result


def parse_module(text, path):
    """Parses one module file into a Module (names not yet resolved)."""
    directives = []
    tokens = _tokenize(text, path, directives)
    parser = _Parser(tokens, path)
    name = parser.name()
    parser.take('DEFINITIONS')
    parser.take('AUTOMATIC')
    parser.take('TAGS')
    parser.take('::=')
    parser.take('BEGIN')
    module = Module(name, path)
    placeholders = sorted(line for line, words in directives if words == ['placeholder'])
    named_from = None
    for line, words in directives:
        if not words:
            raise SchemaError(f'{path}:{line}: empty directive')
        if words[0] == 'named':
            if len(words) != 1:
                raise SchemaError(f'{path}:{line}: --@named takes no name, the named types follow it')
            if named_from is not None:
                raise SchemaError(f'{path}:{line}: a second --@named mark')
            named_from = line
        elif words[0] == 'expect':
            module.expects.append((line, words[1:]))
        elif words[0] == 'list':
            if len(words) != 2:
                raise SchemaError(f'{path}:{line}: --@list Type')
            module.lists.append((words[1], line))
        elif words[0] != 'placeholder':
            raise SchemaError(f'{path}:{line}: unknown directive "{words[0]}"')
    while parser.peek() != 'END':
        line = parser.peek_line()
        type_name = parser.name()
        if not type_name[0].isupper():
            raise parser.error(f'type name "{type_name}" must start with a capital', line)
        parser.take('::=')
        body = parser.type()
        placeholder = bool(placeholders) and placeholders[0] < line
        if placeholder:
            placeholders.pop(0)
            if body.kind != 'SEQUENCE' or body.items or body.extensions or not body.extendable:
                raise parser.error('a placeholder is an empty extendable SEQUENCE', line)
        named = named_from is not None and named_from < line
        if named and not _is_stand_in(body):
            raise parser.error(f'a named type stands in as {" or ".join(STAND_INS)}', line)
        _declare(module, type_name, line)
        module.assignments[type_name] = Assignment(module, type_name, body, line, placeholder, named)
    parser.take('END')
    if parser.peek() is not None:
        raise parser.error('text after END')
    if placeholders:
        raise SchemaError(f'{path}:{placeholders[0]}: placeholder mark without a type')
    return module


def _declare(module, name, line):
    if name in module.assignments:
        raise SchemaError(f'{module.path}:{line}: {module.name}.{name} is declared twice')


def _is_stand_in(type_):
    """True when type_ is the stand-in body of its kind (STAND_INS)."""
    if not type_.extendable or type_.extensions:
        return False
    if type_.kind == 'SEQUENCE':
        return not type_.items
    if type_.kind == 'CHOICE':
        return [(field.name, field.type.kind) for field in type_.items] == [('placeholder', 'NULL')]
    return type_.kind == 'ENUMERATED' and type_.items == [('placeholder', 0)]


def load(paths):
    """Parses, resolves and checks the modules; returns them by name."""
    modules = {}
    for path in paths:
        with open(path, encoding='utf-8') as source:
            module = parse_module(source.read(), os.path.basename(path))
        if module.name in modules:
            raise SchemaError(f'{module.path}: module {module.name} is defined twice')
        modules[module.name] = module
    _resolve(modules)
    _refuse_cycles(modules)
    for module in modules.values():
        for assignment in module.assignments.values():
            _check_type(assignment, assignment.type)
        _check_expectations(module)
    return modules


def _resolve(modules):
    for module in modules.values():
        for assignment in module.assignments.values():
            for ref in assignment.type.references():
                where = f'{module.path}:{ref.line}'
                target_module = modules.get(ref.module or module.name)
                if target_module is None:
                    raise SchemaError(f'{where}: unknown module {ref.module}')
                target = target_module.assignments.get(ref.name)
                if target is None:
                    raise SchemaError(f'{where}: unresolved name {target_module.name}.{ref.name}')
                if target.named:
                    raise SchemaError(f'{where}: {target.qualified} is only named, its body is a stand-in '
                                      f'no message may carry')
                ref.target = target
        for name, line in module.lists:
            if name not in module.assignments:
                raise SchemaError(f'{module.path}:{line}: unresolved name {module.name}.{name}')


def _refuse_cycles(modules):
    state = {}  # qualified name -> 'open' while on the path, 'done' after

    def visit(assignment, path):
        key = assignment.qualified
        if state.get(key) == 'done':
            return
        if state.get(key) == 'open':
            cycle = path[path.index(key):] + [key]
            raise SchemaError(f'{assignment.module.path}:{assignment.line}: cyclic reference '
                              + ' -> '.join(cycle))
        state[key] = 'open'
        for ref in assignment.type.references():
            visit(ref.target, path + [key])
        state[key] = 'done'

    for module in modules.values():
        for assignment in module.assignments.values():
            visit(assignment, [])


def cpp_name(name):
    return name.replace('-', '_')


# Names a generated member or enumerator may not take.
_CPP_KEYWORDS = set('''alignas alignof and and_eq asm auto bitand bitor bool break case catch char
char16_t char32_t class compl const constexpr const_cast continue decltype default delete do double
dynamic_cast else enum explicit export extern false float for friend goto if inline int long mutable
namespace new noexcept not not_eq nullptr operator or or_eq private protected public register
reinterpret_cast return short signed sizeof static static_assert static_cast struct switch template
this thread_local throw true try typedef typeid typename union unsigned using virtual void volatile
wchar_t while xor xor_eq'''.split())

INT32_MIN, INT32_MAX, UINT32_MAX = -2**31, 2**31 - 1, 2**32 - 1


def _check_type(assignment, type_):
    where = f'{assignment.module.path}:{type_.line}'
    if type_.kind == 'INTEGER' and type_.range:
        lower, upper = type_.range
        if lower < INT32_MIN or lower > INT32_MAX or upper > UINT32_MAX:
            raise SchemaError(f'{where}: range ({lower}..{upper}) does not fit 32 bits')
    if type_.kind == 'IA5String' and type_.range and type_.range[1] > UINT32_MAX:
        raise SchemaError(f'{where}: size does not fit 32 bits')
    if type_.kind == 'ENUMERATED':
        _check_names(where, [name for name, _ in type_.items])
        for name, value in type_.items:
            if not INT32_MIN <= value <= INT32_MAX:
                raise SchemaError(f'{where}: value {name}({value}) does not fit 32 bits')
    if type_.kind in ('SEQUENCE', 'CHOICE'):
        fields = type_.fields()
        _check_names(where, [field.name for field in fields])
        for field in fields:
            _check_type(assignment, field.type)
    if type_.element:
        _check_type(assignment, type_.element)


def _check_names(where, names):
    seen = set()
    for name in names:
        generated = cpp_name(name)
        if generated in _CPP_KEYWORDS:
            raise SchemaError(f'{where}: "{name}" is a C++ keyword')
        if generated in seen:
            raise SchemaError(f'{where}: "{name}" clashes with another name once "-" becomes "_"')
        seen.add(generated)


def has_explicit_values(type_):
    """True when some value is not its predecessor plus one (the first being 0)."""
    expected = 0
    for _, value in type_.items:
        if value != expected:
            return True
        expected = value + 1
    return False


def _check_expectations(module):
    defined = {name: a for name, a in module.assignments.items() if not a.named}
    named = len(module.assignments) - len(defined)
    explicit_stated, explicit_where = set(), None
    for line, words in module.expects:
        where = f'{module.path}:{line}'
        what = words[0] if words else ''
        if what == 'types' and len(words) == 3:
            stated = (int(words[1]), int(words[2]))
            found = (len(defined), named)
            if stated != found:
                raise SchemaError(f'{where}: {module.name} has {found[0]} defined and {found[1]} '
                                  f'named types, stated {stated[0]} and {stated[1]}')
        elif what == 'roots' and len(words) == 3:
            assignment = _expected_type(module, words[1], where)
            found = len(assignment.type.items)
            if found != int(words[2]):
                raise SchemaError(f'{where}: {assignment.qualified} has {found} root items, '
                                  f'stated {words[2]}')
        elif what == 'explicit-values':
            for name in words[1:]:
                _expected_type(module, name, where)
            explicit_stated.update(words[1:])
            explicit_where = where
        elif what == 'parallel' and len(words) == 3:
            values = [name for name, _ in _expected_type(module, words[1], where).type.items]
            alternatives = [field.name for field in _expected_type(module, words[2], where).type.items]
            if values != alternatives:
                mismatch = next((i for i, pair in enumerate(zip(values, alternatives))
                                 if pair[0] != pair[1]), min(len(values), len(alternatives)))
                raise SchemaError(f'{where}: {words[1]} and {words[2]} part at position {mismatch}')
        else:
            raise SchemaError(f'{where}: cannot read expectation "{" ".join(words)}"')
    if explicit_where:
        found = {name for name, assignment in defined.items()
                 if assignment.type.kind == 'ENUMERATED' and has_explicit_values(assignment.type)}
        if found != explicit_stated:
            raise SchemaError(f'{explicit_where}: enumerations with explicit values in {module.name}: '
                              f'{sorted(found)}, stated {sorted(explicit_stated)}')


def _expected_type(module, name, where):
    assignment = module.assignments.get(name)
    if assignment is None:
        raise SchemaError(f'{where}: {module.name}.{name} is not defined')
    return assignment
