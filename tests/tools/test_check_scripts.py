"""The project's own checks can fail: a fuzzer that finds a fault fails
scripts/fuzz.sh."""

import os
import subprocess

SOURCE_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def test_a_fuzzer_that_finds_a_fault_fails_the_fuzzing_script(tmp_path):
    target = tmp_path / "planted_abort_fuzz.cpp"
    target.write_text("#include <cstddef>\n#include <cstdint>\n#include <cstdlib>\n"
                      'extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) {\n'
                      "    std::abort();\n}\n")
    run = subprocess.run(["bash", "scripts/fuzz.sh", "5", str(target)], cwd=SOURCE_ROOT,
                         capture_output=True, text=True, timeout=120)
    assert run.returncode != 0, run.stdout
    assert "planted_abort found a fault" in run.stdout
    assert "deadly signal" in run.stdout
    crashes = [name for name in os.listdir(os.path.join(SOURCE_ROOT, "build-fuzz", "planted_abort"))
               if name.startswith("crash-")]
    assert crashes
