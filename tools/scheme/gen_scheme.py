#!/usr/bin/env python3
"""Build resources/scheme.xml from the tables in this folder.

    tree.tsv          one row per object of the TreeItem section, in document order
    regkeys.tsv       one row per registry key alias, in document order
    corrections.tsv   one row per field that the shipped scheme changes in the two above
    descriptions.tsv  one row per Description entry: texts and the Windows it works on

Usage: gen_scheme.py [--check] [--out PATH]
    --check   do not write; fail when the existing file differs from what would be written
"""
import argparse
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
DEFAULT_OUT = os.path.join(ROOT, 'resources', 'scheme.xml')

OBJECT_ATTRS = ['AType', 'AFrame', 'AKey1', 'AValue1', 'AValueType1', 'AKey2', 'AValue2',
                'AValueType2', 'RootKey1', 'RootKey2', 'img16', 'img32']
TREE_COLUMNS = ['name', 'parent'] + OBJECT_ATTRS

SCHEMA_ATTRS = [('xmlns:xsi', 'http://www.w3.org/2001/XMLSchema-instance'),
                ('xsi:noNamespaceSchemaLocation', 'C:\\Quillmark\\scheme\\quillmark.xsd')]

# Not read by the program; kept as the document's own record of the product.
CONSTANTS = [('AppName', 'Quillmark'),
             ('AppSName', 'QM'),
             ('HelpFileName', 'quillmark.chm'),
             ('HomePage', 'http://www.quillmark.example/'),
             ('EMail', 'support@quillmark.example'),
             ('LinksPage', 'http://www.quillmark.example/links.html'),
             ('OrderPage', 'http://www.quillmark.example/order.html')]

# (name, value written when checked, value written when unchecked); None for the free types.
VALUE_TYPES = [('String', None), ('String10', ('1', '0')), ('String01', ('0', '1')),
               ('String_yesno', ('yes', 'no')), ('String_noyes', ('no', 'yes')),
               ('String_YesNo', ('Yes', 'No')), ('String_NoYes', ('No', 'Yes')),
               ('String_YN', ('Y', 'N')), ('String_NY', ('N', 'Y')),
               ('Integer10', ('1', '0')), ('Integer31', ('3', '1')), ('Integer30', ('3', '0')),
               ('Integer43', ('4', '3')), ('Integer20', ('2', '0')), ('Integer01', ('0', '1')),
               ('CLSID', None), ('Integer', None), ('Integer21', ('2', '1'))]

FRAMES = ['frameGroup', 'frameCheckBoxes', 'frameCPApplets', 'frameCheckBox',
          'frameToolbarButtons', 'frameStringEdit', 'frameDirectoryEdit', 'frameFileNameEdit',
          'frameDrives', 'frameApplications', 'frameProtectFiles', 'frameUserTime']
USED_FRAMES = set(FRAMES) | {'frameAdvertise'}

ROOTS = {'HKEY_CURRENT_USER', 'HKEY_LOCAL_MACHINE', 'HKEY_CLASSES_ROOT'}
TYPES = {name for name, _ in VALUE_TYPES}

# Written as an open and a close tag although they have no children.
OPEN_CLOSE = {'Restriction', 'Group_AboutAdvertise'}

MAX_CAPTION = 71
MAX_DESCR = 369
MAX_SUPPORTED = 80

DESCRIPTION_COLUMNS = ['name', 'caption', 'descr', 'supported', 'windows']
CORRECTION_COLUMNS = ['name', 'field', 'specified', 'new', 'source']
# A correction changes one attribute of every placement of a tweak, or (field RegKey) the
# path of a key alias, adding the alias when its specified path is empty.
CORRECTABLE = OBJECT_ATTRS[1:10] + ['RegKey']

# The Windows a tweak has an effect on: empty when not documented, "9x" for Windows 95, 98 and
# Me only, else "MIN-MAX" with either end open, each end major.minor or major.minor.build.
VERSION = r'\d+\.\d+(?:\.\d+)?'
WINDOWS_RANGE = re.compile(rf'({VERSION})?-({VERSION})?')


class SchemeError(Exception):
    pass


def read_tsv(name, columns):
    path = os.path.join(HERE, name)
    rows = []
    with open(path, encoding='ascii', newline='') as f:
        lines = f.read().split('\n')
    if lines and lines[-1] == '':
        lines.pop()
    header = lines[0].split('\t')
    if header != columns:
        raise SchemeError(f'{name}: header must be {columns}')
    for number, line in enumerate(lines[1:], start=2):
        cells = line.split('\t')
        if len(cells) != len(columns):
            raise SchemeError(f'{name}:{number}: {len(cells)} cells, expected {len(columns)}')
        rows.append(dict(zip(columns, cells)))
    return rows


def check_text(where, text):
    # The reader takes attribute values verbatim, so markup characters would show as written.
    for ch in text:
        if ord(ch) < 32 or ord(ch) > 126 or ch in '"&<>':
            raise SchemeError(f'{where}: character {ch!r} not allowed')


