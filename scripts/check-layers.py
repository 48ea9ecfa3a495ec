#!/usr/bin/env python3
"""Checks that each source folder includes only the folders it may use.

The rules live in docs/architecture.md, in two markdown tables:

  | Folder | Holds | May include |           one row per source folder
  | Exception | From | To | Headers | Reason |   temporary, named breaks of the rules

Every #include of a project file (written from the project root, as "site/Form.h", or
relative to the including file, as "../common/Fixture.h") counts as a use of the folder
that holds the included file. The check fails on an include the tables do not allow, on
folders that include each other (directly or round a longer circle), on a table that
itself allows a circle, on a source folder without a row and on an exception that nothing
needs any more. Exit status 0 when all is well, 1 on a broken rule, 2 on unusable input.
"""

import argparse
import os
import re
import sys

SOURCE_SUFFIXES = ('.c', '.cc', '.cpp', '.cxx', '.h', '.hh', '.hpp', '.hxx', '.inc')
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
NAME = re.compile(r'`([^`]+)`')


class TableError(Exception):
    pass


def folder_name(text):
    return text.strip().strip('/')


def split_row(line):
    cells = line.strip()
    if not cells.startswith('|'):
        return None
    cells = cells[1:]
    if cells.endswith('|'):
        cells = cells[:-1]
    return [c.strip() for c in cells.split('|')]


def read_tables(path):
    """Returns every markdown table of the file as (first line number, header, rows)."""
    tables = []
    current = None
    with open(path, encoding='utf-8') as doc:
        for number, line in enumerate(doc, 1):
            row = split_row(line)
            if row is None:
                current = None
                continue
            if current is None:
                current = (number, [c.lower() for c in row], [])
                tables.append(current)
            elif all(re.fullmatch(r':?-{3,}:?', c) for c in row):
                continue
            else:
                current[2].append((number, row))
    return tables


def names_in(cell, where):
    """The folders a cell names: `a`, `b/` ...; 'any' for every folder; '-' for none."""
    names = [folder_name(n) for n in NAME.findall(cell)]
    if names:
        return names
    plain = cell.strip().lower()
    if plain.startswith('any'):
        return None
    if plain in ('', '-', '—', 'none', 'nothing'):
        return []
    raise TableError(f'{where}: cannot read "{cell}": name folders in backticks, '
                     f'or write "any" or "—"')


def find_table(tables, columns, doc):
    for first, header, rows in tables:
        if all(c in header for c in columns):
            return first, header, rows
    raise TableError(f'{doc}: no table with the columns ' + ', '.join(columns))


def load_rules(doc):
    tables = read_tables(doc)
    _, header, rows = find_table(tables, ('folder', 'may include'), doc)
    folder_col, may_col = header.index('folder'), header.index('may include')
    allowed = {}
    for number, row in rows:
        where = f'{doc}:{number}'
        if len(row) <= max(folder_col, may_col):
            raise TableError(f'{where}: the row has too few cells')
        folders = [folder_name(n) for n in NAME.findall(row[folder_col])]
        if not folders:
            raise TableError(f'{where}: no folder named in backticks')
        uses = names_in(row[may_col], where)
        for folder in folders:
            if folder in allowed:
                raise TableError(f'{where}: `{folder}` has a row already')
            allowed[folder] = None if uses is None else set(uses)

    exceptions = []
    try:
        _, header, rows = find_table(tables, ('exception', 'from', 'to', 'reason'), doc)
    except TableError:
        rows = []
    else:
        cols = {c: header.index(c) for c in ('exception', 'from', 'to', 'reason')}
        headers_col = header.index('headers') if 'headers' in header else None
        for number, row in rows:
            where = f'{doc}:{number}'
            if len(row) < len(header):
                raise TableError(f'{where}: the row has too few cells')
            source = names_in(row[cols['from']], where)
            target = names_in(row[cols['to']], where)
            if not source or not target or len(source) != 1 or len(target) != 1:
                raise TableError(f'{where}: an exception names one folder in From and one in To')
            headers = None
            if headers_col is not None:
                listed = NAME.findall(row[headers_col])
                headers = set(listed) if listed else None
            name = row[cols['exception']].strip('` ')
            if not name or not row[cols['reason']]:
                raise TableError(f'{where}: an exception needs a name and a reason')
            exceptions.append({'name': name, 'from': source[0], 'to': target[0],
                               'headers': headers, 'line': number, 'used': False})

    for folder, uses in allowed.items():
        for use in uses or ():
            if use not in allowed:
                raise TableError(f'{doc}: `{folder}` may include `{use}`, which has no row')
    for exception in exceptions:
        for side in ('from', 'to'):
            if exception[side] not in allowed:
                raise TableError(f'{doc}:{exception["line"]}: `{exception[side]}` has no row')
    return allowed, exceptions


def unit_of(path, folders):
    """The folder (row of the table) a project path belongs to: the longest that holds it."""
    best = None
    for folder in folders:
        if path == folder or path.startswith(folder + '/'):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def is_source(name):
    if name.endswith('.in'):
        name = name[:-3]
    return name.endswith(SOURCE_SUFFIXES)


def source_files(root):
    """Every C and C++ file of the project, build folders and hidden folders left out."""
    for directory, subdirs, files in os.walk(root):
        subdirs[:] = sorted(d for d in subdirs if not d.startswith('.')
                            and not os.path.exists(os.path.join(directory, d, 'CMakeCache.txt')))
        for name in sorted(files):
            if is_source(name):
                yield os.path.relpath(os.path.join(directory, name), root).replace(os.sep, '/')


