"""The export file: when SavePath is set, the program writes its settings there
as it shuts down, through the system's registry tool. The file must load back
into the memory registry (the one tarvikctl and the host tests use) as the
same tree the system registry holds.
"""

import shutil
import subprocess

import pytest

from harness import CMD_EXIT, SETTINGS_KEY, wait_until, windows_path
from simrun import TARVIKCTL
from test_sim import MODEL_KEY, newest_log, sim  # noqa: F401  (sim is a fixture)


def wait_exported(tarvik, path):
    """Waits until the registry tool has left `path` and ended: the program starts
    it during its shut-down, so it runs by the time the program has ended, and
    the file is complete once it is gone."""
    def done():
        return path.exists() and "reg.exe" not in (n.lower() for n in tarvik.process_names())

    wait_until(done, 20, f"{path.name} written by reg.exe", interval=0.2)


def test_exit_exports_settings_that_load_back_as_the_same_tree(tarvik, workdir, sim):  # noqa: F811
    if not TARVIKCTL.exists():
        pytest.skip("tarvikctl (host build) is not built")
    env, _ = sim
    export = workdir / "settings.reg"
    assert tarvik.reg_add(SETTINGS_KEY, "SavePath", "REG_SZ", windows_path(export))
    assert tarvik.reg_add(SETTINGS_KEY, "DNTimer", "REG_DWORD", "8")

    inst = tarvik.spawn("/log", workdir, extra_env=env)
    assert tarvik.wait_window(True, timeout=20)
    # The drive model is examined and stored during start-up; the export
    # then holds it too.
    wait_until(lambda: tarvik.reg_query(MODEL_KEY), 30, "the drive model stored")
    assert tarvik.command(CMD_EXIT) == 0
    assert inst.wait(timeout=20) == 0
    wait_exported(tarvik, export)

    msgs = newest_log(workdir)
    assert any(m.startswith("SaveConfigToFile: 'reg.exe' 'export \"HKEY_CURRENT_USER\\Software"
                            "\\Orvanto Software\\Tarvik\\4.0\"") for m in msgs), msgs

    text = export.read_bytes().decode("utf-16")
    assert text.startswith("Windows Registry Editor Version 5.00")
    assert "TARVIKSM DVDRW SIM24X" in text and '"DNTimer"=dword:00000008' in text

    # The system registry as reg.exe sees it now, next to what the program wrote.
    assert tarvik.reg_export() is not None
    reference = workdir / "reference.reg"
    shutil.copyfile(tarvik.prefix / "export.reg", reference)
    result = subprocess.run([str(TARVIKCTL), "--registry", str(export), "settings", "compare",
                             str(reference)], capture_output=True, text=True, timeout=30)
    assert result.returncode == 0, result.stdout + result.stderr

    # The comparison is not blind: a changed value makes it fail.
    assert tarvik.reg_add(SETTINGS_KEY, "DNTimer", "REG_DWORD", "3")
    assert tarvik.reg_export() is not None
    shutil.copyfile(tarvik.prefix / "export.reg", reference)
    result = subprocess.run([str(TARVIKCTL), "--registry", str(export), "settings", "compare",
                             str(reference)], capture_output=True, text=True, timeout=30)
    assert result.returncode == 1, result.stdout + result.stderr
