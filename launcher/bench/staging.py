"""The figures of launcher/bench/staging.sh; that script makes the Wine prefix and calls this.

  staging.py make SHAPE DIR      writes a package: real, generated or one (install.cmd only)
  staging.py rounds PREFIX LOADER ROUNDS WALK EXE [BEFORE_EXE]
                                 times each contestant on C:\\bench\\pkg (and the launcher and
                                 the walk on C:\\bench\\one) in rotated rounds and prints
                                 medians, spreads, ratios and CPU

Every contestant stages into an emptied C:\\Windows\\Setup\\Scripts, and every result is
checked against the package file by file, byte for byte, with its attributes, before the
next run starts. A figure comes only from a run whose copy was exact.
"""

import os
import random
import shutil
import statistics
import subprocess
import sys
import time

# The launcher's install.cmd leaves this behind, so a round waits for the script the
# launcher started instead of timing the next run beside it.
MARKER = "ran.txt"
INSTALL_CMD = b"@echo ran>C:\\bench\\" + MARKER.encode() + b"\r\n"
HIDDEN = b"0x2"  # how Wine keeps a hidden attribute: the user.DOSATTRIB extended attribute


# ---- packages --------------------------------------------------------------------------

SYLLABLES = ["ar", "be", "cor", "dex", "el", "fa", "gon", "hi", "ix", "jo", "ka", "lum",
             "mo", "nar", "ok", "pi", "qua", "ro", "sen", "tu", "ul", "vek", "wa", "xi",
             "yor", "ze", "icon", "arrow", "util", "map", "core", "type", "lib", "node"]
EXTENSIONS = [".js", ".d.ts", ".js.map", ".json", ".md", ".ts", ".mjs", ".cjs", ".txt", ""]


def word(draw, low, high):
    return "".join(draw.choice(SYLLABLES) for _ in range(draw.randint(low, high)))


def styled(draw, parts):
    """Kebab, camel, Pascal or upper case, as names in published packages come."""
    style = draw.random()
    if style < 0.45:
        return "-".join(parts)
    if style < 0.75:
        return parts[0] + "".join(p.capitalize() for p in parts[1:])
    if style < 0.93:
        return "".join(p.capitalize() for p in parts)
    return "_".join(p.upper() for p in parts)


def unique_name(draw, taken, make):
    """Names differ in more than case: Windows would see one file where Linux sees two."""
    while True:
        name = make()
        if name.lower() not in taken:
            taken.add(name.lower())
            return name


def log_size(draw, low, high):
    return int(low * (high / low) ** draw.random())


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_real(root, draw):
    """Shaped like three published packages unpacked side by side: one icon folder of
    about 7,400 small files, about 1,500 files of mixed sizes nested 3-6 levels deep, a few
    files of several MB, dotfiles and a few read-only and hidden files."""
    taken = set()
    for _ in range(7400):
        name = unique_name(draw, taken, lambda: styled(
            draw, [word(draw, 1, 3) for _ in range(draw.randint(1, 4))]) + ".svg")
        write(os.path.join(root, "icons", name), draw.randbytes(log_size(draw, 300, 4096)))

    # One spelling for each folder, and no file named as a folder beside it: Windows
    # sees names without case.
    spelling, taken_in, folders = {}, {}, []
    for top in ("lib", "dist", "node_modules"):
        for _ in range(14):
            parts = [top] + [word(draw, 1, 3) for _ in range(draw.randint(3, 6) - 1)]
            if draw.random() < 0.3:
                parts[-1] = parts[-1].capitalize()
            path = root
            for part in parts:
                taken_in.setdefault(path, set()).add(part.lower())
                path = spelling.setdefault(os.path.join(path, part).lower(),
                                           os.path.join(path, part))
            folders.append(path)
    for _ in range(1500):
        folder = draw.choice(folders)
        names = taken_in.setdefault(folder, set())
        name = unique_name(draw, names, lambda: styled(
            draw, [word(draw, 1, 4) for _ in range(draw.randint(1, 5))]) + draw.choice(EXTENSIONS))
        write(os.path.join(folder, name), draw.randbytes(log_size(draw, 100, 64 * 1024)))
    for name in (".npmignore", ".eslintrc.json", ".editorconfig"):
        folder = draw.choice(folders)
        unique_name(draw, taken_in[folder], lambda: name)
        write(os.path.join(folder, name), draw.randbytes(200))

    for n, size_mb in enumerate((6, 4, 3, 2)):
        path = os.path.join(root, "lib", "typescript%s.js" % ("" if n == 0 else "Services%d" % n))
        write(path, draw.randbytes(size_mb * 1024 * 1024 + draw.randint(0, 99999)))

    # Packages unpacked from read-only media or archives carry such attributes.
    every = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs)
    for path in draw.sample(every, 12):
        os.chmod(path, 0o444)
    for path in draw.sample(every, 12):
        os.setxattr(path, "user.DOSATTRIB", HIDDEN)
    write(os.path.join(root, "install.cmd"), INSTALL_CMD)


