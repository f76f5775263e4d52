"""Properties of the built extension itself."""
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