def check_name(where, name):
    if not name or len(name) > 36 or not all(c.isascii() and (c.isalnum() or c == '_') for c in name):
        raise SchemeError(f'{where}: bad name {name!r}')


def validate(tree, regkeys, descriptions):
    aliases = set()
    for row in regkeys:
        check_name('regkeys.tsv', row['alias'])
        check_text(row['alias'], row['path'])
        if row['alias'] in aliases:
            raise SchemeError(f'regkeys.tsv: duplicate alias {row["alias"]}')
        if not row['path'] or row['path'].startswith('\\') or row['path'].endswith('\\'):
            raise SchemeError(f'regkeys.tsv: bad path for {row["alias"]}')
        aliases.add(row['alias'])

    seen = {}
    for row in tree:
        name = row['name']
        check_name('tree.tsv', name)
        for attr in OBJECT_ATTRS:
            check_text(name, row[attr])
        if row['parent'] and row['parent'] not in seen:
            raise SchemeError(f'{name}: parent {row["parent"]} must come first')
        if row['parent'] and seen[row['parent']]['AType'] == 'CheckBox':
            raise SchemeError(f'{name}: a tweak cannot hold objects')
        if row['AType'] not in ('Group', 'CheckBox', 'Custom'):
            raise SchemeError(f'{name}: bad AType')
        if row['AFrame'] not in USED_FRAMES:
            raise SchemeError(f'{name}: unknown frame {row["AFrame"]}')
        for key, typ, root in (('AKey1', 'AValueType1', 'RootKey1'), ('AKey2', 'AValueType2', 'RootKey2')):
            if row[key] and row[key] not in aliases:
                raise SchemeError(f'{name}: unknown alias {row[key]}')
            if row[typ] and row[typ] not in TYPES:
                raise SchemeError(f'{name}: unknown value type {row[typ]}')
            if row[root] and row[root] not in ROOTS:
                raise SchemeError(f'{name}: unknown root {row[root]}')
            if bool(row[key]) != bool(row[typ]) or bool(row[key]) != bool(row[root]):
                raise SchemeError(f'{name}: {key}, {typ} and {root} go together')
        if row['AType'] == 'Group' and row['AKey1']:
            raise SchemeError(f'{name}: a group names no registry value')
        if row['AType'] == 'CheckBox' and not row['AKey1']:
            raise SchemeError(f'{name}: a tweak needs a registry value')
        for img in ('img16', 'img32'):
            if row[img] and not row[img].lstrip('-').isdigit():
                raise SchemeError(f'{name}: {img} must be an integer')
        if (row['img16'] == '') != (row['img32'] == ''):
            raise SchemeError(f'{name}: img16 and img32 are written together or not at all')
        if name in seen:
            first = seen[name]
            if any(first[a] != row[a] for a in OBJECT_ATTRS):
                raise SchemeError(f'{name}: a repeated name needs identical attributes')
        else:
            seen[name] = row

    described = set()
    for row in descriptions:
        name = row['name']
        check_name('descriptions.tsv', name)
        check_text(name, row['caption'])
        check_text(name, row['descr'])
        check_text(name, row['supported'])
        check_windows(name, row['windows'])
        if len(row['supported']) > MAX_SUPPORTED:
            raise SchemeError(f'{name}: supported text longer than {MAX_SUPPORTED} characters')
        if name in described:
            raise SchemeError(f'descriptions.tsv: duplicate entry {name}')
        if not row['caption'] or len(row['caption']) > MAX_CAPTION:
            raise SchemeError(f'{name}: caption must have 1 to {MAX_CAPTION} characters')
        if len(row['descr']) > MAX_DESCR:
            raise SchemeError(f'{name}: description longer than {MAX_DESCR} characters')
        described.add(name)
    missing = [name for name in seen if name not in described]
    if missing:
        raise SchemeError(f'no description for {", ".join(missing)}')


def version_key(text):
    return tuple(int(part) for part in text.split('.'))


def check_windows(where, text):
    if text in ('', '9x'):
        return
    match = WINDOWS_RANGE.fullmatch(text)
    if not match or not (match.group(1) or match.group(2)):
        raise SchemeError(f'{where}: bad Windows range {text!r}')
    low, high = match.group(1), match.group(2)
    # Compared on the upper end's precision: "5.0-5.0" holds every build of Windows 2000.
    if low and high and version_key(low)[:len(version_key(high))] > version_key(high):
        raise SchemeError(f'{where}: empty Windows range {text!r}')


