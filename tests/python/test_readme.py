"""The README's Python example runs from the source folder and prints what the README shows."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

SOURCE = Path(os.environ.get("ORVANE_SOURCE_DIR", Path(__file__).resolve().parents[2]))


def python_examples():
    """(code, printed output) of every python block the README follows with its output."""
    text = (SOURCE / "README.md").read_text()
    return re.findall(r"```python\n(.*?)```\n\n[^\n]*prints:\n\n```\n(.*?)```", text, re.S)


EXAMPLES = python_examples()


@pytest.mark.parametrize("code,printed", EXAMPLES, ids=[f"example{i + 1}" for i in range(len(EXAMPLES))])
def test_readme_example_prints_what_it_shows(tmp_path, code, printed):
    script = tmp_path / "example.py"
    script.write_text(code)
    run = subprocess.run([sys.executable, str(script)], cwd=SOURCE, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout == printed


def test_readme_has_examples():
    assert len(EXAMPLES) >= 1