def resolve(root, including, text, quoted, folders):
    """The project path an include names, or None for a system or generated header."""
    candidates = []
    if quoted:
        candidates.append(os.path.normpath(os.path.join(os.path.dirname(including), text)))
    candidates.append(os.path.normpath(text))
    for candidate in candidates:
        candidate = candidate.replace(os.sep, '/')
        if candidate.startswith('../') or os.path.isabs(candidate):
            continue
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    # A header generated into the build folder still names its folder ("lonsim/Networks.h").
    if '/' in text and unit_of(text, folders):
        return text
    return None


def find_circles(edges):
    """Strongly connected groups of more than one folder (Tarjan), each as a sorted list."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in sorted(edges.get(node, ())):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == node:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for node in sorted(edges):
        if node not in index:
            visit(node)
    return groups


def circle_path(edges, group):
    """One circle through the group's first folder, as a list of folders ending where it began."""
    start = group[0]
    members = set(group)
    previous = {start: None}
    queue = [start]
    while queue:
        node = queue.pop(0)
        for nxt in sorted(edges.get(node, ())):
            if nxt == start:
                path = [node]
                while previous[path[-1]] is not None:
                    path.append(previous[path[-1]])
                return list(reversed(path)) + [start]
            if nxt in members and nxt not in previous:
                previous[nxt] = node
                queue.append(nxt)
    return group + [start]


def check(root, doc):
    problems = []
    allowed, exceptions = load_rules(doc)
    folders = list(allowed)
    consumers = {f for f, uses in allowed.items() if uses is None}

    # The table itself must not allow a circle; "any" means every folder that is not "any".
    table_edges = {f: (set(folders) - consumers - {f}) if uses is None else set(uses) - {f}
                   for f, uses in allowed.items()}
    for group in find_circles(table_edges):
        path = circle_path(table_edges, group)
        problems.append(f'{doc}: the table lets folders include each other: '
                        + ' → '.join(path))

    edges = {}        # folder -> {included folder: first (file, line, header)}
    files = 0
    for path in source_files(root):
        files += 1
        unit = unit_of(path, folders)
        if unit is None:
            top = path.split('/')[0] if '/' in path else '.'
            problems.append(f'{path}: folder `{top}` has no row in {doc} (add one: what it '
                            f'holds and what it may include)')
            continue
        with open(os.path.join(root, path), encoding='utf-8', errors='replace') as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = resolve(root, path, match.group(2), match.group(1) == '"', folders)
                if target is None:
                    continue
                used = unit_of(target, folders)
                if used is None or used == unit:
                    continue
                edges.setdefault(unit, {}).setdefault(used, (path, number, target))
                uses = allowed[unit]
                if uses is None or used in uses:
                    continue
                excused = False
                for exception in exceptions:
                    if (exception['from'], exception['to']) == (unit, used) and (
                            exception['headers'] is None or target in exception['headers']):
                        exception['used'] = True
                        excused = True
                if excused:
                    continue
                may = ', '.join(f'`{u}`' for u in sorted(uses)) or 'no other folder'
                problems.append(f'{path}:{number}: `{unit}` includes "{target}" from `{used}`, '
                                f'but `{unit}` may include only {may} ({doc})')

    # A circle is broken unless a named exception excuses one of its steps.
    excused_edges = {(a, b) for a, targets in edges.items() for b in targets
                     if allowed[a] is not None and b not in allowed[a]
                     and any((e['from'], e['to']) == (a, b) and e['used'] for e in exceptions)}
    open_edges = {a: {b for b in targets if (a, b) not in excused_edges}
                  for a, targets in edges.items()}
    for group in find_circles(open_edges):
        path = circle_path(open_edges, group)
        steps = []
        for a, b in zip(path, path[1:]):
            where, number, header = edges[a][b]
            steps.append(f'`{a}` includes "{header}" ({where}:{number})')
        problems.append('folders include each other: ' + '; '.join(steps))
    all_edges = {a: set(targets) for a, targets in edges.items()}
    for group in find_circles(all_edges):
        known = sorted({e['name'] for e in exceptions
                        if e['from'] in group and e['to'] in group and e['used']})
        if known:
            print('check-layers: known circle among ' + ', '.join(group)
                  + ' (exception ' + ', '.join(known) + ')')

    for exception in exceptions:
        if not exception['used']:
            problems.append(f'{doc}:{exception["line"]}: exception {exception["name"]} '
                            f'(`{exception["from"]}` → `{exception["to"]}`) is needed no more: '
                            f'remove its row')
    return files, sum(len(t) for t in edges.values()), problems, exceptions


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(
        description='Checks the includes between source folders against the allowed-dependency '
                    'table of docs/architecture.md.')
    parser.add_argument('--root', default=os.path.dirname(here),
                        help='the project folder (default: the one this script is in)')
    parser.add_argument('--doc', default='docs/architecture.md',
                        help='the document with the tables, relative to the root '
                             '(default: %(default)s)')
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    os.chdir(root)
    try:
        files, links, problems, exceptions = check(root, args.doc)
    except (OSError, TableError) as error:
        print(f'check-layers: {error}', file=sys.stderr)
        return 2
    if problems:
        for problem in problems:
            print(problem, file=sys.stderr)
        print(f'check-layers: {len(problems)} broken rule(s); the allowed uses are in '
              f'{args.doc}', file=sys.stderr)
        return 1
    print(f'check-layers: {files} files, {links} uses between folders, all allowed '
          f'({len(exceptions)} named exception(s))')
    return 0


if __name__ == '__main__':
    sys.exit(main())
