"""A minute of the soak (soak.py runs it for half an hour), and at least
three rounds of its steps: discs, trays, speeds and resumes on two simulated
drives, tray menus, a dialog moved between DPIs and DPI changes of the main
window; every restore the drives' options call for seen in the trace, and the
process's objects, handles and working set read through the probe staying
within their bounds and not growing step by step. Under Wine the probe reads
the GDI count from the process's own GDI handle table and cannot read the USER
count (-1); the windows count stands in for the USER windows, every other
count must be read."""

from soak import GUI_COUNTS, MIN_ROUNDS, RESOURCES, STEPS, print_figures, soak


def test_a_minute_of_use_misses_no_restore_and_holds_its_resources(tarvik, workdir):
    figures = soak(tarvik, workdir, seconds=60)
    print_figures(figures)
    assert figures["restores"]["expected"] > 0, "no step called for a restore"
    assert "error" not in figures, figures.get("error")
    assert figures["missed"] == []
    for r in RESOURCES:
        if r not in GUI_COUNTS:
            assert figures["resources"][r]["per_step"] is not None, f"{r} not read"
    assert figures["rounds"] >= MIN_ROUNDS and set(figures["steps"]) == set(STEPS)
    assert figures["resources"]["gdi"]["start"] > 0
    assert figures["resources"]["handles"]["start"] > 0
    assert figures["resources"]["windows"]["start"] > 0
    assert figures["resources"]["ws"]["start"] > 0
    assert figures["over"] == [], {r: figures["resources"][r] for r in RESOURCES}
