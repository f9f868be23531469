#!/usr/bin/python3
"""The window program on a real Wayland desktop, driven as a person would.

Usage: desktop_job.py DESKTOP SCENARIO TREZORKA TREZORKA-CLI SLOW-READ-LIBRARY

DESKTOP is gnome-shell, mutter, sway or kwin (see desktop.py); SCENARIO one of
the table below. Exits 77 (skipped) when the desktop or AT-SPI is missing.
DESKTOP_QT_PLATFORM=xcb runs the program on the desktop's XWayland instead.

    encrypt           a small file encrypted and decrypted back: the harness
                      itself, on every desktop
    large_job         a 300 MB job: no "is ready" noise, the job in view or
                      reachable, at the end the main window shown with the
                      result (no one-way minimise where it cannot be undone)
    close_during_job  the compositor closes the main window during a job:
                      the abort question comes ("Cancel" lets the job finish)
    tray_click        a click on the tray icon during a job: the main window
                      back with the dialog above it and focused
    notify            minimised by the user during a job: at its end a
                      notification, whose click brings the window back
    taskbar_progress  the job's progress on the task bar entry
                      (com.canonical.Unity.LauncherEntry)
"""

import os
import re
import shutil
import sys
import tempfile
import time

# Nothing is written into the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as D  # noqa: E402

PASSWORD = "Tajne heslo 42"
ABORT_QUESTION = "Přeřušit probíhající proces a ponechat cílový soubor v nekonzistentním stavu?"
SUCCESS = "Šifrování souboru dokončeno."
DIALOG = "Trezorka - šifrování"
DONE = "Trezorka - dokončeno"
LARGE = 300_000_000


def make_source(work, size, sparse):
    folder = os.path.join(work, "data")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "zpráva.pdf")
    with open(path, "wb") as f:
        f.write(b"%PDF-1.4\n")
        if sparse:
            f.truncate(size)
        else:
            f.write(os.urandom(size - 9))
    return path


def start_job(t, app, click=False):
    app.type("Heslo", PASSWORD)
    app.type("Heslo znova", PASSWORD)
    time.sleep(0.3)
    # GNOME Shell can click like a person, which gives the program an input
    # serial: what it then does with focus and activation is what a user sees.
    if click and t.desk.can_click:
        app.click("Zašifrovat")
    else:
        app.press("Zašifrovat")


def shown(desk, title):
    """The compositor's word on whether the window is on the screen; None
    where the compositor does not say."""
    ws = desk.windows()
    if ws is None:
        return None
    return any(w["title"] == title and w["shown"] and not w.get("minimized") for w in ws)


def wait_message(app, timeout):
    title, text = app.message(timeout)
    return title, text.replace("\r\n", "\n")


def finish_and_check(t, app, source):
    """The success message answered, the program left with "Ukončit", and
    the target decrypts to the source."""
    app.press("OK", DONE)
    D.wait_for(lambda: app.window(DONE) is None or "showing" not in (app.states(DONE) or ()), 10,
               "the message to go away")
    time.sleep(0.3)
    app.press("Ukončit")
    status = app.wait_exit(15)
    if status != 0:
        raise D.Failure(f"the program ended with {status} after \"Ukončit\"")
    t.decrypts(source)


