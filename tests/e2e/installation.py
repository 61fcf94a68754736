"""Installation and the package: an installed copy, read-only or run by root,
the command line, the Debian package."""

import gzip
import os
import re
import subprocess
import zlib

from harness import (APP_ID, FIRST_RUN_LINES, MARK_SCRIPT, Failure, desktop_entry, plain_env, read_file, settings_bytes,
                     settings_lines, title_seconds, wait, write_script)
from screen import png_size

ICON_SIZES = (16, 32, 48, 64, 128, 256)

# The unprivileged user the read-only scenario runs the program as, when we are root.
NOBODY = 65534


def install(s):
    """The build installed into a temporary prefix; the prefix."""
    prefix = os.path.join(s.root, "prefix")
    r = s.run_quiet(s.args.cmake, "--install", s.args.build_dir, "--prefix", prefix)
    if r.returncode != 0:
        raise Failure(f"cmake --install failed: {r.stdout}{r.stderr}")
    s.log(f"installed into {prefix}")
    return prefix


def check_entry_valid(s, path):
    r = s.run_quiet("desktop-file-validate", path)
    s.check(r.returncode == 0 and not (r.stdout + r.stderr).strip(),
            f"desktop-file-validate passes without a remark: {r.stdout}{r.stderr}")


def scenario_install(s):
    prefix = install(s)
    exe = os.path.join(prefix, "bin", "minutrex")
    s.check(os.path.isfile(exe) and os.access(exe, os.X_OK), "bin/minutrex installed and executable")
    desktop = os.path.join(prefix, "share", "applications", APP_ID + ".desktop")
    metainfo = os.path.join(prefix, "share", "metainfo", APP_ID + ".metainfo.xml")
    for size in ICON_SIZES:
        icon = os.path.join(prefix, "share", "icons", "hicolor", f"{size}x{size}", "apps", "minutrex.png")
        s.check(os.path.isfile(icon) and png_size(icon) == (size, size), f"{size}x{size} icon installed")
    for path in (("icons", "hicolor", "scalable", "apps", "minutrex.svg"), ("man", "man1", "minutrex.1.gz")):
        s.check(os.path.isfile(os.path.join(prefix, "share", *path)), f"{'/'.join(path)} installed")
    s.check(os.path.isfile(desktop), "desktop entry installed")
    s.check(os.path.isfile(metainfo), "AppStream metadata installed")

    check_entry_valid(s, desktop)
    r = s.run_quiet("appstreamcli", "validate", "--no-net", metainfo)
    s.check(r.returncode == 0, f"appstreamcli validate --no-net passes: {r.stdout}{r.stderr}")

    entry = desktop_entry(desktop)
    for key, value in (("Name", "Minutrex"), ("Exec", "minutrex"), ("Icon", "minutrex"),
                       ("Categories", "Utility;Clock;"), ("Type", "Application")):
        s.check(entry.get(key) == value, f"desktop entry {key}={value} (got {entry.get(key)!r})")
    s.check(bool(entry.get("Comment")) and bool(entry.get("Comment[fr]")), "English and French comments")
    xml = read_file(metainfo).decode()
    s.check(f'<launchable type="desktop-id">{APP_ID}.desktop</launchable>' in xml,
            "the metadata names the desktop entry it describes")
    s.check("<binary>minutrex</binary>" in xml, "and the binary it provides")
    s.check(f'<release version="{s.args.program_version}"' in xml, "and the program's version")

    # What software centres are given: the description in English and in French.
    unit = os.path.join(s.root, "unit")
    os.makedirs(unit)
    os.symlink(prefix, os.path.join(unit, "usr"))
    composed = os.path.join(s.root, "composed")
    r = s.run_quiet("appstreamcli", "compose", "--origin=minutrex", f"--result-root={composed}",
                    f"--data-dir={composed}/data", f"--icons-dir={composed}/icons", unit)
    s.check(r.returncode == 0, f"appstreamcli compose succeeds ({r.stdout}{r.stderr})")
    with gzip.open(os.path.join(composed, "data", "minutrex.xml.gz"), "rt", encoding="utf-8") as f:
        catalog = f.read()
    for element in ("name", "summary", "description"):
        s.check(f"<{element}>" in catalog and f'<{element} xml:lang="fr">' in catalog,
                f"the composed metadata keeps the {element} in English and in French")
    s.check(entry.get("Name[fr]") == "Minutrex" and bool(entry.get("GenericName[fr]")),
            "the desktop entry names the program in French too")


