#!/usr/bin/env python3
"""The Debian package of the build tree, checked as someone installing it would.

Packs the tree this test was built in (cpack, no second build) into a
temporary folder, unpacks the .deb with dpkg-deb and runs the programs from
the unpacked /usr/bin: they must find the report plugin and their data in
the package, not in the build tree. Then the files a system install needs
(manual pages, completion, desktop entry, AppStream metadata, the fleet
service) and lintian: no errors, the warnings are listed.

Exit 77 (skipped) when dpkg-deb or lintian is not there, with the reason.
"""
import argparse
import glob
import gzip
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

PROGRAMS = ["vanta-host", "vanta-cli", "vanta-sim", "vanta-render", "vanta-fleet"]
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def run(cmd, env=None, timeout=60, cwd=None):
    return subprocess.run(cmd, env=env, cwd=cwd, timeout=timeout, capture_output=True, text=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build-dir", required=True)
    ap.add_argument("--source-dir", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--cpack", default="cpack")
    a = ap.parse_args()

    for tool in ("dpkg-deb", "lintian"):
        if not shutil.which(tool):
            print(f"SKIPPED: {tool} missing (scripts/install-deps.sh installs it)")
            return 77

    work = tempfile.mkdtemp(prefix="vanta-package-")
    try:
        return check_package(a, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def check_package(a, work):
    out_dir = os.path.join(work, "out")
    # -B keeps the package and CPack's staging folder out of the build tree.
    r = run([a.cpack, "-G", "DEB", "-B", out_dir, "--config", os.path.join(a.build_dir, "CPackConfig.cmake")],
            timeout=240, cwd=a.build_dir)
    if not check(r.returncode == 0, "cpack -G DEB"):
        print(r.stdout[-3000:], r.stderr[-3000:])
        return 1
    debs = glob.glob(os.path.join(out_dir, "*.deb"))
    deb = os.path.join(out_dir, f"vanta-workspace_{a.version}_amd64.deb")
    names = [os.path.basename(d) for d in debs]
    if not check(debs == [deb], f"one package, named {os.path.basename(deb)} (got {names})"):
        return 1

    # lintian takes the longest: it runs while the programs are tried.
    lintian = subprocess.Popen(["lintian", "--fail-on", "none", "--no-tag-display-limit", deb],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

    root = os.path.join(work, "root")
    check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "dpkg-deb -x")
    control = os.path.join(work, "control")
    check(run(["dpkg-deb", "-e", deb, control]).returncode == 0, "dpkg-deb -e")
    fields = run(["dpkg-deb", "-f", deb, "Version", "Depends"]).stdout
    check(f"Version: {a.version}" in fields, f"control Version is the project's {a.version}")
    check("qt6-translations-l10n" in fields and "libqt6core6" in fields,
          "Depends: qt6-translations-l10n and the libraries read off the binaries")

    check_programs(a, root, work)
    check_files(a, root, control)

    log, _ = lintian.communicate(timeout=240)
    tags = [line for line in log.splitlines() if re.match(r"^[EWIPX]: ", line)]
    errors = [t for t in tags if t.startswith("E: ")]
    warnings = [t for t in tags if t.startswith("W: ")]
    print("lintian warnings:" if warnings else "lintian warnings: none")
    for w in warnings:
        print("  " + w)
    check(lintian.returncode == 0, f"lintian ran (exit {lintian.returncode})")
    check(not errors, "lintian: no errors" + "".join("\n      " + e for e in errors))

    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    return 0


def check_programs(a, root, work):
    bindir = os.path.join(root, "usr", "bin")
    # German, whatever the locale of the one who runs it: the texts below are checked as written.
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8", LANGUAGE="")
    # Nothing from the build tree may help: the programs must manage with the package alone.
    for var in ("LD_LIBRARY_PATH", "VANTA_DATA_DIR", "QT_PLUGIN_PATH"):
        env.pop(var, None)
    env["HOME"] = os.path.join(work, "home")  # the programs' settings and data folder stay in here
    os.makedirs(env["HOME"])

    installed = sorted(os.listdir(bindir)) if os.path.isdir(bindir) else []
    check(installed == sorted(PROGRAMS), f"/usr/bin holds the five programs and nothing else (got {installed})")
    for program in PROGRAMS:
        exe = os.path.join(bindir, program)
        if not os.path.exists(exe):
            continue
        r = run([exe, "--version"], env=env)
        check(r.returncode == 0 and r.stdout.strip() == f"{program} {a.version}",
              f"{program} --version prints '{program} {a.version}' (got {r.stdout.strip()!r}, exit {r.returncode})")

    cli = os.path.join(bindir, "vanta-cli")
    r = run([cli, "--help"], env=env)
    check(r.returncode == 0 and "Commands:" in r.stdout and "report " in r.stdout,
          "vanta-cli --help lists the commands")

    # The mapping database from /usr/share/vanta: the programs look beside themselves.
    r = run([cli, "--json", "mdb", "classes"], env=env, cwd=work)
    try:
        classes = json.loads(r.stdout).get("classes", [])
    except (ValueError, AttributeError):
        classes = []
    check(r.returncode == 0 and len(classes) > 0,
          f"vanta-cli mdb classes reads the installed mapping database (exit {r.returncode}: {r.stderr.strip()[:300]})")

    # A calibration certificate drawn by the unpacked report plugin.
    dict_file = os.path.join(work, "dict.json")
    with open(dict_file, "w", encoding="utf-8") as f:
        json.dump({"Seriennummer": "12345678", "Prüfer": "anna"}, f, ensure_ascii=False)
    pdf = os.path.join(work, "cal.pdf")
    r = run([cli, "report", "calibration", "--dict", dict_file, "--pdf", pdf], env=env, timeout=120)
    made = r.returncode == 0 and os.path.isfile(pdf)
    check(made, "vanta-cli report calibration through the packaged plugin "
                f"(exit {r.returncode}: {r.stderr.strip()[:300]})")
    if made:
        with open(pdf, "rb") as f:
            check(f.read(5) == b"%PDF-", "the report is a PDF")
        if shutil.which("pdftotext"):
            text = run(["pdftotext", pdf, "-"]).stdout
            check("anna" in text and "12345678" in text, "the report shows the certificate's fields")

    # Without the packaged plugin the same command must fail: the one above
    # did not find a plugin of the build tree or the system.
    plugins = glob.glob(os.path.join(root, "usr", "lib", "*", "vanta", "libvanta_report.so"))
    if check(len(plugins) == 1, "the report plugin is in /usr/lib/<multiarch>/vanta"):
        os.rename(plugins[0], plugins[0] + ".away")
        r = run([cli, "report", "calibration", "--dict", dict_file, "--pdf", os.path.join(work, "none.pdf")], env=env)
        check(r.returncode != 0 and "Berichtsmodul nicht gefunden" in r.stdout + r.stderr,
              "without the packaged plugin the report is refused with the reason")
        os.rename(plugins[0] + ".away", plugins[0])


def check_files(a, root, control):
    usr = os.path.join(root, "usr")
    share = os.path.join(usr, "share")

    # Manual pages: one per program, made from its --help, so every option of the help is in the page.
    for program in PROGRAMS:
        page = os.path.join(share, "man", "man1", program + ".1.gz")
        if not check(os.path.isfile(page), f"manual page {program}.1.gz"):
            continue
        with gzip.open(page, "rt", encoding="utf-8") as f:
            text = f.read()
        check(f'"{program} {a.version}"' in text, f"{program}.1 names version {a.version}")
        help_text = run([os.path.join(usr, "bin", program), "--help"],
                        env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
        options = set(re.findall(r"--[a-z][a-z0-9-]*", help_text))
        # help2man escapes the dashes in the option lists; the synopsis keeps them as they are.
        missing = sorted(o for o in options if o.replace("-", r"\-") not in text and o not in text)
        check(options and not missing, f"{program}.1 has every option of --help ({len(options)}; missing {missing})")

    for program in ("vanta-cli", "vanta-fleet"):
        completion = os.path.join(share, "bash-completion", "completions", program)
        ok = os.path.isfile(completion)
        if ok:
            with open(completion, encoding="utf-8") as f:
                ok = re.search(r"complete -F \S+ .*\b" + re.escape(program) + r"\b", f.read()) is not None
        check(ok, f"bash completion for {program}")

    desktop = os.path.join(share, "applications", "vanta-host.desktop")
    if check(os.path.isfile(desktop), "desktop entry vanta-host.desktop"):
        with open(desktop, encoding="utf-8") as f:
            entry = f.read()
        check(re.search(r"^Exec=vanta-host\b", entry, re.M) and re.search(r"^Icon=vanta-host$", entry, re.M),
              "the desktop entry starts vanta-host with its icon")
        if shutil.which("desktop-file-validate"):
            r = run(["desktop-file-validate", desktop])
            check(r.returncode == 0 and not r.stdout.strip(), f"desktop-file-validate: {r.stdout.strip()}")
    icons = os.path.join(share, "icons", "hicolor")
    check(os.path.isfile(os.path.join(icons, "scalable", "apps", "vanta-host.svg")), "the SVG icon")
    for size in (48, 128, 256):
        png = os.path.join(icons, f"{size}x{size}", "apps", "vanta-host.png")
        ok = os.path.isfile(png)
        if ok:
            with open(png, "rb") as f:
                head = f.read(24)
            # The IHDR chunk's width and height, big-endian, right after the signature.
            ok = head[:8] == b"\x89PNG\r\n\x1a\n" and int.from_bytes(head[16:20], "big") == size \
                and int.from_bytes(head[20:24], "big") == size
        check(ok, f"the {size}x{size} PNG icon")

    metainfo = glob.glob(os.path.join(share, "metainfo", "*.metainfo.xml"))
    if check(len(metainfo) == 1, "AppStream metadata"):
        with open(metainfo[0], encoding="utf-8") as f:
            check(f'version="{a.version}"' in f.read(), f"the metadata's release is {a.version}")
        if shutil.which("appstreamcli"):
            r = run(["appstreamcli", "validate", "--no-net", metainfo[0]])
            check(r.returncode == 0, "appstreamcli validate: " + r.stdout.strip().replace("\n", " | "))

    unit = os.path.join(usr, "lib", "systemd", "system", "vanta-fleet.service")
    if check(os.path.isfile(unit), "/usr/lib/systemd/system/vanta-fleet.service"):
        with open(unit, encoding="utf-8") as f:
            text = f.read()
        settings = dict(re.findall(r"^([A-Za-z]+)=(.*)$", text, re.M))
        check(settings.get("User") == "vanta-fleet", "the service runs as user vanta-fleet")
        check(settings.get("EnvironmentFile") == "/etc/default/vanta-fleet",
              "its settings come from /etc/default/vanta-fleet")
        exec_start = settings.get("ExecStart", "")
        check(exec_start.startswith("/usr/bin/vanta-fleet ") and " run" in exec_start and "--db" in exec_start
              and "--data-dir" in exec_start,
              f"ExecStart runs 'vanta-fleet run' with --db and --data-dir ({exec_start})")
        check(settings.get("NoNewPrivileges") == "yes" and settings.get("ProtectSystem") == "strict"
              and settings.get("ReadWritePaths"), "hardened: NoNewPrivileges, ProtectSystem=strict, ReadWritePaths")
    default = os.path.join(root, "etc", "default", "vanta-fleet")
    if check(os.path.isfile(default), "/etc/default/vanta-fleet"):
        with open(default, encoding="utf-8") as f:
            text = f.read()
        check(re.search(r"^VANTA_FLEET_DB=\S", text, re.M) and re.search(r"^VANTA_FLEET_DATA_DIR=\S", text, re.M),
              "/etc/default/vanta-fleet sets the database and the data folder")
    with open(os.path.join(control, "conffiles"), encoding="utf-8") as f:
        check("/etc/default/vanta-fleet" in f.read().split(), "/etc/default/vanta-fleet is a conffile")
    scripts = ""
    for name in ("preinst", "postinst", "prerm", "postrm"):
        if os.path.isfile(os.path.join(control, name)):
            with open(os.path.join(control, name), encoding="utf-8") as f:
                scripts += f.read()
    check(not re.search(r"systemctl|deb-systemd-helper|invoke-rc\.d", scripts),
          "no maintainer script enables or starts the service")

    schemas = sorted(os.path.basename(p) for p in glob.glob(os.path.join(share, "vanta", "cli-json", "*.schema.json")))
    expected = sorted(os.path.basename(p)
                      for p in glob.glob(os.path.join(a.source_dir, "docs", "cli-json", "*.schema.json")))
    check(schemas == expected and expected, f"the {len(expected)} JSON schemas in /usr/share/vanta/cli-json")
    for name in schemas:
        with open(os.path.join(share, "vanta", "cli-json", name), encoding="utf-8") as f:
            try:
                json.load(f)
            except ValueError as e:
                check(False, f"{name} is JSON: {e}")
    check(os.path.isfile(os.path.join(share, "vanta", "wireshark", "ccci.lua")),
          "the dissector in /usr/share/vanta/wireshark")
    for name in ("MappingDB.db", "captions_de.tsv", "captions_en.tsv", "device-defaults.ini"):
        check(os.path.isfile(os.path.join(share, "vanta", name)), f"/usr/share/vanta/{name}")

    everything = [os.path.relpath(os.path.join(d, f), root) for d, _, files in os.walk(root) for f in files]
    tests = [p for p in everything if re.search(r"(^|/)(test_|bench_|fuzz_)", p)]
    check(not tests, f"no tests, benchmarks or fuzzers in the package ({tests[:5]})")
    check(os.path.isfile(os.path.join(share, "doc", "vanta-workspace", "copyright")), "the copyright file")


if __name__ == "__main__":
    sys.exit(main())
