"""The main timer of the running instance, seen through the commands its
simulated drives receive: the automatic close of an open tray."""

from simrun import DVD_WRITER, SLIM, SimRun

SLIM_CHECK = "Timer: Checking drive [TARVIKSM SLIM DVDRW SIM8  LS03]"


def test_autoclose_closes_an_open_tray_once_per_opening(tarvik, workdir):
    # D: closes its tray; E:'s tray has to be pushed in by hand, so its close fails.
    run = SimRun(tarvik, workdir, [DVD_WRITER, SLIM])
    run.learn()
    run.set_settings(TimerEnable=1, EnableAutoclose=1, TimerAutoclose=3000)
    run.start()

    def after_next_check():
        """Waits for the timer's next check of E: (every 5 s) and its commands."""
        seen = run.log().count(SLIM_CHECK)
        run.wait_log(lambda log: log.count(SLIM_CHECK) > seen, "the next check of E:")
        run.settle()

    mark = run.mark()
    run.user(0, "open")
    run.user(0, "remove")  # an empty tray: its close needs no spin-up
    run.user(1, "open")
    run.wait_action(mark, ("close", 0))
    run.wait_action(mark, ("close", 1))
    assert not run.user(0, "state")["trayOpen"]
    assert run.user(1, "state")["trayOpen"]
    # E: stays open: ten ticks and a check later it has still been told once.
    after_next_check()
    closes = run.actions_since(mark)
    assert closes.count(("close", 0)) == 1 and closes.count(("close", 1)) == 1, closes

    # Pushed in by hand, seen closed, opened again: a new opening, one more close.
    run.user(1, "close")
    after_next_check()
    run.user(1, "open")
    run.wait_action(mark, ("close", 1), count=2)
    run.settle()
    assert run.actions_since(mark).count(("close", 1)) == 2
    run.close()
