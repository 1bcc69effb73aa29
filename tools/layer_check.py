#!/usr/bin/python3
"""Keeps the folder layering one way.

    layer_check.py [ROOT]

Reads the order from ROOT/tools/layers.txt (ROOT defaults to the tree this
script is in; "boundary:" names single headers, the types of a deliverable's
exports, that the product folders of other chains may include), then checks every #include of the .h, .cpp, .c and .rc files
and every CMake dependency (tolvaran_folder_library DEPENDS,
target_link_libraries, add_dependencies, target_include_directories on a
source folder) of every folder that is not exempt. Prints each use that goes
against the order as file:line: message and exits 1 when there is one.
"""
import fnmatch
import os
import re
import sys

SOURCE_SUFFIXES = ('.h', '.cpp', '.c', '.rc')
SKIPPED_TOP = {'build', 'run'}  # build and run folders of the presets
EXEMPT = '(exempt)'
LAYERS = 'tools/layers.txt'

INCLUDE = re.compile(r'\s*#\s*include\s*[<"]([^>"]+)[>"]')
CMAKE_TOKEN = re.compile(r'#[^\n]*|"(?:\\.|[^"\\])*"|[()]|[^\s()#"]+|\n')
VARIABLE = re.compile(r'\$\{(\w+)\}')
TARGET_EXPRESSION = re.compile(r'\$<[A-Z_]+:([\w.-]+)>')
LINK_KEYWORDS = {'PUBLIC', 'PRIVATE', 'INTERFACE', 'LINK_PUBLIC', 'LINK_PRIVATE', 'debug', 'optimized', 'general',
                 'SYSTEM', 'BEFORE', 'AFTER'}


class Layers:
    def __init__(self, path):
        self.path = path
        self.chains, self.exempt, self.support, self.boundary = [], [], set(), set()
        with open(path, encoding='utf-8') as f:
            for number, line in enumerate(f, 1):
                line = line.split('#')[0].strip()
                if not line:
                    continue
                key, _, value = line.partition(':')
                if key.startswith('chain '):
                    self.chains.append(value.split())
                elif key == 'exempt':
                    self.exempt += value.split()
                elif key == 'support':
                    self.support.update(value.split())
                elif key == 'boundary':
                    self.boundary.update(value.split())
                else:
                    sys.exit(f'{path}:{number}: expected "chain <name>:", "exempt:", "support:" or "boundary:"')
        self.folders = {f for chain in self.chains for f in chain} | self.support
        self.tops = {f.split('/')[0] for f in self.folders | set(self.exempt)}

    def is_exempt(self, directory):
        return any(fnmatch.fnmatch(directory, pattern) for pattern in self.exempt)

    def folder_of(self, path):
        """The listed folder holding a tree path, EXEMPT, or None when no listed folder holds it."""
        parts = path.split('/')[:-1]
        if any(self.is_exempt('/'.join(parts[:i])) for i in range(1, len(parts) + 1)):
            return EXEMPT
        for i in range(len(parts), 0, -1):
            if '/'.join(parts[:i]) in self.folders:
                return '/'.join(parts[:i])
        return None

    def across(self, user, used):
        """True when `user` is a product folder that shares no chain with `used`."""
        return user not in self.support and user != EXEMPT and not any(
            user in chain and used in chain for chain in self.chains)

    def fault(self, user, used):
        """Why folder `user` may not use folder `used`, or None when it may."""
        if user == used or user == EXEMPT:
            return None
        if used == EXEMPT:
            return 'test, benchmark and tool code is not part of the product'
        if used in self.support and user not in self.support:
            return f'{used} is support code that the product never uses'
        if any(user in chain and used in chain and chain.index(used) < chain.index(user) for chain in self.chains):
            return None
        return f'{used} is not below {user} in the layer order'


def tree_files(root, layers):
    """Tree paths ('/'-separated) of the files of every folder that is not exempt."""
    for directory, subdirectories, files in os.walk(root):
        relative = os.path.relpath(directory, root).replace(os.sep, '/')
        relative = '' if relative == '.' else relative
        subdirectories[:] = sorted(
            d for d in subdirectories
            if not d.startswith('.') and not (relative == '' and d in SKIPPED_TOP)
            and not layers.is_exempt(f'{relative}/{d}'.lstrip('/')))
        if relative:
            yield from (f'{relative}/{name}' for name in sorted(files))


def cmake_commands(text):
    """(name, line, [(argument, line)]) of each command of a CMake file; quoted arguments unquoted."""
    line, depth, previous = 1, 0, None
    for match in CMAKE_TOKEN.finditer(text):
        token = match.group()
        if token == '\n':
            line += 1
        elif token.startswith('#'):
            continue
        elif depth == 0:
            if token == '(' and previous:
                name, start, arguments, depth = previous[0].lower(), previous[1], [], 1
            else:
                previous = (token, line)
        elif token == '(':
            depth += 1
        elif token == ')':
            depth -= 1
            if depth == 0:
                yield name, start, arguments
                previous = None
        else:
            arguments.append((token[1:-1] if token.startswith('"') else token, line))
            line += token.count('\n')


