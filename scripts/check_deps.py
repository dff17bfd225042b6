#!/usr/bin/env python3
"""Fails when a build uses a file from a Debian package that scripts/install.sh does not bring.

install.sh installs without recommendations, so a package that is only recommended by one we name
(libqt6opengl6-dev by qt6-base-dev, say) is absent on a fresh machine even when the development
machine happens to have it. This looks at what a configured build really uses:

  - every path under /usr that CMake found (CMakeCache.txt; a *_DIR entry stands for the
    *.cmake files in it),
  - every header the compiler read (ninja's dependency log, once something was built),
  - every library and tool named in build.ninja,

finds the package of each file (dpkg -S) and checks it against the packages install.sh names and
everything they pull in through Depends/Pre-Depends (apt-cache depends --recurse, without
Recommends and Suggests). Each missing package is printed with what needed it.

usage: check_deps.py BUILD_DIR [--without PKG ...] [--list-file FILE]
  --without PKG   check as if install.sh did not name PKG (to see the guard catch it)
"""
import argparse
import glob
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def named_packages(list_file):
    if list_file:
        with open(list_file) as f:
            return [l.strip() for l in f if l.strip() and not l.startswith("#")]
    out = subprocess.run(["bash", os.path.join(HERE, "install.sh"), "--list"], check=True,
                         capture_output=True, text=True).stdout
    return [l.strip() for l in out.splitlines() if l.strip()]


def closure(pkgs):
    """The named packages and everything they depend on (Depends and Pre-Depends only)."""
    if not pkgs:
        return set()
    out = subprocess.run(
        ["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests", "--no-conflicts",
         "--no-breaks", "--no-replaces", "--no-enhances"] + pkgs,
        capture_output=True, text=True).stdout
    names = set(pkgs)
    for line in out.splitlines():
        if not line.startswith(" "):
            names.add(line.strip().strip("<>"))
            continue
        m = re.match(r"\s*\|?(?:Pre)?Depends:\s*<?([^>\s]+)>?", line)
        if m:
            names.add(m.group(1))
    return {n.split(":")[0] for n in names}


def cache_paths(build):
    """(what, path) for every found path under /usr in CMakeCache.txt."""
    found = []
    with open(os.path.join(build, "CMakeCache.txt"), errors="replace") as f:
        for line in f:
            if line.startswith(("#", "//")) or "=" not in line or ":" not in line.split("=")[0]:
                continue
            key, value = line.rstrip("\n").split("=", 1)
            name = key.split(":")[0]
            for v in value.split(";"):
                if not v.startswith("/usr/") or v.startswith("/usr/local/") or "NOTFOUND" in v:
                    continue
                if os.path.isdir(v):
                    # A package's configuration folder: the files CMake read from it.
                    for c in glob.glob(os.path.join(v, "*.cmake")):
                        found.append((name, c))
                elif os.path.exists(v):
                    found.append((name, v))
    return found


def ninja_paths(build):
    """(what, path) for headers the compiler read and files build.ninja names under /usr."""
    found = []
    try:
        deps = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True,
                              text=True).stdout
        seen = set()
        for line in deps.splitlines():
            p = line.strip()
            if p.startswith("/usr/") and not p.startswith("/usr/local/") and p not in seen:
                seen.add(p)
                found.append(("compiler input", p))
    except OSError:
        pass
    path = os.path.join(build, "build.ninja")
    if os.path.exists(path):
        with open(path, errors="replace") as f:
            text = f.read()
        for p in sorted(set(re.findall(r"(/usr/[^\s$:;\"']+)", text))):
            if not p.startswith("/usr/local/") and os.path.isfile(p):
                found.append(("link/tool input", p))
    return found


def owners(paths):
    """path -> set of packages (dpkg -S), trying the /lib spelling of merged-/usr paths too."""
    result = {}
    todo = sorted(set(paths))
    for spelling in (lambda p: p, lambda p: p[4:] if p.startswith("/usr/lib") else None,
                     lambda p: os.path.realpath(p)):
        ask = {}
        for p in todo:
            s = spelling(p)
            if s:
                ask[s] = p
        if not ask:
            break
        names = list(ask)
        for i in range(0, len(names), 500):
            out = subprocess.run(["dpkg", "-S"] + names[i:i + 500], capture_output=True,
                                 text=True).stdout
            for line in out.splitlines():
                if ": " not in line:
                    continue
                pk, f = line.split(": ", 1)
                if f in ask and not pk.startswith("diversion"):
                    result.setdefault(ask[f], set()).update(
                        x.strip().split(":")[0] for x in pk.split(","))
        todo = [p for p in todo if p not in result]
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--without", action="append", default=[])
    ap.add_argument("--list-file")
    a = ap.parse_args()
    if not os.path.exists(os.path.join(a.build, "CMakeCache.txt")):
        print(f"check_deps: {a.build}/CMakeCache.txt: no configured build there", file=sys.stderr)
        return 2
    named = [p for p in named_packages(a.list_file) if p not in a.without]
    allowed = closure(named)
    used = cache_paths(a.build) + ninja_paths(a.build)
    own = owners(p for _, p in used)
    missing = {}
    for what, path in used:
        pk = own.get(path)
        if not pk or pk & allowed:
            continue  # a file of no package (built here), or one a named package brings
        for p in sorted(pk):
            missing.setdefault(p, []).append((what, path))
    if not missing:
        print(f"check_deps: {len(set(p for _, p in used))} files under /usr used by {a.build}, "
              f"all from the {len(named)} packages install.sh names or their dependencies")
        return 0
    for pkg, why in sorted(missing.items()):
        whats = sorted(set(w for w, _ in why))
        print(f"check_deps: package {pkg} is used but install.sh neither names it nor gets it "
              f"through a named package's Depends: needed by {', '.join(whats[:4])} "
              f"(e.g. {why[0][1]})", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
