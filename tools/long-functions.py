#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Lists the functions longer than a limit in C++ sources.

    tools/long-functions.py [--max N] PATH...

PATHs are files or folders (searched for *.cpp and *.h). A function's length
counts the lines from its opening brace to its closing one, both included;
a lambda counts with the function it is written in. Namespaces, class bodies
(their member functions are measured), enums and initialiser tables are no
functions. Prints "file:line: name: N lines" for each one over the limit
and exits with 1 when there is any, else 0.

A brace matcher, not a parser: it knows enough of C++ for this tree
(comments, string, character and raw string literals, digit separators,
preprocessor lines, constructor initialiser lists).
"""
import argparse
import pathlib
import re
import sys

SCOPE_KEYWORD = re.compile(r'^(?:\[\[[^\]]*\]\]\s*)*(?:typedef\s+)?(?:class|struct|union|enum)\b')
NAMESPACE = re.compile(r'(?:^|\s)(?:inline\s+)?namespace\b|^extern\s*""$')
LAMBDA = re.compile(r'\[[^\[\]]*\]\s*(?:\([^;]*\))?[^;=]*$')


def blank_literals(text):
    """The text with comments, literals and preprocessor lines blanked out;
    line breaks stay, so that line numbers still hold."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c in ' \t':
            out.append(c)
            i += 1
            continue
        if line_start and c == '#':
            # A preprocessor line, with its continuations.
            while i < n and text[i] != '\n':
                if text[i] == '\\' and i + 1 < n and text[i + 1] == '\n':
                    out.append('\n')
                    i += 2
                    continue
                i += 1
            continue
        line_start = False
        if c == '\n':
            line_start = True
            out.append(c)
            i += 1
        elif text.startswith('//', i):
            while i < n and text[i] != '\n':
                i += 1
        elif text.startswith('/*', i):
            end = text.find('*/', i + 2)
            end = n if end < 0 else end + 2
            out.append(' ' + '\n' * text.count('\n', i, end))
            i = end
        elif c == 'R' and text.startswith('R"', i) and not (i and (text[i - 1].isalnum() or text[i - 1] == '_')) \
                or (c in 'uUL8' and re.match(r'(?:u8|u|U|L)R"', text[i:i + 4])
                    and not (i and (text[i - 1].isalnum() or text[i - 1] == '_'))):
            quote = text.index('"', i)
            paren = text.index('(', quote)
            delimiter = ')' + text[quote + 1:paren] + '"'
            end = text.find(delimiter, paren)
            end = n if end < 0 else end + len(delimiter)
            out.append('""' + '\n' * text.count('\n', i, end))
            i = end
        elif c == '"' or (c == "'" and not is_digit_separator(text, i)):
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == '\\' else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def is_digit_separator(text, i):
    j = i
    while j > 0 and (text[j - 1].isalnum() or text[j - 1] in "_.'"):
        j -= 1
    return j < i and text[j].isdigit() and i + 1 < len(text) and text[i + 1].isalnum()


def matching_brace(code, open_at):
    depth = 0
    for k in range(open_at, len(code)):
        if code[k] == '{':
            depth += 1
        elif code[k] == '}':
            depth -= 1
            if depth == 0:
                return k
    return len(code) - 1


def strip_templates(head):
    """The head without its template parameter lists, whose defaults may hold
    an '='."""
    while True:
        m = re.search(r'\btemplate\s*<', head)
        if not m:
            return head
        depth, k = 0, m.end() - 1
        while k < len(head):
            depth += {'<': 1, '>': -1}.get(head[k], 0)
            if depth == 0:
                break
            k += 1
        head = head[:m.start()] + head[k + 1:]


def top_level(head):
    """The head with everything inside parentheses removed."""
    out, depth = [], 0
    for ch in head:
        if ch == '(':
            depth += 1
            if depth == 1:
                out.append('(')
        elif ch == ')':
            depth -= 1
            if depth == 0:
                out.append(')')
        elif depth == 0:
            out.append(ch)
    return ''.join(out)