def make_generated(root, draw):
    """The launcher's first benchmark package: 5,000 files of 20 KB in 50 folders."""
    for folder in range(50):
        for n in range(100):
            path = os.path.join(root, "folder%02d" % folder, "file%03d.bin" % n)
            write(path, draw.randbytes(20 * 1024))
    write(os.path.join(root, "install.cmd"), INSTALL_CMD)


def describe(root):
    files = sizes = folders = widest = 0
    for _, dirs, names in os.walk(root):
        folders += len(dirs)
        files += len(names)
        widest = max(widest, len(names))
    for folder, _, names in os.walk(root):
        sizes += sum(os.path.getsize(os.path.join(folder, n)) for n in names)
    return "%d files in %d folders, %.1f MB, at most %d files in one folder" % (
        files, folders, sizes / 1e6, widest)


def make(shape, root):
    draw = random.Random(25)  # the same package on every machine
    if shape == "real":
        make_real(root, draw)
    elif shape == "generated":
        make_generated(root, draw)
    elif shape == "one":
        write(os.path.join(root, "install.cmd"), INSTALL_CMD)
    else:
        sys.exit("unknown package shape %s" % shape)
    print("package %s: %s" % (shape, describe(root)))


# ---- checks ----------------------------------------------------------------------------

def attributes(path):
    """The read-only, hidden and system attributes Windows sees under Wine: read-only is a
    file nobody may write, hidden and system are kept in an extended attribute, and a name
    that starts with a dot is hidden too."""
    try:
        kept = int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0], 16)
    except (OSError, ValueError):
        kept = 0
    hidden = bool(kept & 2) or os.path.basename(path).startswith(".")
    return (os.stat(path).st_mode & 0o222 == 0, hidden, bool(kept & 4))


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x = fa.read(1 << 20)
            if x != fb.read(1 << 20):
                return False
            if not x:
                return True


def tree(root):
    found = {}
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        for d in dirs:
            found[os.path.normpath(os.path.join(rel, d))] = "dir"
        for f in files:
            found[os.path.normpath(os.path.join(rel, f))] = "file"
    return found


def difference(package, staged, with_attributes):
    """None when staged holds exactly the package, else the first difference."""
    want, got = tree(package), tree(staged)
    if want != got:
        missing = sorted(set(want) - set(got))
        extra = sorted(set(got) - set(want))
        return "missing %s, unexpected %s" % (missing[:3], extra[:3])
    for rel, kind in sorted(want.items()):
        a, b = os.path.join(package, rel), os.path.join(staged, rel)
        if kind == "file" and not same_bytes(a, b):
            return "%s differs" % rel
        if kind == "file" and with_attributes and attributes(a) != attributes(b):
            return "%s has attributes %s, not %s" % (rel, attributes(b), attributes(a))
    return None


# ---- rounds ----------------------------------------------------------------------------

