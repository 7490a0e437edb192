#!/usr/bin/env python3
"""How many one-line slips in the host-tested decision code fail a host unit test.

Not part of the test command. Each slip is applied alone to a copy of the working tree (the
tracked and untracked, not ignored, files; never the tree itself); only the slipped object and
its library are rebuilt (with Ninja where it is installed, else Make), and the host test binary
of its program is run directly, with a timeout. The copy builds the two core libraries shared
and at -O1, so a slip costs one compile and a small link, never a link of the test binary.
A slip is

  caught      the test binary failed, crashed or ran out of time;
  survived    every test passed;
  no build    the compiler (with the project's -Werror) refused it: it cannot land;
  same code   its object file is byte for byte the unslipped one: it changes nothing;
  equivalent  listed, with its reason, in scripts/slips-equivalent.txt.

The share is caught / (slips - no build - same code - equivalent).

Usage:
  python3 scripts/slips.py [options] [FILE...]
    FILE          sources to slip, relative to the top (default: every .cpp of prepclient_core
                  and launcher_core, as the host build names them)
    --list        print the slips only; nothing is built
    --summary     print the table only, not every survivor
    --jobs N      build trees working side by side, one file at a time each (1 or 2; default 1)
    --work DIR    where the copies and build trees live, kept for the next run (default
                  $TMPDIR/imageprep-slips-<uid>); a second run rebuilds only what changed
    --sanitize    build the tests with ASan and UBSan (slower; catches leaks on one path)
    --make        build with Make even where Ninja is installed
    --timeout S   per test binary run (default 10; a clean run takes well under one)
    --tsv FILE    also write one line per slip: file, line, rule, slip, verdict

The slips, chosen by rule in file order (line, then column), identical results kept once.
Comments, strings and preprocessor lines are never touched. Binary operators are told from
template brackets and declarators by the spaces clang-format puts around them.

  compare     each binary < <= > >=: the boundary moved (< <-> <=, > <-> >=), the result
              negated (< <-> >=, > <-> <=) and the operands swapped (< <-> >, <= <-> >=);
              each == and != negated
  logic       each binary && <-> ||
  not         each unary ! dropped
  negate      each operand of a condition (if, while, ?:, && and ||) that holds no
              comparison and no ! gets one: the fallback taken when it was not
  flow        each continue <-> break
  return      each return that is not the last statement of its function dropped; each
              returned value changed: a bool result negated, an integer literal +1, any
              other integer result 0 (an error reported as success), an enumerator the next
              one of its enum
  code        each use of a kError*/kExit* constant replaced by the next one of its program
              (cyclic; 0 when it has no other)
  literal     each integer literal +1 and -1 (not below 0) where it is a comparison operand,
              a case label, a + or - operand, or the value of a constexpr constant
  bool        each true <-> false
  drop        each expression statement (a call, an assignment, an increment) dropped: a
              resource not released, a state not reset, a step skipped

Lines of scripts/slips-equivalent.txt, four fields separated by tabs: FILE, LINE TEXT (the
slipped line without its indentation), SLIP (as --list prints it) and the REASON it changes
nothing anyone can observe. A listed slip that a test catches is reported, so the list cannot
hide one.
"""

import argparse
import collections
import filecmp
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EQUIVALENT_FILE = os.path.join(TOP, "scripts", "slips-equivalent.txt")
CORE_LIBRARIES = {"prepclient": "prepclient_core", "launcher": "launcher_core"}
TEST_BINARIES = {"prepclient": "prepclient_tests", "launcher": "launcher_tests"}

# ---------------------------------------------------------------------------------------------
# Reading C++: tokens with their places.

