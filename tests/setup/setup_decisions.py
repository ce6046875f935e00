#!/usr/bin/env python3
"""The decisions of tools/setup.sh, against a package manager that misbehaves.

tools/setup.sh runs with stand-ins of apt-get, dpkg, dpkg-query and sudo first
on PATH. They keep the package state in a folder of their own, answer as the
real ones answered on the day a mirror served a stale i386 index, and write
down every call; nothing on the machine is installed or needs root.
"""
import atexit
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
SETUP = ROOT / "tools" / "setup.sh"

# Each apt-get call takes the next outcome of its verb's list (then "ok").
STAND_IN_APT = r"""#!/bin/bash
echo "apt-get $*" >> "$KS_STATE/calls"
verb=$1; list=$KS_STATE/$verb
outcome=$(head -n1 "$list" 2>/dev/null); sed -i 1d "$list" 2>/dev/null
case " $* " in *" -t "*) release=1 ;; esac
case ${outcome:-ok} in
  stale)
    echo "Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
    echo "  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  held)
    if [ -z "$release" ]; then
      echo "The following packages have unmet dependencies:"
      echo " libgnutls30:i386 : Breaks: libgnutls30 (!= 3.7.9-2+deb12u4) but 3.7.9-2+deb12u5 is to be installed"
      echo "E: Unable to correct problems, you have held broken packages."
      exit 100
    fi ;;
  heldalways)
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
  timeout)
    echo "Err:1 http://deb.debian.org/debian bookworm InRelease"
    echo "  Could not connect to deb.debian.org:80 (203.0.113.80), connection timed out"
    echo "E: Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease  Could not connect to deb.debian.org:80 (203.0.113.80), connection timed out"
    exit 100 ;;
  503)
    echo "E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine32_8.0~repack-4_i386.deb  503  Service Unavailable [IP: 203.0.113.80 80]"
    exit 100 ;;
  404)
    echo "E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine32_8.0~repack-4_i386.deb  404  Not Found [IP: 203.0.113.80 80]"
    exit 100 ;;
  missing:*)
    echo "E: Unable to locate package ${outcome#missing:}"
    exit 100 ;;
  liar) exit 0 ;;
esac
if [ "$verb" = install ]; then
  shift
  while [ $# -gt 0 ]; do
    case $1 in
      -t) shift ;;  # its codename is not a package
      -*) ;;
      *) echo "$1" >> "$KS_STATE/installed" ;;
    esac
    shift
  done
fi
exit 0
"""

STAND_INS = {
    "apt-get": STAND_IN_APT,
    "dpkg-query": r"""#!/bin/bash
pkg=${!#}
if grep -qxF -- "$pkg" "$KS_STATE/installed" 2>/dev/null; then printf 'install ok installed'; exit 0; fi
echo "dpkg-query: no packages found matching $pkg" >&2; exit 1
""",
    "dpkg": r"""#!/bin/bash
echo "dpkg $*" >> "$KS_STATE/calls"
case $1 in
  --print-foreign-architectures) cat "$KS_STATE/archs" 2>/dev/null ;;
  --add-architecture) echo "$2" >> "$KS_STATE/archs" ;;
esac
""",
    "sudo": '#!/bin/bash\nexec "$@"\n',
}

CODENAME = next(line.split("=", 1)[1].strip().strip('"')
                for line in pathlib.Path("/etc/os-release").read_text().splitlines()
                if line.startswith("VERSION_CODENAME="))

failures = []


def check(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")
        print(f"FAIL {name}: {detail}")


class Machine:
    """A package state and the stand-ins that serve it."""

    def __init__(self, folder, archs="i386\n"):
        self.state = pathlib.Path(folder)
        bin_dir = self.state / "bin"
        bin_dir.mkdir()
        for name, text in STAND_INS.items():
            path = bin_dir / name
            path.write_text(text)
            path.chmod(0o755)
        (self.state / "archs").write_text(archs)
        (self.state / "installed").write_text("cmake\nmake\npython3\n")
        self.env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", KS_STATE=str(self.state),
                        KS_SETUP_PAUSE="0")

    def expect(self, update=(), install=()):
        (self.state / "update").write_text("".join(f"{o}\n" for o in update))
        (self.state / "install").write_text("".join(f"{o}\n" for o in install))
        (self.state / "calls").write_text("")

    def run(self):
        result = subprocess.run(["bash", str(SETUP)], env=self.env, capture_output=True, text=True, timeout=120)
        self.calls = (self.state / "calls").read_text().splitlines()
        self.out = result.stdout + result.stderr
        self.said = [line for line in self.out.splitlines() if line.startswith("setup:")]
        self.last = result.stderr.strip().splitlines()[-1] if result.stderr.strip() else ""
        return result.returncode

    def installed(self):
        return (self.state / "installed").read_text().split()

    def installs(self):
        return [c for c in self.calls if c.startswith("apt-get install")]