def apply_corrections(tree, regkeys, corrections):
    """The shipped tables: the specified ones with every correction applied, each checked
    against the specified value it replaces."""
    tree = [dict(row) for row in tree]
    regkeys = [dict(row) for row in regkeys]
    seen = set()
    for number, fix in enumerate(corrections, start=2):
        where = f'corrections.tsv:{number}'
        name, field = fix['name'], fix['field']
        if field not in CORRECTABLE:
            raise SchemeError(f'{where}: field {field!r} cannot be corrected')
        if (name, field) in seen:
            raise SchemeError(f'{where}: {name} {field} corrected twice')
        seen.add((name, field))
        if fix['specified'] == fix['new']:
            raise SchemeError(f'{where}: the new value equals the specified one')
        if not fix['source'].strip():
            raise SchemeError(f'{where}: no source')
        check_text(where, fix['new'])
        if field == 'RegKey':
            rows = [row for row in regkeys if row['alias'] == name]
            current = rows[0]['path'] if rows else ''
            if current != fix['specified']:
                raise SchemeError(f'{where}: alias {name} is {current!r} in regkeys.tsv, not {fix["specified"]!r}')
            if rows:
                rows[0]['path'] = fix['new']
            else:
                regkeys.append({'alias': name, 'path': fix['new']})
            continue
        rows = [row for row in tree if row['name'] == name]
        if not rows:
            raise SchemeError(f'{where}: no object {name} in tree.tsv')
        for row in rows:
            if row[field] != fix['specified']:
                raise SchemeError(f'{where}: {name} {field} is {row[field]!r} in tree.tsv, not {fix["specified"]!r}')
            row[field] = fix['new']
    return tree, regkeys


def element(indent, name, attrs, children=None, open_close=False):
    head = '  ' * indent + '<' + name + ''.join(f' {k}="{v}"' for k, v in attrs)
    if children:
        return [head + '>'] + children + ['  ' * indent + f'</{name}>']
    if open_close:
        return [head + '>', '  ' * indent + f'</{name}>']
    return [head + '/>']


def object_attrs(row):
    attrs = [(a, row[a]) for a in OBJECT_ATTRS[:10]]
    if row['img16'] != '':
        attrs += [('img16', row['img16']), ('img32', row['img32'])]
    return attrs


def render(tree, regkeys, descriptions):
    children = {}
    for row in tree:
        children.setdefault(row['parent'], []).append(row)

    def objects(parent, indent):
        lines = []
        for row in children.get(parent, []):
            # A repeated name is a second placement of the same object, never a parent itself.
            kids = objects(row['name'], indent + 1) if row['AType'] != 'CheckBox' else []
            lines += element(indent, row['name'], object_attrs(row), kids, row['name'] in OPEN_CLOSE)
        return lines

    def section(name, lines, open_close=False):
        return element(1, name, [], lines, open_close)

    body = []
    body += section('Description', [l for r in descriptions for l in
                                    element(2, r['name'], [('Caption', r['caption']), ('Descr', r['descr']),
                                                           ('Supported', r['supported']),
                                                           ('Windows', r['windows'])])])
    body += section('RegKey', [l for r in regkeys for l in element(2, r['alias'], [('Value', r['path'])])])
    body += section('Constant', [l for n, v in CONSTANTS for l in element(2, n, [('Value', v)])])
    body += section('Restriction', [], open_close=True)
    body += section('RestrictionType', element(2, 'Custom', []) + element(2, 'CheckBox', []))
    body += section('TreeItem', objects('', 2))
    body += section('AppObjType', element(2, 'Group', []) + element(2, 'CheckBox', []) + element(2, 'Custom', []))
    body += section('ValueType', [l for n, v in VALUE_TYPES for l in
                                  element(2, n, [('Value1', v[0]), ('Value1', v[1])] if v else [])])
    body += section('Frame', [l for n in FRAMES for l in element(2, n, [])])
    lines = ['<?xml version="1.0" encoding="UTF-8"?>'] + element(0, 'OBJECTS', SCHEMA_ATTRS, body)
    return ('\r\n'.join(lines) + '\r\n').encode('ascii')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--check', action='store_true')
    parser.add_argument('--out', default=DEFAULT_OUT)
    args = parser.parse_args()
    try:
        tree = read_tsv('tree.tsv', TREE_COLUMNS)
        regkeys = read_tsv('regkeys.tsv', ['alias', 'path'])
        descriptions = read_tsv('descriptions.tsv', DESCRIPTION_COLUMNS)
        corrections = read_tsv('corrections.tsv', CORRECTION_COLUMNS)
        validate(tree, regkeys, descriptions)  # the specified catalogue on its own
        tree, regkeys = apply_corrections(tree, regkeys, corrections)
        validate(tree, regkeys, descriptions)
    except SchemeError as e:
        sys.exit(f'gen_scheme: {e}')
    data = render(tree, regkeys, descriptions)
    if args.check:
        try:
            with open(args.out, 'rb') as f:
                current = f.read()
        except OSError:
            current = None
        if current != data:
            sys.exit(f'gen_scheme: {args.out} is out of date; run tools/scheme/gen_scheme.py')
        return
    with open(args.out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