def prefix_processes(prefix):
    """pid -> command name of every process of this prefix (its own server included)."""
    mine = ("WINEPREFIX=" + prefix).encode()
    found = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if mine not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/comm" % pid) as f:
                found[int(pid)] = f.read().strip()
        except OSError:
            pass
    return found


def cpu_ticks(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])  # utime, stime
    except OSError:
        return 0


SCRIPT_PROCESSES = ("cmd.exe", "conhost.exe")


def resident_processes(prefix, bound=120):
    """The processes that stay in the prefix between runs (its server and the services
    Wine starts on demand), once no script runs and the set has held for two seconds."""
    end = time.monotonic() + bound
    held, since = None, time.monotonic()
    while True:
        found = prefix_processes(prefix)
        if set(found) != held:
            held, since = set(found), time.monotonic()
        elif time.monotonic() - since >= 2 and not set(found.values()) & set(SCRIPT_PROCESSES):
            return found
        if time.monotonic() > end:
            sys.exit("the prefix never settled: %s" % found)
        time.sleep(0.1)


def settle(prefix, resident, marker, bound=300):
    """Waits, outside every timing, for the script the launcher started (its marker) and for
    the prefix to hold only its resident processes again; returns them, as a run may have
    started a service that stays."""
    end = time.monotonic() + bound
    while marker and not os.path.exists(marker) and time.monotonic() < end:
        time.sleep(0.05)
    if marker and not os.path.exists(marker):
        sys.exit("install.cmd never ran after the launcher said it started it")
    for _ in range(100):
        if not set(prefix_processes(prefix)) - set(resident):
            return resident
        time.sleep(0.05)
    return resident_processes(prefix)


class Contestant:
    def __init__(self, label, argv, package, runs_script, keeps_attributes=True):
        self.label, self.argv, self.package, self.runs_script = label, argv, package, runs_script
        self.keeps_attributes = keeps_attributes
        self.wall, self.own, self.server = [], [], []