def scenario(name, archs="i386\n", **outcomes):
    folder = tempfile.mkdtemp(prefix="ks-setup-")
    atexit.register(shutil.rmtree, folder, True)
    machine = Machine(folder, archs)
    machine.expect(**outcomes)
    return machine


# The day of the stale mirror: a fresh machine without i386, the security
# suite's i386 index stale, the plain install refused for held packages.
m = scenario("stale", archs="", update=["stale"], install=["held"])
status = m.run()
check("stale: succeeds", status == 0, m.out)
check("stale: adds i386", "dpkg --add-architecture i386" in m.calls, m.calls)
check("stale: names the index that failed",
      any("index failed to download: http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
          in s for s in m.said), m.said)
check("stale: the plain install first, then the release suite",
      len(m.installs()) == 2 and " -t " not in m.installs()[0] and f"-t {CODENAME}" in m.installs()[1], m.calls)
check("stale: says it takes the release suite in one line",
      sum(f"apt-get install -t {CODENAME}" in s for s in m.said) == 1, m.said)
check("stale: 32-bit Wine installed", "wine32:i386" in m.installed() and CODENAME not in m.installed(), m.installed())
# Run again: nothing to do, one line, no apt-get.
m.expect()
status = m.run()
check("again: one line, nothing installed",
      status == 0 and m.said == ["setup: all packages present"] and not any("apt-get" in c for c in m.calls),
      m.out + str(m.calls))

# A time-out twice, then the mirror answers: each retry announced.
m = scenario("timeouts", update=["timeout", "timeout", "ok"], install=["ok"])
status = m.run()
retries = [s for s in m.said if "transient network error" in s]
check("timeouts: succeeds after two retries", status == 0 and m.calls.count("apt-get update -q") == 3, m.out)
check("timeouts: each retry announced", len(retries) == 2 and "attempt 2 of 4" in retries[0]
      and "attempt 3 of 4" in retries[1] and "timed out" in retries[0], retries)
check("timeouts: no index reported lost", not any("index failed" in s for s in m.said), m.said)

# A 503 while downloading a package is retried; one that never ends is not
# retried without end, and stops with what is missing.
m = scenario("503", install=["503", "ok"])
check("503 then ok: succeeds", m.run() == 0 and len(m.installs()) == 2, m.out)
m = scenario("timeouts forever", install=["timeout"] * 10)
status = m.run()
check("timeouts forever: four tries, then stops", status != 0 and len(m.installs()) == 4, m.calls)
check("timeouts forever: one line naming the packages and the reason",
      m.last.startswith("setup: cannot install") and "wine32:i386" in m.last and "timed out" in m.last, m.last)

# Permanent errors stop at once, in one line, with no retry and no release-suite attempt.
for outcome, needle in (("missing:osslsigncode", "osslsigncode"), ("404", "404")):
    m = scenario(outcome, install=[outcome])
    status = m.run()
    check(f"{outcome}: stops", status != 0, m.out)
    check(f"{outcome}: tried once", len(m.installs()) == 1 and not any("transient" in s for s in m.said), m.calls)
    check(f"{outcome}: one line that says why", m.last.startswith("setup: cannot install") and needle in m.last, m.last)

# The release suite cannot help either: stop, saying so.
m = scenario("held always", install=["held", "heldalways"])
status = m.run()
check("held always: stops after the release suite", status != 0 and len(m.installs()) == 2, m.calls)
check("held always: one line", f"not even from the release suite {CODENAME}" in m.last and "held broken" in m.last, m.last)

# apt-get says it installed, dpkg says otherwise: not hidden.
m = scenario("liar", install=["liar"])
status = m.run()
check("liar: stops", status != 0 and "still missing after the install" in m.last and "wine32:i386" in m.last, m.last)

print(f"setup decisions: {len(failures)} failed")
sys.exit(1 if failures else 0)
