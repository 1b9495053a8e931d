"""docs/building.md names the Debian packages of scripts/deps.sh.

Each list of deps.sh (MEMBRIX_ENGINE_PACKAGES, ...) appears in the guide as a
bullet "- `MEMBRIX_..._PACKAGES` (...): `pkg pkg ...`", with the same packages
in the same order; a list missing from either side fails.

    building_doc_test.py SOURCE_DIR
"""
import re
import subprocess
import sys
from pathlib import Path

source = Path(sys.argv[1])
# The lists as the scripts see them: every array named MEMBRIX_*_PACKAGES that
# is spelt out in deps.sh (not made of other lists).
script = r'''
source scripts/deps.sh
for name in $(grep -oE '^MEMBRIX_[A-Z]+_PACKAGES=\($' scripts/deps.sh | sed 's/=($//'); do
  declare -n list=$name
  echo "$name ${list[*]}"
done
'''
out = subprocess.run(["bash", "-c", script], cwd=source, check=True, capture_output=True, text=True).stdout
in_script = {}
for line in out.splitlines():
    name, *packages = line.split()
    in_script[name] = packages

guide = (source / "docs" / "building.md").read_text(encoding="utf-8")
in_guide = {}
for match in re.finditer(r"^- `(MEMBRIX_[A-Z]+_PACKAGES)`[^:]*:\s*((?:`[^`]*`[ \t]*\n?[ \t]*)+)", guide, re.M):
    in_guide[match.group(1)] = " ".join(re.findall(r"`([^`]*)`", match.group(2))).split()

failures = []
if not in_script:
    failures.append("no package list found in scripts/deps.sh")
for name in sorted(set(in_script) | set(in_guide)):
    if name not in in_guide:
        failures.append(f"{name} of scripts/deps.sh is not in docs/building.md")
    elif name not in in_script:
        failures.append(f"{name} of docs/building.md is not in scripts/deps.sh")
    elif in_script[name] != in_guide[name]:
        failures.append(f"{name}: scripts/deps.sh has {' '.join(in_script[name])}\n"
                        f"  docs/building.md has {' '.join(in_guide[name])}")
for failure in failures:
    print(failure)
if failures:
    sys.exit(1)
print(f"{len(in_script)} package lists agree")