class Test:
    def __init__(self, kind, scenario, program, cli, shim, work):
        self.kind, self.scenario, self.program, self.cli, self.work = kind, scenario, program, cli, work
        os.environ["SLOW_READ_LIBRARY"] = shim
        self.platform = os.environ.get("DESKTOP_QT_PLATFORM", "wayland")
        self.desk = D.Desktop.make(kind, work, xwayland=self.platform == "xcb")

    def app(self, source, slow=None, **kw):
        return D.App(self.desk, self.program, [source], platform=self.platform,
                     slow_source=source if slow else None, bytes_per_second=slow or 1, **kw)

    def decrypts(self, source):
        import subprocess
        password = os.path.join(self.work, "password")
        with open(password, "w") as f:
            f.write(PASSWORD + "\n")
        back = os.path.join(self.work, "back")
        r = subprocess.run([self.cli, "-q", "--no-check", "--password-file", password, "-o", back,
                            source + ".t2k"], capture_output=True, text=True)
        if r.returncode != 0:
            raise D.Failure(f"trezorka-cli could not decrypt: {r.stderr}")
        same = _same_bytes(source, back)
        os.unlink(back)
        if not same:
            raise D.Failure("the target does not decrypt to the source")

    def run(self):
        with self.desk:
            getattr(self, "scenario_" + self.scenario)()

    # ---- the scenarios ----

    def scenario_encrypt(self):
        source = make_source(self.work, 300_000, sparse=False)
        app = self.app(source)
        start_job(self, app)
        title, text = wait_message(app, 30)
        if title != DONE or not text.startswith(SUCCESS):
            raise D.Failure(f"unexpected message {title!r}: {text!r}")
        finish_and_check(self, app, source)

    def scenario_large_job(self):
        source = make_source(self.work, LARGE, sparse=True)
        app = self.app(source, slow=30e6, extra_env={"WAYLAND_DEBUG": "1"})
        start_job(self, app, click=True)
        app.wait_window(DIALOG, 10)
        for _ in range(6):
            time.sleep(0.5)
            notes = self.desk.notifications() or []
            noise = [n for n in notes if "is ready" in (n.get("body") or "")]
            if noise:
                raise D.Failure(f"starting a job made the desktop announce the program: {noise}")
            seen = [shown(self.desk, title) for title in (DIALOG, D.PROGRAM_TITLE)]
            if None not in seen and not any(seen):
                raise D.Failure(f"during the job no window of the program is on the screen: "
                                f"{self.desk.windows()}")
        title, text = wait_message(app, 40)
        if title != DONE:
            raise D.Failure(f"unexpected message {title!r}: {text!r}")
        time.sleep(1)
        main = shown(self.desk, D.PROGRAM_TITLE)
        if main is False:
            raise D.Failure(f"at the end of the job the main window is not on the screen: {self.desk.windows()}")
        if self.desk.name == "mutter":
            # Bare mutter says nothing of its windows; the program's own requests do.
            with open(app.log, errors="replace") as f:
                if "set_minimized()" in f.read():
                    raise D.Failure("the program minimised itself where nothing can undo it")
        finish_and_check(self, app, source)

    def scenario_close_during_job(self):
        # Under the large-file threshold: the windows stay where they are.
        source = make_source(self.work, 7_900_000, sparse=True)
        app = self.app(source, slow=0.6e6)
        start_job(self, app)
        app.wait_window(DIALOG, 10)
        time.sleep(0.5)
        if self.desk.name == "mutter":
            self.desk.keys(["Alt_L", "Tab"])  # mutter's own window switch: the main window gets the focus
            time.sleep(0.5)
        self.desk.close(D.PROGRAM_TITLE)
        try:
            question = D.wait_for(lambda: app.window("Warning"), 5, "the abort question after the close")
        except D.Failure:
            raise D.Failure(f"closing the main window during a job did not ask; the program "
                            f"{'is still running' if app.running() else 'ended with %s' % app.process.returncode}")
        texts = [c.name for c in question if c is not None] + [question.name]
        if not any(ABORT_QUESTION in (x or "") for x in texts) and ABORT_QUESTION not in app.message(2)[1]:
            raise D.Failure(f"the question is not the abort question: {texts}")
        app.press("Cancel", "Warning")
        D.wait_for(lambda: app.window("Warning") is None, 5, "the question to go away after \"Cancel\"")
        title, text = wait_message(app, 40)
        if title != DONE:
            raise D.Failure(f"after \"Cancel\" the job did not end normally: {title!r} {text!r}")
        finish_and_check(self, app, source)

    def scenario_tray_click(self):
        source = make_source(self.work, LARGE, sparse=True)
        app = self.app(source, slow=30e6)
        start_job(self, app)
        D.wait_for(lambda: self.desk.tray_items() and shown(self.desk, D.PROGRAM_TITLE) is False, 10,
                   "the program to go to the tray")
        self.desk.click_tray()
        time.sleep(1.5)
        ws = self.desk.windows()
        order = [w["title"] for w in ws if w["shown"]]
        focused = [w["title"] for w in ws if w["focused"]]
        if D.PROGRAM_TITLE not in order or DIALOG not in order:
            raise D.Failure(f"after the tray click not both windows are back: {ws}")
        if order.index(DIALOG) < order.index(D.PROGRAM_TITLE) or focused != [DIALOG]:
            raise D.Failure(f"after the tray click the dialog is not on top and focused: {ws}")
        wait_message(app, 40)
        finish_and_check(self, app, source)

    def scenario_notify(self):
        source = make_source(self.work, LARGE, sparse=True)
        app = self.app(source, slow=30e6)
        start_job(self, app)
        app.wait_window(DIALOG, 10)
        time.sleep(0.5)
        app.press("Minimalizovat", DIALOG)  # the user's own minimise
        wait_message(app, 40)
        time.sleep(1)
        notes = [n for n in (self.desk.notifications() or []) if SUCCESS in (n.get("body") or "")]
        if not notes:
            raise D.Failure(f"no notification of the job's end: {self.desk.notifications()}")
        self.desk.click_notification()
        D.wait_for(lambda: shown(self.desk, D.PROGRAM_TITLE), 5, "the notification's click to bring the window back")

    def scenario_taskbar_progress(self):
        source = make_source(self.work, LARGE, sparse=True)
        log = self.desk.monitor("launcher.log", "interface='com.canonical.Unity.LauncherEntry'")
        app = self.app(source, slow=60e6)
        start_job(self, app)
        wait_message(app, 40)
        with open(log, errors="replace") as f:
            text = f.read()
        progress = [float(v) for v in re.findall(r'"progress"\s+variant\s+double ([0-9.e+-]+)', text)]
        if not any(0 < p < 1 for p in progress):
            raise D.Failure(f"no progress on the task bar entry during the job (seen: {progress})")
        if "io.github.trezorka.Trezorka.desktop" not in text:
            raise D.Failure("the task bar entry is not the installed desktop id's")
        finish_and_check(self, app, source)


def _same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(1 << 20), fb.read(1 << 20)
            if x != y:
                return False
            if not x:
                return True


def main(argv):
    if len(argv) != 6:
        print(__doc__)
        return 2
    kind, scenario, program, cli, shim = argv[1:]
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        print("SKIP: python3-pyatspi is not installed")
        return D.SKIP
    program, cli, shim = (os.path.abspath(p) for p in (program, cli, shim))
    D.as_unprivileged_user()
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix=f"desktop-{kind}-{scenario}-")
    os.chmod(work, 0o755)
    keep = os.environ.get("TREZORKA_KEEP_WORK") == "1"
    try:
        Test(kind, scenario, program, cli, shim, work).run()
    except D.Skip as e:
        print(f"SKIP: {e}")
        return D.SKIP
    except D.Failure as e:
        print(f"FAIL: {kind} {scenario}: {e}", file=sys.stderr)
        # The logs are kept to look at, the large files not.
        shutil.rmtree(os.path.join(work, "data"), ignore_errors=True)
        keep = True
        return 1
    finally:
        if keep:
            print(f"kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)
    print(f"PASS: {kind} {scenario} in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