def first_run_installed(s, bindir, cwd, home, user=None, poll=False):
    """The installed copy's first run: settings stored per user, nothing beside the program; the program.
    The settings are written before the window shows, unless poll says to wait for them."""
    config = os.path.join(home, "config", "Minutrex", "Minutrex.ini")
    s.keep.append(config)
    before = sorted(os.listdir(bindir))
    p = s.start_program(os.path.join(bindir, "minutrex"), cwd, user=user, home=home)
    w = p.wait_main_window()
    s.check(w.name == s.first_title or title_seconds(w.name) is not None, f"it starts ({w.name!r})")
    if poll:
        wait(f"settings stored in {config}", lambda: os.path.isfile(config), 5, 0.02)
    s.check(os.path.isfile(config), f"settings stored in {config}")
    s.check(read_file(config) == settings_bytes(FIRST_RUN_LINES), "with the first-run lines")
    s.check(sorted(os.listdir(bindir)) == before, f"nothing written beside the program ({os.listdir(bindir)})")
    return p


def scenario_read_only_install(s):
    bindir = os.path.join(install(s), "bin")
    for path in [bindir] + [os.path.join(top, name) for top, dirs, files in os.walk(bindir) for name in dirs + files]:
        os.chmod(path, os.stat(path).st_mode & ~0o222)

    # Permission bits do not stop root: run as nobody when we are root.
    user = NOBODY if os.geteuid() == 0 else None
    uid = user if user is not None else os.geteuid()
    home = os.path.join(s.root, "home")
    target = os.path.join(home, "target")
    os.makedirs(target)
    write_script(os.path.join(target, "mark.sh"), MARK_SCRIPT)
    os.makedirs(os.path.join(home, "runtime"), mode=0o700)
    for top, _, files in os.walk(home):
        for path in [top] + [os.path.join(top, name) for name in files]:
            os.chown(path, uid, uid)
    exe = os.path.join(bindir, "minutrex")
    s.check(os.stat(bindir).st_mode & 0o222 == 0 and os.stat(exe).st_mode & 0o222 == 0,
            "the bin directory and the program are read-only")

    first_run_installed(s, bindir, home, home, user).annul()
    config = os.path.join(home, "config", "Minutrex", "Minutrex.ini")
    s.check(os.stat(config).st_uid == uid, "owned by the user who ran it")
    mode = os.stat(os.path.dirname(config)).st_mode & 0o777
    s.check(mode == 0o700, f"its directory has mode 0700 (got {mode:o})")

    lines = settings_lines(0, 0, 3, "Marque", "mark.sh", target + "/", "Installé")
    s.write_settings(config, lines)
    p = s.start_program(exe, home, user=user, home=home)
    p.wait_main_window()
    p.ends(10, "at the end of the 3-second count")
    s.wait_mark(target)
    s.check(os.stat(os.path.join(target, "ran")).st_uid == uid, "as that user")
    s.check(read_file(config) == settings_bytes(lines), "the stored settings are left as they were")