TOKEN = re.compile(
    r"""
    (?P<ws>\s+)
  | (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<pp>\#(?:\\\n|[^\n])*)
  | (?P<string>(?:u8|u|U|L)?R"(?P<delim>[^(\s]*)\(.*?\)(?P=delim)"|(?:u8|u|U|L)?"(?:\\.|[^"\\\n])*")
  | (?P<char>(?:u8|u|U|L)?'(?:\\.|[^'\\\n])+')
  | (?P<number>0[xX][0-9a-fA-F]+[uUlL]*|\d+(?:\.\d+)?(?:[eE][+-]?\d+)?[uUlLfF]*)
  | (?P<ident>[A-Za-z_]\w*)
  | (?P<op>->\*|<<=|>>=|\.\.\.|::|->|\+\+|--|<<|>>|<=|>=|==|!=|&&|\|\||\+=|-=|\*=|/=|%=|&=|\|=|\^=
          |[-+*/%<>=!~^&|?:;,.(){}\[\]])
    """,
    re.X | re.S,
)

Token = collections.namedtuple("Token", "kind text start end")

KEYWORDS = {
    "return", "if", "else", "for", "while", "do", "switch", "case", "default", "break",
    "continue", "const", "constexpr", "auto", "static", "using", "namespace", "struct", "class",
    "enum", "template", "typedef", "delete", "new", "throw", "try", "catch", "goto", "inline",
    "unsigned", "signed", "int", "long", "short", "char", "bool", "void", "float", "double",
    "sizeof", "operator", "virtual", "explicit", "friend", "public", "private", "protected",
}
INTEGER_TYPES = {
    "int", "unsigned", "long", "short", "size_t", "int8_t", "int16_t", "int32_t", "int64_t",
    "uint8_t", "uint16_t", "uint32_t", "uint64_t", "char32_t", "std::size_t", "std::int32_t",
    "std::uint32_t",
}
COMPARE = {"<", "<=", ">", ">="}
COMPARE_SLIPS = {
    "<": ["<=", ">=", ">"],
    "<=": ["<", ">", ">="],
    ">": [">=", "<=", "<"],
    ">=": [">", "<", "<="],
    "==": ["!="],
    "!=": ["=="],
}
ASSIGN = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="}


def tokenize(text):
    tokens = []
    pos = 0
    while pos < len(text):
        m = TOKEN.match(text, pos)
        if not m:
            raise SyntaxError("cannot read C++ at offset %d" % pos)
        kind = m.lastgroup if m.lastgroup != "delim" else "string"
        if kind not in ("ws", "comment", "pp"):
            tokens.append(Token(kind, m.group(), m.start(), m.end()))
        pos = m.end()
    return tokens


def spaced(text, tok):
    """A binary operator as clang-format writes it: blank on both sides."""
    before = text[tok.start - 1] if tok.start > 0 else "\n"
    after = text[tok.end] if tok.end < len(text) else "\n"
    return before.isspace() and after.isspace()


