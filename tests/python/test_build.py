"""Properties of the built extension itself, and of the layering of the
sources it is built from."""
import pathlib
import re
import shutil
import subprocess

import pytest
import velquin


@pytest.mark.skipif(shutil.which("objdump") is None, reason="objdump not installed")
def test_no_fused_multiply_add_instructions():
    # A fused multiply-add rounds once where the formulas round twice: not one
    # may appear anywhere in the module, in any vector variant.
    listing = subprocess.run(["objdump", "-d", "--no-show-raw-insn", velquin.__file__],
                             capture_output=True, text=True, check=True).stdout
    fused = re.findall(r"\bvfn?m(?:add|sub)\w*", listing)
    assert fused == []
    assert re.search(r"\bvmulpd\b", listing), "expected vector multiplies in the listing"


SRC = pathlib.Path(__file__).resolve().parents[2] / "src"
# Each folder may include only from folders on a lower level (src/README.md);
# math_core and random share a level and know nothing of each other.
LEVELS = {"base": 0, "math_core": 1, "random": 1, "engine": 2, "circuit": 3, "program": 3,
          "pyglue": 4, "algorithms": 4, "lib": 5, "native": 5}


@pytest.mark.skipif(not SRC.is_dir(), reason="not a source checkout")
def test_includes_run_only_down_the_layers():
    upward = []
    for path in SRC.rglob("*"):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(SRC).parts[0]
        for included in re.findall(r'#include "(\w+)/', path.read_text(encoding="utf-8")):
            if included != folder and LEVELS.get(included, 0) >= LEVELS[folder]:
                upward.append(f"{path.relative_to(SRC)} includes {included}/")
    assert upward == []