def expand(word, variables):
    """The values of a word after substituting known variables; a list variable gives one value per item."""
    match = VARIABLE.search(word)
    if not match or match.group(1) not in variables:
        return [word]
    values = []
    for value in variables[match.group(1)]:
        values += expand(word[:match.start()] + value + word[match.end():], variables)
    return values


def cmake_uses(text):
    """Targets a CMake file defines, and (consumer, used word, line) of each dependency it states."""
    variables, defined, uses = {}, [], []
    for name, line, arguments in cmake_commands(text):
        words = [(value, at) for word, at in arguments for value in expand(word, variables)]
        if not words:
            continue
        first = words[0][0]
        if name == 'set':
            variables[first] = [w for w, _ in words[1:]]
        elif name == 'list' and first == 'APPEND' and len(words) > 1:
            variables.setdefault(words[1][0], []).extend(w for w, _ in words[2:])
        elif name == 'foreach':
            items = [w for w, _ in words[1:]]
            if items[:2] == ['IN', 'LISTS']:
                items = [value for listed in items[2:] for value in variables.get(listed, [])]
            elif items[:2] == ['IN', 'ITEMS']:
                items = items[2:]
            variables[first] = items  # the loop variable stands for all its values at once
        elif name in ('tolvaran_folder_library', 'add_library', 'add_executable'):
            defined.append(first)
            if name == 'tolvaran_folder_library':
                mode = None
                for word, at in words[1:]:
                    if word in ('DEPENDS', 'EXCLUDE', 'SHARED'):
                        mode = word
                    elif mode == 'DEPENDS':
                        uses.append((first, word, at))
        elif name in ('target_link_libraries', 'add_dependencies', 'target_include_directories'):
            uses += [(first, word, at) for word, at in words[1:] if word not in LINK_KEYWORDS]
    return defined, uses


class Check:
    def __init__(self, root):
        self.root = root
        self.layers = Layers(os.path.join(root, LAYERS))
        self.faults = []
        self.unplaced = set()

    def folder(self, path):
        folder = self.layers.folder_of(path)
        directory = os.path.dirname(path)
        if folder is None and directory not in self.unplaced:
            self.unplaced.add(directory)
            self.faults.append(f'{path}: folder {directory} is not in the layer order ({LAYERS})')
        return folder

    def read(self, path):
        with open(os.path.join(self.root, path), encoding='utf-8', errors='replace') as f:
            return f.read()

    def includes(self, path):
        user = self.folder(path)
        if user is None:
            return
        for number, line in enumerate(self.read(path).splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            header = match.group(1)
            if header.startswith('.'):
                header = os.path.normpath(os.path.join(os.path.dirname(path), header)).replace(os.sep, '/')
            if '/' not in header or header.split('/')[0] not in self.layers.tops:
                continue  # the folder's own header, a system header or a library's
            used = self.layers.folder_of(header)
            if header in self.layers.boundary and self.layers.across(user, used):
                continue  # the types of a deliverable's exports, for the product folders of other chains
            fault = 'that folder is not in the layer order' if used is None else self.layers.fault(user, used)
            if fault:
                self.faults.append(f'{path}:{number}: {user} includes "{header}": {fault}')

    def cmake(self, files):
        targets, uses = {}, []
        for path in files:
            folder = self.folder(path)
            if folder is None:
                continue
            defined, stated = cmake_uses(self.read(path))
            targets.update((target, folder) for target in defined)
            uses += [(path, folder, consumer, word, line) for consumer, word, line in stated]
        for path, folder, consumer, word, line in uses:
            if consumer in targets:
                user = targets[consumer]
            elif consumer.endswith('_test'):
                user = EXEMPT  # a test program of the folder's tests/
            else:
                user = folder
            word = TARGET_EXPRESSION.sub(r'\1', word)
            if word in targets:
                used, what = targets[word], word
            elif word.startswith('${CMAKE_SOURCE_DIR}/'):
                what = word[len('${CMAKE_SOURCE_DIR}/'):].rstrip('/')
                used = self.layers.folder_of(what + '/')
            else:
                continue  # a system library, a link option or a target from outside the tree
            fault = self.layers.fault(user, used) if used else f'{what} is not in the layer order'
            if fault:
                self.faults.append(f'{path}:{line}: {consumer} ({user}) depends on {what} ({used}): {fault}')

    def run(self):
        files = list(tree_files(self.root, self.layers))
        for path in files:
            if path.endswith(SOURCE_SUFFIXES):
                self.includes(path)
        self.cmake([path for path in files if os.path.basename(path) == 'CMakeLists.txt'])
        return self.faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    faults = Check(os.path.abspath(root)).run()
    for fault in faults:
        print(fault)
    if faults:
        print(f'layer check: {len(faults)} use(s) against the folder order of tools/layers.txt')
        return 1
    print('layer check: includes and CMake dependencies follow tools/layers.txt')
    return 0


if __name__ == '__main__':
    sys.exit(main())
