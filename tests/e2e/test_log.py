"""The diagnostic log's file naming and line format, through the real program.

The one-shot "/exit" run writes a log and ends by itself, so it is the
quickest way to make the program create a log file in a given folder.
"""

from pathlib import Path

import pytest

from harness import STAMP, log_files, messages, read_log


def make_logs(folder, numbers):
    contents = {}
    for n in numbers:
        name = f"tarvik{n:02d}.log"
        contents[name] = f"old log {n}\n".encode()
        (folder / name).write_bytes(contents[name])
    return contents


LOG_NUMBER_CASES = [
    ("none", [], "tarvik00.log"),
    ("00 and 01", [0, 1], "tarvik02.log"),
    ("only 01", [1], "tarvik00.log"),
    ("gap at 03", [0, 1, 2, 4], "tarvik03.log"),
    ("00 to 99", list(range(100)), "tarvik100.log"),
]


@pytest.mark.parametrize("present,expected", [c[1:] for c in LOG_NUMBER_CASES],
                         ids=[c[0] for c in LOG_NUMBER_CASES])
def test_log_takes_lowest_free_number(tarvik, workdir, present, expected):
    old = make_logs(workdir, present)
    assert tarvik.run("/log/exit", workdir, timeout=60).exit_code == 0
    new = set(log_files(workdir)) - set(old)
    assert new == {expected}
    # Existing logs are never overwritten or appended to.
    for name, data in old.items():
        assert (workdir / name).read_bytes() == data, name
    lines = read_log(workdir / expected)
    assert lines and all(STAMP.match(line) for line in lines), lines
    assert "Setting speed and exiting..." in messages(lines)


def test_no_log_without_switch(tarvik, workdir):
    assert tarvik.run("/exit", workdir, timeout=60).exit_code == 0
    assert list(workdir.iterdir()) == []


def test_two_runs_write_two_logs(tarvik, workdir):
    for _ in range(2):
        assert tarvik.run("/log/exit", workdir, timeout=60).exit_code == 0
    assert log_files(workdir) == ["tarvik00.log", "tarvik01.log"]


def test_unwritable_folder_runs_without_log(tarvik):
    # Not even root can create files in /proc, so this holds for every user.
    # Every number fails there: the program must give up, not try them all.
    result = tarvik.run("/log/exit", Path("/proc"), timeout=60)
    assert result.exit_code == 0
    assert log_files(Path("/proc")) == []