def run(c, env, drive_c, prefix, resident, server_pid):
    """Times one run of c and checks what it staged; returns its figures and the resident
    processes after it."""
    scripts = os.path.join(drive_c, "windows", "Setup", "Scripts")
    marker = os.path.join(drive_c, "bench", MARKER)
    shutil.rmtree(scripts, ignore_errors=True)
    for stale in (marker, log_path(drive_c)):
        if os.path.exists(stale):
            os.remove(stale)
    os.sync()  # the previous run's writes on disk, not still being flushed
    tick = os.sysconf("SC_CLK_TCK")
    server_before = cpu_ticks(server_pid)
    start = time.perf_counter()
    child = subprocess.Popen(c.argv, cwd=drive_c, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    server = (cpu_ticks(server_pid) - server_before) / tick
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("%s exited with %d" % (c.label, child.returncode))
    resident = settle(prefix, resident, marker if c.runs_script else None)
    if c.runs_script and not finished_log(drive_c):
        sys.exit("%s did not log a successful run" % c.label)
    wrong = difference(os.path.join(drive_c, "bench", c.package), scripts, c.keeps_attributes)
    if wrong:
        sys.exit("%s staged an inexact copy: %s" % (c.label, wrong))
    return (wall, usage.ru_utime + usage.ru_stime, server), resident


def log_path(drive_c):
    return os.path.join(drive_c, "ProgramData", "Orvane", "Logs", "QuillbeckSetup.log")


def finished_log(drive_c):
    with open(log_path(drive_c), "rb") as f:
        text = f.read()
    return b"Succeeded in copying temp directory" in text and b"Done!" in text


def spread(values):
    return "%.2f-%.2f" % (min(values), max(values))


def report(contestants, files, walk, ours):
    print("%-34s %8s %13s %8s %8s %8s" % ("median of the rounds", "wall s", "wall min-max",
                                          "cpu s", "own", "server"))
    for c in contestants:
        cpu = [o + s for o, s in zip(c.own, c.server)]
        print("%-34s %8.2f %13s %8.2f %8.2f %8.2f" % (
            c.label, statistics.median(c.wall), spread(c.wall), statistics.median(cpu),
            statistics.median(c.own), statistics.median(c.server)))
    staged = [c for c in contestants if c.package == "pkg"]
    pairs = [(c, walk) for c in staged if c is not walk]
    pairs += [(ours, c) for c in staged if c not in (ours, walk)]
    for a, b in pairs:
        paired = [x / y for x, y in zip(a.wall, b.wall)]
        cpu = [statistics.median([o + s for o, s in zip(c.own, c.server)]) for c in (a, b)]
        print("%s / %s: wall %.3f of the medians, per round %.3f median, %s; cpu %.3f" % (
            a.label, b.label, statistics.median(a.wall) / statistics.median(b.wall),
            statistics.median(paired), spread(paired), cpu[0] / cpu[1]))
    fixed = {c.label: statistics.median(c.wall) for c in contestants if c.package == "one"}
    for c in (ours, walk):
        base = fixed.get(c.label + " (install.cmd only)")
        if base is not None:
            print("%s: fixed cost %.2f s, then %.3f ms per file" % (
                c.label, base, (statistics.median(c.wall) - base) * 1000 / files))


def rounds(prefix, loader, count, walk_exe, exe, before_exe=None):
    drive_c = os.path.join(prefix, "drive_c")
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    pkg, one = "C:\\bench\\pkg", "C:\\bench\\one"
    scripts = "C:\\Windows\\Setup\\Scripts"
    xcopy = os.path.join(drive_c, "windows", "system32", "xcopy.exe")
    ours = Contestant("QuillbeckSetup", [loader, exe, pkg], "pkg", True)
    walk = Contestant("bare walk", [loader, walk_exe, pkg, scripts], "pkg", False)
    contestants = [ours, walk,
                   # Named by its file, xcopy runs in the process timed, not in one the
                   # loader starts aside, so its CPU time counts. Without /K it clears
                   # read-only: its copy is checked for bytes only.
                   Contestant("xcopy /E /Y /I", [loader, xcopy, pkg, scripts, "/E", "/Y", "/I"],
                              "pkg", False, keeps_attributes=False)]
    if before_exe:
        contestants.append(Contestant("QuillbeckSetup before", [loader, before_exe, pkg],
                                      "pkg", True))
    contestants += [Contestant("QuillbeckSetup (install.cmd only)", [loader, exe, one],
                               "one", True),
                    Contestant("bare walk (install.cmd only)", [loader, walk_exe, one, scripts],
                               "one", False)]
    files = sum(len(f) for _, _, f in os.walk(os.path.join(drive_c, "bench", "pkg")))

    resident = resident_processes(prefix)
    servers = [pid for pid, name in resident.items() if name.startswith("wineserver")]
    if len(servers) != 1:
        sys.exit("expected one wineserver for the prefix, found %s" % resident)
    print("load before: %s" % open("/proc/loadavg").read().strip())
    # Unmeasured: the package into the page cache, each program's start warmed, the
    # services that the launcher's shell call starts left running.
    for c in [walk] + [c for c in contestants if c.package == "one"]:
        _, resident = run(c, env, drive_c, prefix, resident, servers[0])
    resident = resident_processes(prefix)
    for r in range(count):
        turn = contestants[r % len(contestants):] + contestants[:r % len(contestants)]
        line = []
        for c in turn:
            figures, resident = run(c, env, drive_c, prefix, resident, servers[0])
            for kept, value in zip((c.wall, c.own, c.server), figures):
                kept.append(value)
            line.append("%s %.2f" % (c.label, figures[0]))
        print("round %d: %s" % (r + 1, ", ".join(line)), flush=True)
    print("load after: %s" % open("/proc/loadavg").read().strip())
    report(contestants, files, walk, ours)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    elif len(sys.argv) in (7, 8) and sys.argv[1] == "rounds":
        rounds(sys.argv[2], sys.argv[3], int(sys.argv[4]), *sys.argv[5:])
    else:
        sys.exit(__doc__)