def matching(tokens, i):
    """Index of the bracket that closes tokens[i] (or opens it, for a closer)."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    closers = {v: k for k, v in pairs.items()}
    t = tokens[i].text
    step, other = (1, pairs[t]) if t in pairs else (-1, closers[t])
    depth = 0
    j = i
    while 0 <= j < len(tokens):
        if tokens[j].text == t:
            depth += 1
        elif tokens[j].text == other:
            depth -= 1
            if depth == 0:
                return j
        j += step
    raise SyntaxError("unbalanced %s" % t)


# ---------------------------------------------------------------------------------------------
# Scopes: which function each token is in, and at what block depth.


def scopes(tokens):
    """For each token: (function return type or None, True when directly in the function's
    own body). Namespaces and type bodies are no functions."""
    info = [(None, False)] * len(tokens)
    stack = []  # entries: ("ns"|"type"|"func"|"block", return type)
    header_start = 0
    for i, tok in enumerate(tokens):
        func = next((s for s in reversed(stack) if s[0] == "func"), None)
        info[i] = (func[1] if func else None, bool(stack) and stack[-1][0] == "func")
        if tok.text == "{":
            header = [t.text for t in tokens[header_start:i]]
            kind = "block"
            rtype = None
            inside_code = any(s[0] in ("func", "block") for s in stack)
            if header and header[0] == "namespace":
                kind = "ns"
            elif not inside_code and header and header[0] in ("struct", "class", "enum", "union"):
                kind = "type"
            elif not inside_code and "(" in header and "=" not in header[: header.index("(")]:
                name_at = header.index("(") - 1
                while name_at > 0 and header[name_at - 1] == "::":
                    name_at -= 2
                words = [w for w in header[:name_at] if w not in ("static", "inline", "constexpr")]
                kind = "func"
                rtype = "".join(words)
            stack.append((kind, rtype))
        elif tok.text == "}":
            if stack:
                stack.pop()
        if tok.text in ("{", "}", ";") or (tok.text == ":" and i > 0 and tokens[i - 1].text in
                                           ("public", "private", "protected")):
            header_start = i + 1
    return info


# ---------------------------------------------------------------------------------------------
# The slips of one file.

Slip = collections.namedtuple("Slip", "line rule what start end replacement")


def family_constants(folder):
    """kError*/kExit* constants of one program, in the order they are defined, with values."""
    families = {"kError": [], "kExit": []}
    for root, _, files in os.walk(os.path.join(TOP, folder)):
        if "/tests" in root or "/platform" in root or "/e2e" in root:
            continue
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            text = open(os.path.join(root, name), encoding="utf-8").read()
            for m in re.finditer(r"constexpr\s+[\w:]+\s+(k(Error|Exit)\w*)\s*=\s*([-\w]+)", text):
                families["k" + m.group(2)].append((m.group(1), m.group(3)))
    return families


def enumerators(folder):
    """Enum name -> its enumerators, for every enum of one program."""
    found = {}
    for root, _, files in os.walk(os.path.join(TOP, folder)):
        if "/tests" in root or "/platform" in root:
            continue
        for name in sorted(files):
            if not name.endswith(".h"):
                continue
            text = open(os.path.join(root, name), encoding="utf-8").read()
            text = re.sub(r"//[^\n]*", "", text)
            for m in re.finditer(r"enum\s+(?:class\s+)?(\w+)\s*(?::\s*[\w:]+)?\s*\{([^}]*)\}", text):
                names = [re.match(r"\s*(\w+)", part).group(1)
                         for part in m.group(2).split(",") if part.strip()]
                found[m.group(1)] = names
    return found


def literal_plus(text, delta):
    m = re.match(r"(0[xX])?([0-9a-fA-F]+)([uUlL]*)$", text)
    if not m or "." in text:
        return None
    prefix, digits, suffix = m.groups()
    value = int(digits, 16 if prefix else 10) + delta
    if value < 0:
        return None
    if prefix:
        body = "%0*x" % (len(digits), value)
        return prefix + (body.upper() if digits.upper() == digits else body) + suffix
    return str(value) + suffix


def statement_end(tokens, i):
    """Index of the ';' ending the statement that starts at tokens[i]."""
    depth = 0
    for j in range(i, len(tokens)):
        t = tokens[j].text
        if t in "([{":
            depth += 1
        elif t in ")]}":
            depth -= 1
            if depth < 0:
                return None  # inside a for header: no statement of its own
        elif t == ";" and depth == 0:
            return j
    return None


def is_expression_statement(tokens, i):
    """A call, assignment or increment standing alone: x(...); a.b = c; ++n; v[i] += 1;"""
    j = i
    if tokens[j].text in ("++", "--"):
        j += 1
    if tokens[j].kind != "ident" or tokens[j].text in KEYWORDS:
        return False
    j += 1
    while j < len(tokens):
        t = tokens[j].text
        if t in ("::", ".", "->") and j + 1 < len(tokens) and tokens[j + 1].kind == "ident":
            j += 2
        elif t == "[":
            j = matching(tokens, j) + 1
        else:
            break
    return j < len(tokens) and (tokens[j].text in ASSIGN or tokens[j].text in ("(", "++", "--"))


def operand_regions(tokens):
    """Operands of conditions, as (first, last) token indexes: the parts of an if or while
    condition, of a ?: condition and of any && or || chain, split at && and ||."""
    stops_back = {"(", "[", "{", ",", ";", "?", ":", "return"} | ASSIGN
    stops_fwd = {")", "]", "}", ",", ";", "?", ":"}

    def extent(i):
        """The region at the depth of tokens[i] that holds it."""
        a = matching(tokens, i) if tokens[i].text in (")", "]", "}") else i
        while a > 0:
            t = tokens[a - 1].text
            if t in (")", "]", "}"):
                a = matching(tokens, a - 1)
                continue
            if t in stops_back:
                break
            a -= 1
        b = matching(tokens, i) if tokens[i].text in ("(", "[", "{") else i
        while b + 1 < len(tokens):
            t = tokens[b + 1].text
            if t in ("(", "[", "{"):
                b = matching(tokens, b + 1)
                continue
            if t in stops_fwd:
                break
            b += 1
        return a, b

    regions = set()
    for i, tok in enumerate(tokens):
        if tok.text in ("if", "while") and i + 1 < len(tokens) and tokens[i + 1].text == "(":
            regions.add((i + 2, matching(tokens, i + 1) - 1))
        elif tok.text in ("&&", "||"):
            regions.add(extent(i))
        elif tok.text == "?" and i > 0:
            a, _ = extent(i - 1)
            regions.add((a, i - 1))
    operands = set()
    for a, b in regions:
        start = a
        depth = 0
        for j in range(a, b + 2):
            t = tokens[j].text if j <= b else None
            if t in ("(", "[", "{"):
                depth += 1
            elif t in (")", "]", "}"):
                depth -= 1
            if j > b or (depth == 0 and t in ("&&", "||")):
                if start <= j - 1:
                    operands.add((start, j - 1))
                start = j + 1
    return operands


def slips_of(path):
    text = open(os.path.join(TOP, path), encoding="utf-8").read()
    tokens = tokenize(text)
    info = scopes(tokens)
    folder = path.split("/")[0]
    families = family_constants(folder)
    enums = enumerators(folder)
    line_of = lambda offset: text.count("\n", 0, offset) + 1  # noqa: E731
    found = []

    def add(rule, what, start, end, replacement):
        found.append(Slip(line_of(start), rule, what, start, end, replacement))

    def in_function(i):
        return info[i][0] is not None

    for i, tok in enumerate(tokens):
        t = tok.text
        prev = tokens[i - 1] if i > 0 else None
        nxt = tokens[i + 1] if i + 1 < len(tokens) else None
        if not in_function(i) and t not in ("constexpr",):
            # Outside functions only the constants' values slip.
            continue
        if t in COMPARE_SLIPS and spaced(text, tok):
            for other in COMPARE_SLIPS[t]:
                add("compare", "%s -> %s" % (t, other), tok.start, tok.end, other)
            for side in (prev, nxt):
                if side is not None and side.kind == "number":
                    for delta in (1, -1):
                        new = literal_plus(side.text, delta)
                        if new is not None:
                            add("literal", "%s -> %s" % (side.text, new), side.start, side.end, new)
        elif t in ("&&", "||") and spaced(text, tok):
            other = "||" if t == "&&" else "&&"
            add("logic", "%s -> %s" % (t, other), tok.start, tok.end, other)
        elif t == "!" and nxt is not None and nxt.start == tok.end:
            add("not", "! dropped", tok.start, tok.end, "")
        elif t in ("continue", "break") and nxt is not None and nxt.text == ";":
            other = "break" if t == "continue" else "continue"
            add("flow", "%s -> %s" % (t, other), tok.start, tok.end, other)
        elif t in ("true", "false"):
            other = "false" if t == "true" else "true"
            add("bool", "%s -> %s" % (t, other), tok.start, tok.end, other)
        elif tok.kind == "ident" and re.match(r"k(Error|Exit)[A-Z]", t) and \
                not (prev is not None and prev.kind == "ident" and nxt is not None and nxt.text == "="):
            family = families["kError" if t.startswith("kError") else "kExit"]
            names = [n for n, _ in family]
            values = dict(family)
            if t in names:
                k = names.index(t)
                others = [n for n in names[k + 1:] + names[:k] if values[n] != values[t]]
                add("code", "%s -> %s" % (t, others[0] if others else "0"), tok.start, tok.end,
                    others[0] if others else "0")
        elif t == "case" and nxt is not None and nxt.kind == "number":
            for delta in (1, -1):
                new = literal_plus(nxt.text, delta)
                if new is not None:
                    add("literal", "case %s -> %s" % (nxt.text, new), nxt.start, nxt.end, new)
        elif t in ("+", "-") and spaced(text, tok):
            for side in (prev, nxt):
                if side is not None and side.kind == "number":
                    for delta in (1, -1):
                        new = literal_plus(side.text, delta)
                        if new is not None:
                            add("literal", "%s -> %s" % (side.text, new), side.start, side.end, new)
        elif t == "constexpr":
            end = statement_end(tokens, i)
            if end is not None and end - i >= 4 and tokens[end - 2].text == "=" and \
                    tokens[end - 1].kind == "number":
                lit = tokens[end - 1]
                for delta in (1, -1):
                    new = literal_plus(lit.text, delta)
                    if new is not None:
                        add("literal", "%s -> %s" % (lit.text, new), lit.start, lit.end, new)
        elif t == "return":
            end = statement_end(tokens, i)
            rtype, at_body = info[i]
            braceless = prev is not None and prev.text in (")", "else")
            if not at_body or braceless:
                add("return", "return dropped", tok.start, tokens[end].end, "")
            if end == i + 1:
                continue
            first, last = tokens[i + 1], tokens[end - 1]
            value = text[first.start:last.end]
            if end == i + 2 and first.kind == "number":
                new = literal_plus(first.text, 1)
                add("return", "return %s -> %s" % (value, new), first.start, first.end, new)
            elif rtype == "bool" and value not in ("true", "false"):
                add("return", "return %s -> !(...)" % value.split("\n")[0], first.start,
                    last.end, "!(%s)" % value)
            elif rtype in INTEGER_TYPES and first.kind != "number":
                if not re.match(r"k(Error|Exit)\w+$", value):
                    add("return", "return %s -> 0" % value.split("\n")[0], first.start, last.end,
                        "0")
            elif rtype in enums and end == i + 4 and tokens[i + 2].text == "::":
                names = enums[rtype]
                if tokens[i + 3].text in names and len(names) > 1:
                    k = names.index(tokens[i + 3].text)
                    new = names[(k + 1) % len(names)]
                    add("return", "return %s -> %s::%s" % (value, rtype, new), tokens[i + 3].start,
                        tokens[i + 3].end, new)
        if prev is not None and prev.text in (";", "{", "}") and info[i][0] is not None and \
                is_expression_statement(tokens, i):
            end = statement_end(tokens, i)
            if end is not None:
                first = text[tok.start:tokens[end].end].split("\n")[0]
                add("drop", "dropped: %s" % first, tok.start, tokens[end].end, "")

    for a, b in sorted(operand_regions(tokens)):
        if not in_function(a):
            continue
        part = tokens[a:b + 1]
        depth = 0
        plain = True
        for tk in part:
            if tk.text in ("(", "[", "{"):
                depth += 1
            elif tk.text in (")", "]", "}"):
                depth -= 1
            elif depth == 0 and (tk.text in COMPARE_SLIPS or tk.text in ASSIGN or
                                 tk.text in ("?", ":", "&&", "||")):
                plain = False
        if not plain or part[0].text == "!" or part[0].kind in ("number", "string", "char"):
            continue
        if part[0].text in ("true", "false", "nullptr"):
            continue
        span = text[part[0].start:part[-1].end]
        simple = all(tk.kind == "ident" or tk.text in ("::", ".", "->") for tk in part) or \
            (part[-1].text == ")" and matching(tokens, b) > a and
             all(tk.kind == "ident" or tk.text in ("::", ".", "->")
                 for tk in tokens[a:matching(tokens, b)]))
        new = "!" + span if simple else "!(" + span + ")"
        add("negate", "%s -> %s" % (span.split("\n")[0], new.split("\n")[0]), part[0].start,
            part[-1].end, new)

    # One slip per distinct result, in file order; the same change named by two rules is
    # kept under the first one.
    found.sort(key=lambda s: (s.start, s.end))
    seen = set()
    unique = []
    for s in found:
        result = text[:s.start] + s.replacement + text[s.end:]
        digest = hashlib.sha1(result.encode()).hexdigest()
        if digest in seen or result == text:
            continue
        seen.add(digest)
        unique.append(s)
    # Name slips so that the equivalents file can find them again after an edit elsewhere:
    # the line's text and the slip, with its rank where one line holds the same slip twice.
    lines = text.split("\n")
    named = []
    counts = collections.Counter()
    for s in unique:
        key = (s.line, s.what)
        counts[key] += 1
        what = s.what if counts[key] == 1 else "%s #%d" % (s.what, counts[key])
        named.append(s._replace(what=what))
    return text, lines, named


# ---------------------------------------------------------------------------------------------
# Building and running.


def default_sources():
    sources = []
    for folder in ("prepclient", "launcher"):
        text = open(os.path.join(TOP, folder, "CMakeLists.txt"), encoding="utf-8").read()
        m = re.search(r"add_library\(%s STATIC(.*?)\)" % CORE_LIBRARIES[folder], text, re.S)
        sources += ["%s/%s" % (folder, name) for name in m.group(1).split()]
    return sources


def tree_files():
    out = subprocess.run(["git", "-C", TOP, "ls-files", "-co", "--exclude-standard", "-z"],
                         check=True, capture_output=True).stdout.decode()
    return [f for f in out.split("\0") if f and os.path.isfile(os.path.join(TOP, f))]


def copied_text(rel, data):
    """A file as the copy holds it. The core libraries are built shared there, so that a slip
    costs one compile and a small link, and the test binaries are never linked again."""
    folder = rel.split("/")[0]
    if folder in CORE_LIBRARIES and rel == folder + "/CMakeLists.txt":
        data = data.replace(b"add_library(%s STATIC" % CORE_LIBRARIES[folder].encode(),
                            b"add_library(%s SHARED" % CORE_LIBRARIES[folder].encode())
    return data


def sync_copy(dest):
    """Makes dest hold the working tree's files; a file whose bytes are the same keeps its
    time, so the build tree rebuilds only what changed."""
    wanted = set(tree_files())
    for rel in wanted:
        with open(os.path.join(TOP, rel), "rb") as f:
            data = copied_text(rel, f.read())
        dst = os.path.join(dest, rel)
        if os.path.isfile(dst):
            with open(dst, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as f:
            f.write(data)
        shutil.copymode(os.path.join(TOP, rel), dst)
    for root, dirs, files in os.walk(dest):
        if root == dest and "build" in dirs:
            dirs.remove("build")
        for name in files:
            rel = os.path.relpath(os.path.join(root, name), dest)
            if rel not in wanted:
                os.remove(os.path.join(root, name))


class Tree:
    """One copy of the sources with its build tree: Ninja where it is installed (one object
    can be rebuilt alone, so a slip that changes no code is never linked), else Make."""

    def __init__(self, work, index, sanitize, use_make):
        self.src = os.path.join(work, "tree%d" % index)
        self.build = os.path.join(self.src, "build")
        self.tmp = os.path.join(work, "tmp%d" % index)
        self.sanitize = sanitize
        self.ninja = not use_make and shutil.which("ninja") is not None

    def prepare(self, log):
        os.makedirs(self.src, exist_ok=True)
        sync_copy(self.src)
        marker = os.path.join(self.build, "build.ninja" if self.ninja else "Makefile")
        if not os.path.isfile(marker):
            shutil.rmtree(self.build, ignore_errors=True)
            flags = ["-DCMAKE_BUILD_TYPE=None", "-DCMAKE_CXX_FLAGS=-O1", "-DIMAGEPREP_LINT=OFF",
                     "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON",
                     "-DIMAGEPREP_SANITIZE=%s" % ("ON" if self.sanitize else "OFF")]
            generator = "Ninja" if self.ninja else "Unix Makefiles"
            subprocess.run(["cmake", "-S", self.src, "-B", self.build, "-G", generator] + flags,
                           check=True, stdout=log, stderr=log)
        for target in TEST_BINARIES.values():
            code = self.make(target, log=log)
            if code != 0:
                raise RuntimeError("the unslipped tree does not build (%s); see %s"
                                   % (target, log.name))

    def make(self, target, log=subprocess.DEVNULL):
        command = (["ninja", "-C", self.build, "-j1", target] if self.ninja else
                   ["make", "-C", self.build, "--no-print-directory", "-s", target])
        return subprocess.run(command, stdout=log, stderr=log).returncode

    def object_of(self, path):
        folder, name = path.split("/", 1)
        return "%s/CMakeFiles/%s.dir/%s.o" % (folder, CORE_LIBRARIES[folder], name)

    def run_tests(self, folder, timeout):
        """True when every test passed."""
        shutil.rmtree(self.tmp, ignore_errors=True)
        os.makedirs(self.tmp)
        env = dict(os.environ, TMPDIR=self.tmp)
        binary = os.path.join(self.build, folder, TEST_BINARIES[folder])
        proc = subprocess.Popen([binary, "--gtest_fail_fast", "--gtest_brief=1"], cwd=self.tmp,
                                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)
        try:
            code = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            return False, "timeout"
        finally:
            shutil.rmtree(self.tmp, ignore_errors=True)
        return code == 0, "" if code >= 0 else "signal %d" % -code

    def measure(self, path, text, slips, timeout, report):
        folder = path.split("/")[0]
        target = os.path.join(self.src, path)
        obj = self.object_of(path)
        first_step = obj if self.ninja else CORE_LIBRARIES[folder]
        pristine = os.path.join(self.build, obj + ".unslipped")
        try:
            if self.make(first_step) != 0:
                raise RuntimeError("%s does not build unslipped" % path)
            shutil.copy2(os.path.join(self.build, obj), pristine)
            for s in slips:
                with open(target, "w", encoding="utf-8") as f:
                    f.write(text[:s.start] + s.replacement + text[s.end:])
                if self.make(first_step) != 0:
                    report(path, s, "no build", "")
                    continue
                if filecmp.cmp(os.path.join(self.build, obj), pristine, shallow=False):
                    report(path, s, "same code", "")
                    continue
                if self.make(CORE_LIBRARIES[folder]) != 0:
                    report(path, s, "no build", "link")
                    continue
                passed, note = self.run_tests(folder, timeout)
                report(path, s, "survived" if passed else "caught", note)
        finally:
            with open(target, "w", encoding="utf-8") as f:
                f.write(text)


def load_equivalents():
    listed = {}
    if not os.path.isfile(EQUIVALENT_FILE):
        return listed
    for raw in open(EQUIVALENT_FILE, encoding="utf-8"):
        if not raw.strip() or raw.startswith("#"):
            continue
        parts = [p.strip() for p in raw.rstrip("\n").split("\t")]
        if len(parts) != 4:
            sys.exit("slips: a line of %s is not FILE, LINE TEXT, SLIP, REASON (tab-separated): %s"
                     % (EQUIVALENT_FILE, raw.strip()))
        listed[tuple(parts[:3])] = parts[3]
    return listed


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("files", nargs="*")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--summary", action="store_true")
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--work")
    parser.add_argument("--sanitize", action="store_true")
    parser.add_argument("--make", action="store_true")
    parser.add_argument("--timeout", type=float, default=10)
    parser.add_argument("--tsv")
    parser.add_argument("-h", "--help", action="store_true")
    args = parser.parse_args()
    if args.help:
        print(__doc__)
        return 0
    if args.jobs not in (1, 2):
        sys.exit("slips: --jobs is 1 or 2 (the machines have two cores)")
    files = [os.path.relpath(os.path.abspath(f), TOP) for f in args.files] or default_sources()
    known = default_sources()
    for f in files:
        if f not in known:
            sys.exit("slips: %s is not a source of the host-tested libraries (%s)"
                     % (f, " ".join(known)))

    equivalents = load_equivalents()
    per_file = collections.OrderedDict()
    for f in files:
        text, lines, slips = slips_of(f)
        per_file[f] = (text, lines, slips)
    if args.list:
        for f, (_, lines, slips) in per_file.items():
            for s in slips:
                print("%s:%d: [%s] %s    | %s" % (f, s.line, s.rule, s.what,
                                                  lines[s.line - 1].strip()))
        print("%d slips in %d files" % (sum(len(v[2]) for v in per_file.values()), len(files)),
              file=sys.stderr)
        return 0

    work = args.work or os.path.join(os.environ.get("TMPDIR", "/tmp"), "imageprep-slips-%d%s%s" % (
        os.getuid(), "-asan" if args.sanitize else "", "-make" if args.make else ""))
    os.makedirs(work, exist_ok=True)
    trees = [Tree(work, i, args.sanitize, args.make) for i in range(args.jobs)]
    started = time.time()
    with open(os.path.join(work, "build.log"), "w") as log:
        for tree in trees:
            tree.prepare(log)
    print("slips: %d slips in %d files; trees ready in %.0f s (%s)"
          % (sum(len(v[2]) for v in per_file.values()), len(files), time.time() - started, work),
          file=sys.stderr)

    results = collections.defaultdict(list)
    lock = threading.Lock()
    total = sum(len(v[2]) for v in per_file.values())
    done = [0]

    def report(path, slip, verdict, note):
        line_text = per_file[path][1][slip.line - 1].strip()
        if verdict == "survived" and (path, line_text, slip.what) in equivalents:
            verdict = "equivalent"
        with lock:
            results[path].append((slip, verdict, note, line_text))
            done[0] += 1

    # Largest files first, each to the tree with the least work so far.
    queue = sorted(files, key=lambda f: -len(per_file[f][2]))
    lanes = [[] for _ in trees]
    for f in queue:
        min(lanes, key=lambda lane: sum(len(per_file[g][2]) for g in lane)).append(f)

    def work_lane(tree, lane):
        for f in lane:
            text, _, slips = per_file[f]
            tree.measure(f, text, slips, args.timeout, report)
            with lock:
                print("slips: %s done (%d/%d, %.0f s)" % (f, done[0], total,
                                                          time.time() - started), file=sys.stderr)

    threads = [threading.Thread(target=work_lane, args=(t, lane)) for t, lane in zip(trees, lanes)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()

    listed_but_gone = set(equivalents)
    rows = []
    totals = collections.Counter()
    for f in files:
        counts = collections.Counter(v for _, v, _, _ in results[f])
        counts["slips"] = len(results[f])
        for slip, verdict, _, line_text in results[f]:
            if verdict == "equivalent":
                listed_but_gone.discard((f, line_text, slip.what))
        totals.update(counts)
        rows.append((f, counts))
    rows.append(("all", totals))

    def share(c):
        changing = c["caught"] + c["survived"]
        return "%.1f%%" % (100.0 * c["caught"] / changing) if changing else "-"

    header = ("file", "slips", "no build", "same code", "equivalent", "caught", "survived",
              "caught %")
    print("%-30s %6s %9s %10s %11s %7s %9s %9s" % header)
    for f, c in rows:
        print("%-30s %6d %9d %10d %11d %7d %9d %9s" % (f, c["slips"], c["no build"],
                                                       c["same code"], c["equivalent"],
                                                       c["caught"], c["survived"], share(c)))
    if not args.summary:
        for f in files:
            for slip, verdict, note, line_text in sorted(results[f], key=lambda r: r[0].start):
                if verdict == "survived":
                    print("SURVIVED %s:%d: [%s] %s    | %s" % (f, slip.line, slip.rule, slip.what,
                                                                line_text))
    for gone in sorted(listed_but_gone):
        if gone[0] in files:
            print("note: listed as equivalent but caught, or no longer met: %s | %s | %s" % gone)
    if args.tsv:
        with open(args.tsv, "w", encoding="utf-8") as out:
            for f in files:
                for slip, verdict, note, line_text in sorted(results[f], key=lambda r: r[0].start):
                    out.write("\t".join([f, str(slip.line), slip.rule, slip.what, verdict, note,
                                         line_text]) + "\n")
    print("slips: %.0f s" % (time.time() - started), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