def scenario_command_line(s):
    """The options answer on the terminal, without any display."""
    d = s.fresh_dir()
    exe = os.path.join(d, "minutrex")
    env = plain_env(HOME=os.path.join(s.root, "home"), LANG="C.UTF-8")

    def run(*args, **extra_env):
        return s.run_quiet(exe, *args, timeout=10, cwd=d, env=dict(env, **extra_env))

    version = f"Minutrex {s.args.program_version}\n"
    r = run("--version")
    s.check(r.returncode == 0 and r.stdout == version and not r.stderr,
            f"--version prints the version and exits 0 ({r.returncode}, {r.stdout!r}, {r.stderr!r})")
    # Qt's own options are left to Qt, not refused as unknown.
    r = run("-style", "fusion", "--platform=offscreen", "--version")
    s.check(r.returncode == 0 and r.stdout == version,
            f"Qt's own options pass through ({r.returncode}, {r.stdout!r}, {r.stderr!r})")
    r = run("--help")
    s.check(r.returncode == 0 and not r.stderr, f"--help exits 0 quietly ({r.returncode}, {r.stderr!r})")
    for option in ("--config FICHIER", "--help", "--version", "Minutrex.ini"):
        s.check(option in r.stdout, f"--help mentions {option}")
    for args, what in ((["--bogus"], "--bogus"), (["--config"], "--config"), (["--version", "extra"], "extra")):
        r = run(*args)
        lines = r.stderr.splitlines()
        s.check(r.returncode == 2 and not r.stdout and len(lines) == 1 and r.stderr.endswith("\n")
                and what in lines[0] and "Usage" in lines[0],
                f"{' '.join(args)}: status 2 and one line of usage on standard error "
                f"({r.returncode}, {r.stdout!r}, {r.stderr!r})")
    # No display to show the window on: one line that says so, status 1.
    for display in (None, ":65535"):
        r = run(**({"DISPLAY": display} if display else {}))
        lines = r.stderr.splitlines()
        s.check(r.returncode == 1 and not r.stdout and len(lines) == 1 and "DISPLAY" in lines[0],
                f"DISPLAY={display}: status 1 and one line on standard error ({r.returncode}, {r.stderr!r})")
    s.check(os.listdir(d) == ["minutrex"], f"no settings file written ({os.listdir(d)})")


def scenario_installed_as_root(s):
    """An installed copy whose folder it could write to (root may write
    anywhere) still keeps its settings per user. Run by another user, the
    copy is in the same position when it owns its folder."""
    bindir = os.path.join(install(s), "bin")
    first_run_installed(s, bindir, bindir, os.path.join(s.root, "home"), poll=True).annul()