def function_name(head):
    flat = ' '.join(top_level(head).split())
    m = re.search(r'((?:operator\s*\S+?|~?[\w:~<>]+))\s*\(\)', flat)
    return m.group(1) if m else flat[:60]


def kind_of_brace(head, paren_depth):
    """What a brace opened at namespace or class scope opens: 'scope' (its
    inside is read as this level), 'function', or 'other' (skipped whole:
    an initialiser, a table, a member's brace initialiser)."""
    if paren_depth > 0:
        return 'other'
    head = ' '.join(strip_templates(head).split())
    flat = top_level(head)
    # A class may follow a macro that takes no semicolon (Q_DECLARE_METATYPE).
    declared = flat[flat.rindex(')') + 1:].strip() if ')' in flat else head
    if re.match(r'^enum\b', declared) or re.match(r'^enum\b', head):
        return 'other'
    if NAMESPACE.search(head) or SCOPE_KEYWORD.match(head) or SCOPE_KEYWORD.match(declared):
        return 'scope'
    flat_no_operator = re.sub(r'\boperator\s*[^\s(]+\s*\(', 'operator(', flat)
    if '=' in flat_no_operator.replace('==', '').replace('!=', '').replace('<=', '').replace('>=', ''):
        _, _, after = flat_no_operator.partition('=')
        return 'function' if LAMBDA.search(after) else 'other'
    if ')' not in flat:
        return 'other'
    after_parameters = flat[flat.rindex(')') + 1:]
    # A constructor's initialiser list: "name{" is a member's initialiser,
    # the body's brace follows ')' or '}' or a qualifier.
    if re.search(r'(?<!:):(?!:)', after_parameters) and re.search(r'[\w>]\s*$', head) \
            and not re.search(r'\b(?:const|noexcept|override|final|mutable)\s*$', head):
        return 'other'
    return 'function'


def long_functions(path, limit):
    code = blank_literals(path.read_text(encoding='utf-8', errors='replace'))
    found = []

    def line_of(k):
        return code.count('\n', 0, k) + 1

    def read_scope(start, end):
        head_start, paren_depth, k = start, 0, start
        while k < end:
            ch = code[k]
            if ch == '(':
                paren_depth += 1
            elif ch == ')':
                paren_depth -= 1
            elif ch == ';' and paren_depth == 0:
                head_start = k + 1
            elif ch == '}':
                head_start = k + 1
            elif ch == '{':
                head = code[head_start:k].strip()
                # A label ("public:") ends no statement but starts no head.
                head = re.sub(r'^(?:(?:public|private|protected)\s*:\s*)+', '', head)
                close = matching_brace(code, k)
                kind = kind_of_brace(head, paren_depth)
                if kind == 'scope':
                    read_scope(k + 1, close)
                    head_start = close + 1
                elif kind == 'function':
                    lines = line_of(close) - line_of(k) + 1
                    if lines > limit:
                        found.append((line_of(k), function_name(head), lines))
                    head_start = close + 1
                # 'other': the braces are part of a statement that goes on.
                k = close
            k += 1

    read_scope(0, len(code))
    return found


def sources(paths):
    for name in paths:
        path = pathlib.Path(name)
        if path.is_dir():
            yield from sorted(p for p in path.rglob('*') if p.suffix in ('.cpp', '.h') and p.is_file())
        else:
            yield path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--max', type=int, default=90, help='the most lines a function may have (90)')
    parser.add_argument('paths', nargs='+')
    options = parser.parse_args()
    offenders = 0
    for path in sources(options.paths):
        for line, name, lines in long_functions(path, options.max):
            print(f'{path}:{line}: {name}: {lines} lines')
            offenders += 1
    if offenders:
        print(f'{offenders} functions over {options.max} lines', file=sys.stderr)
    return 1 if offenders else 0


if __name__ == '__main__':
    sys.exit(main())
