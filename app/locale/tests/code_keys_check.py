"""Every string key that the program's code hands to a text lookup (literal
keys of the lookup and format calls, of message records and of the stage-key
constants) is defined in the shipped English locale, so that no text shows as
its key. Usage: code_keys_check.py SOURCE_ROOT"""
import os
import re
import sys

CALLS = [
    # Lookups and boxes that take the key first.
    re.compile(r'\b(?:Locale_GetString|App_TextOfKey|App_ErrorBoxOfKey|App_WarningBoxOfKey)\(\s*"([^"]*)"'),
    # Locale_FormatString(out, "Key", ...)
    re.compile(r'\bLocale_FormatString\(\s*\w+\s*,\s*"([^"]*)"'),
    # Locale_FormatStringWith...(out, name, value, "Key")
    re.compile(r'\bLocale_FormatStringWith\w+\([^;]*?"([^"]*)"\s*\)'),
    # Message records and the stage keys of the builders.
    re.compile(r'\b(?:textKey|titleKey)\s*=\s*"([^"]*)"'),
    re.compile(r'\bk\w*(?:Stage|Text|Title|Message)Key\s*=\s*"([^"]*)"'),
]


def LocaleKeys(root):
    keys = set()
    with open(os.path.join(root, 'app/locale/data/Locale-en-GB.txt'), encoding='latin-1') as f:
        for line in f:
            m = re.match(r'([A-Za-z_][A-Za-z0-9_.]*)=', line)
            if m:
                keys.add(m.group(1))
    return keys


def CodeKeys(root):
    found = {}
    for folder, _, files in os.walk(os.path.join(root, 'app')):
        if os.sep + 'tests' in folder:
            continue
        for name in files:
            if not name.endswith(('.cpp', '.h')):
                continue
            path = os.path.join(folder, name)
            with open(path, encoding='latin-1') as f:
                text = f.read()
            for pattern in CALLS:
                for m in pattern.finditer(text):
                    line = text.count('\n', 0, m.start()) + 1
                    found.setdefault(m.group(1), []).append('%s:%d' % (os.path.relpath(path, root), line))
    return found


def main():
    root = sys.argv[1]
    keys = LocaleKeys(root)
    found = CodeKeys(root)
    if len(found) < 100:
        print('only %d keys found in the code: the patterns no longer match it' % len(found))
        return 1
    missing = {k: v for k, v in found.items() if k not in keys}
    for key, places in sorted(missing.items()):
        print('%s is not in the locale (%s)' % (key, ', '.join(places)))
    print('%d keys of the code, %d missing' % (len(found), len(missing)))
    return 1 if missing else 0


if __name__ == '__main__':
    sys.exit(main())
