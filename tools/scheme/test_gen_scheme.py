#!/usr/bin/env python3
"""The generator refuses corrections and Windows ranges that do not mean what they say."""
import os
import sys
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_scheme  # noqa: E402


def tweak(name, **attrs):
    row = {'name': name, 'parent': 'Group_T', 'AType': 'CheckBox', 'AFrame': 'frameCheckBox',
           'AKey1': 'Keys', 'AValue1': name, 'AValueType1': 'Integer10', 'AKey2': '', 'AValue2': '',
           'AValueType2': '', 'RootKey1': 'HKEY_CURRENT_USER', 'RootKey2': '', 'img16': '', 'img32': ''}
    row.update(attrs)
    return row


TREE = [tweak('Twice'), tweak('Once'), tweak('Twice')]
REGKEYS = [{'alias': 'Keys', 'path': 'Software\\Keys'}]


def fix(name, field, specified, new, source='Some.admx SomePolicy'):
    return {'name': name, 'field': field, 'specified': specified, 'new': new, 'source': source}


class Corrections(unittest.TestCase):
    def test_applied_to_every_placement_and_aliases_added_or_changed(self):
        tree, regkeys = gen_scheme.apply_corrections(TREE, REGKEYS, [
            fix('Twice', 'RootKey1', 'HKEY_CURRENT_USER', 'HKEY_LOCAL_MACHINE'),
            fix('Added', 'RegKey', '', 'Software\\Added'),
            fix('Keys', 'RegKey', 'Software\\Keys', 'Software\\Moved'),
        ])
        self.assertEqual([row['RootKey1'] for row in tree],
                         ['HKEY_LOCAL_MACHINE', 'HKEY_CURRENT_USER', 'HKEY_LOCAL_MACHINE'])
        self.assertEqual(regkeys, [{'alias': 'Keys', 'path': 'Software\\Moved'},
                                   {'alias': 'Added', 'path': 'Software\\Added'}])
        # The specified tables stay as they were.
        self.assertEqual(TREE[0]['RootKey1'], 'HKEY_CURRENT_USER')
        self.assertEqual(REGKEYS[0]['path'], 'Software\\Keys')

    def test_refused(self):
        cases = [
            ('specified value is not the catalogue\'s', [fix('Once', 'AKey1', 'Other', 'Keys2')]),
            ('alias specified as absent but present', [fix('Keys', 'RegKey', '', 'Software\\X')]),
            ('alias specified but absent', [fix('Nope', 'RegKey', 'Software\\X', 'Software\\Y')]),
            ('no such tweak', [fix('Nope', 'AKey1', 'Keys', 'Other')]),
            ('a field that names no location', [fix('Once', 'img16', '', '3')]),
            ('nothing changes', [fix('Once', 'AKey1', 'Keys', 'Keys')]),
            ('no source', [fix('Once', 'AKey1', 'Keys', 'Other', source=' ')]),
            ('the same field twice', [fix('Once', 'AKey1', 'Keys', 'Other'), fix('Once', 'AKey1', 'Keys', 'Third')]),
            ('markup in the new value', [fix('Once', 'AValue1', 'Once', 'a"b')]),
        ]
        for what, corrections in cases:
            with self.subTest(what):
                with self.assertRaises(gen_scheme.SchemeError):
                    gen_scheme.apply_corrections(TREE, REGKEYS, corrections)


class WindowsRanges(unittest.TestCase):
    def test_accepted_and_refused(self):
        for text in ['', '9x', '5.0-', '-4.0', '5.0-5.2', '5.0-5.0', '5.1-10.0.19045', '10.0.22000-',
                     '5.2.3790-5.2']:
            with self.subTest(text):
                gen_scheme.check_windows('t', text)
        for text in ['?', '-', '5.0', '5-6', '5.0-5.2-6.0', ' 5.0-', '6.0-5.2', '10.0.22000-10.0.19045', 'XP']:
            with self.subTest(text):
                with self.assertRaises(gen_scheme.SchemeError):
                    gen_scheme.check_windows('t', text)


if __name__ == '__main__':
    unittest.main()
