"""Fixtures of the end-to-end level.

`wine`: one WineSession (Xvfb + private WINEPREFIX + persistent wineserver) for
the whole run. `tarvik`: the same session for one test, with no instance
running before the test and none left after it. `workdir`: an empty current
directory for the program (its log files land there).

TARVIK_BIN names the folder holding tarvik.exe and tarvik_probe.exe (default
build/win64/bin), TARVIK_ARCH the architecture of that build (x86_64 or i686,
default x86_64); screenshots go to TARVIK_E2E_ARTIFACTS (default
build/win64/e2e-artifacts).

A skipped test fails the run unless its reason matches ALLOWED_SKIPS: on a
machine set up by scripts/deps.sh and built by scripts/test.sh every test can
run, so a skip means something it needs went missing.
"""

import os
import re
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import REPO, WineSession, install_signal_cleanup  # noqa: E402


# Regular expressions of skip reasons that do not fail the run.
ALLOWED_SKIPS: list[str] = []

_unexpected_skips: list[tuple[str, str]] = []


def _note_skip(report) -> None:
    if not report.skipped or hasattr(report, "wasxfail"):
        return
    longrepr = report.longrepr
    reason = longrepr[2] if isinstance(longrepr, tuple) else str(longrepr)
    if not any(re.search(p, reason) for p in ALLOWED_SKIPS):
        _unexpected_skips.append((report.nodeid, reason))


def pytest_collectreport(report):
    _note_skip(report)


def pytest_runtest_logreport(report):
    _note_skip(report)


def pytest_sessionfinish(session, exitstatus):
    if _unexpected_skips and exitstatus == pytest.ExitCode.OK:
        session.exitstatus = pytest.ExitCode.TESTS_FAILED


def pytest_terminal_summary(terminalreporter):
    if not _unexpected_skips:
        return
    terminalreporter.section("unexpected skips (they fail the run)", red=True)
    for nodeid, reason in _unexpected_skips:
        terminalreporter.line(f"{nodeid}: {reason}")


def _bin_dir() -> Path:
    return Path(os.environ.get("TARVIK_BIN", REPO / "build" / "win64" / "bin"))


@pytest.fixture(scope="session")
def tarvik_exe():
    exe = _bin_dir() / "tarvik.exe"
    assert exe.exists(), f"{exe} is missing: build the win64 preset first"
    return exe


@pytest.fixture(scope="session")
def wine():
    bin_dir = _bin_dir()
    artifacts = Path(os.environ.get("TARVIK_E2E_ARTIFACTS", bin_dir.parent / "e2e-artifacts"))
    session = WineSession(bin_dir, artifacts)
    install_signal_cleanup(session)
    try:
        session.boot()
        yield session
    finally:
        session.close()


@pytest.fixture
def tarvik(wine):
    wine.stop_instances()
    # Each test starts from a user who never ran the program.
    wine.reg_delete()
    try:
        yield wine
    finally:
        wine.stop_instances()
        left = [n for n in wine.process_names() if n.lower() == "tarvik.exe"]
        assert not left, f"tarvik.exe still running after the test: {left}"


@pytest.fixture
def workdir(tmp_path):
    d = tmp_path / "cwd"
    d.mkdir()
    return d