def scenario_package(s):
    """The Debian package: its contents, lintian, and the software catalogue
    composed from it unpacked into a temporary root."""
    out = os.path.join(s.root, "package")
    r = s.run_quiet(s.args.cpack, "-G", "DEB", "--config", os.path.join(s.args.build_dir, "CPackConfig.cmake"),
                    "-B", out, timeout=240)
    s.check(r.returncode == 0, "cpack -G DEB succeeds" + ("" if r.returncode == 0 else f": {r.stdout}{r.stderr}"))
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
    deb = os.path.join(out, f"minutrex_{s.args.program_version}-1_{arch}.deb")
    s.check(os.path.isfile(deb), f"{os.path.basename(deb)} made")

    r = s.run_quiet("dpkg-deb", "--contents", deb)
    listed = {line.split()[-1].lstrip(".") for line in r.stdout.splitlines() if line.strip()}
    expected = ["/usr/bin/minutrex", f"/usr/share/applications/{APP_ID}.desktop",
                f"/usr/share/metainfo/{APP_ID}.metainfo.xml", "/usr/share/man/man1/minutrex.1.gz",
                "/usr/share/doc/minutrex/copyright", "/usr/share/icons/hicolor/scalable/apps/minutrex.svg"]
    expected += [f"/usr/share/icons/hicolor/{n}x{n}/apps/minutrex.png" for n in ICON_SIZES]
    missing = [path for path in expected if path not in listed]
    s.check(not missing, f"the package holds the program, desktop entry, icons, metadata, manual page "
                         f"and copyright file (missing {missing})")
    depends = s.run_quiet("dpkg-deb", "--field", deb, "Depends").stdout
    s.check("libqt6widgets6" in depends and "libcanberra0" in depends, f"library dependencies computed ({depends.strip()})")
    recommends = {name.strip() for name in s.run_quiet("dpkg-deb", "--field", deb, "Recommends").stdout.split(",")}
    # Native Wayland, and the toolkit's French texts.
    s.check({"qt6-wayland", "qt6-translations-l10n"} <= recommends, f"it recommends qt6-wayland and "
                                                                     f"qt6-translations-l10n ({sorted(recommends)})")

    # Informational tags shown too: lintian files the hardening ones there.
    r = s.run_quiet("lintian", "--fail-on", "error", "--display-info", deb, timeout=240)
    errors = [line for line in r.stdout.splitlines() if line.startswith("E:")]
    s.check(r.returncode == 0 and not errors, f"lintian reports no error ({errors or r.returncode})")
    hardening = [line for line in r.stdout.splitlines() if "hardening" in line]
    s.check(not hardening, f"lintian says nothing about hardening ({hardening})")

    root = os.path.join(s.root, "root")
    s.check(s.run_quiet("dpkg", "-x", deb, root).returncode == 0, "unpacked with dpkg -x")
    program = os.path.join(root, "usr", "bin", "minutrex")
    r = s.run_quiet("readelf", "-S", "--wide", program)
    s.check(r.returncode == 0 and ".debug_info" not in r.stdout and ".symtab" not in r.stdout,
            "the program is stripped")
    # Debian's hardening: position independent, read-only relocations bound
    # at start, fortified calls and a stack protector.
    r = s.run_quiet("readelf", "--file-header", "--program-headers", "--dynamic", "--dyn-syms", "--wide", program)
    dynamic = re.findall(r"\(FLAGS(?:_1)?\)\s+(?:Flags: )?(.*)", r.stdout)
    flags = {flag for line in dynamic for flag in line.split()}
    fortified = sorted(set(re.findall(r"\b(__\w+_chk)@", r.stdout)))
    s.check(re.search(r"Type:\s+DYN", r.stdout) and "PIE" in flags, f"the program is a PIE ({flags})")
    s.check("GNU_RELRO" in r.stdout and ("BIND_NOW" in flags or "NOW" in flags),
            f"with full RELRO: read-only relocations, bound at start ({flags})")
    s.check(fortified, "with fortified calls")
    s.log(f"fortified: {' '.join(fortified)}")
    s.check("__stack_chk_fail@" in r.stdout, "and a stack protector")
    r = s.run_quiet("man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z",
                    os.path.join(root, "usr", "share", "man", "man1", "minutrex.1.gz"),
                    env=dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="", MANWIDTH="80"))
    s.check(r.returncode == 0 and not r.stderr.strip(), f"the manual page formats without a warning {r.stderr!r}")

    catalogue = os.path.join(s.root, "catalogue")
    hints = os.path.join(s.root, "hints")
    r = s.run_quiet("appstreamcli", "compose", "--no-net", f"--result-root={catalogue}",
                    f"--hints-dir={hints}", "--origin=minutrex", root)
    s.keep.append(os.path.join(hints, "minutrex.hints.yaml"))
    s.check(r.returncode == 0, "appstreamcli compose succeeds" + ("" if r.returncode == 0 else f": {r.stdout}{r.stderr}"))
    s.check(b"Hints: []" in read_file(os.path.join(hints, "minutrex.hints.yaml")), "with no remark on the package")
    xml = zlib.decompress(read_file(os.path.join(catalogue, "usr", "share", "swcatalog", "xml", "minutrex.xml.gz")),
                          31).decode()
    s.check(f"<id>{APP_ID}</id>" in xml and '<icon type="cached" width="64" height="64">' in xml
            and "<screenshots>" in xml, "the catalogue lists the program with its icon and screenshots")
    check_entry_valid(s, os.path.join(root, "usr", "share", "applications", APP_ID + ".desktop"))
