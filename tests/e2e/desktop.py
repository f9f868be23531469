#!/usr/bin/python3
"""Real desktops for the end-to-end tests: a headless compositor with a
private session bus, profile and XDG_RUNTIME_DIR, and the window program
driven through AT-SPI by its Czech accessible names.

    with Desktop.make("gnome-shell", work) as desk:
        app = App(desk, trezorka, [source], slow_source=source)
        app.type("Heslo", "heslo 12345"); app.press("Zašifrovat")
        desk.windows()                        # the compositor's own view
        app.windows()                         # what the program says (AT-SPI)

Desktops: "gnome-shell" (GNOME's own shell, headless), "mutter" (bare
mutter: no shell, no tray, no notifications), "sway" (wlroots, swaybar as the
tray host, mako for notifications), "kwin" (KWin alone, no Plasma: no tray),
and on any of the X-capable ones the program can use XWayland
(App(..., platform="xcb")).

As root, the whole session runs as "nobody": sway refuses to start as root,
and a desktop user is not root either. Every process is started here in a
process group of its own, and only those groups are ended at the end.

Run by hand: desktop.py KIND [COMMAND...] starts KIND and runs COMMAND (or a
shell) inside it, with the session's variables set.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

SKIP = 77
PROGRAM_TITLE = "Trezorka 2.0 Portable"
HERE = os.path.dirname(os.path.abspath(__file__))


class Skip(Exception):
    """The desktop cannot run here: the test is skipped (exit 77)."""


class Failure(Exception):
    pass


def wait_for(predicate, timeout, what, interval=0.1):
    """Polls until predicate() is truthy and returns it; Failure after timeout."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def need_commands(*names):
    for name in names:
        if not shutil.which(name):
            raise Skip(f"{name} is not installed")


def as_unprivileged_user():
    """Re-runs this script as nobody when started as root (sway refuses root)."""
    if os.geteuid() != 0 or os.environ.get("DESKTOP_AS_NOBODY") == "1":
        return
    need_commands("setpriv")
    env = dict(os.environ, DESKTOP_AS_NOBODY="1")
    argv = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", sys.executable] + sys.argv
    sys.stdout.flush()
    sys.stderr.flush()
    os.execvpe("setpriv", argv, env)


class Desktop:
    """One headless compositor with its own bus and profile under work/."""

    name = "?"
    current_desktop = ""
    commands = ()
    notification_server = False  # someone owns org.freedesktop.Notifications
    can_click = False  # a pointer of the test's own (click(x, y))

    @staticmethod
    def make(kind, work, size=(1280, 1024), xwayland=False):
        kinds = {c.name: c for c in (GnomeShell, Mutter, Sway, KWin)}
        if kind not in kinds:
            raise ValueError(f"unknown desktop {kind}; one of {', '.join(kinds)}")
        return kinds[kind](work, size, xwayland)

    def __init__(self, work, size, xwayland=False):
        self.work = os.path.abspath(work)
        self.size = size
        self.groups = []  # process groups started here, ended in stop()
        self.runtime = os.path.join(self.work, "runtime")
        self.home = os.path.join(self.work, "home")
        self.env = {}
        self.bus = None
        # XWayland's display once started; "" asks for one.
        self.display = "" if xwayland else None

    # ---- start and stop ----

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        need_commands("dbus-daemon", *self.commands)
        os.makedirs(self.runtime, mode=0o700, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        for d in ("home", "home/config", "home/data", "home/cache"):
            os.makedirs(os.path.join(self.work, d), exist_ok=True)
        base = {k: v for k, v in os.environ.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SWAYSOCK",
                             "QT_QPA_PLATFORM", "XAUTHORITY", "DESKTOP_SESSION", "XDG_SESSION_TYPE",
                             "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "GNOME_SETUP_DISPLAY")}
        base.update(HOME=self.home, XDG_CONFIG_HOME=self.home + "/config", XDG_DATA_HOME=self.home + "/data",
                    XDG_CACHE_HOME=self.home + "/cache", XDG_RUNTIME_DIR=self.runtime,
                    XDG_SESSION_TYPE="wayland", XDG_CURRENT_DESKTOP=self.current_desktop,
                    WAYLAND_DISPLAY="wayland-0")
        self.env = base
        self.bus = self.start_bus("bus", self.services())
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus
        self.prepare()
        self.start_compositor()
        self.env["WAYLAND_DISPLAY"] = wait_for(self._wayland_socket, 30, f"{self.name}'s Wayland socket")
        self.wait_ready()
        if self.display is not None:
            self.display = wait_for(self._x_display, 30, f"{self.name}'s XWayland")
            auth = [f for f in os.listdir(self.runtime) if "Xwaylandauth" in f]
            if auth:
                self.env["XAUTHORITY"] = os.path.join(self.runtime, auth[0])

    def _x_display(self):
        # Each compositor names the X display it opened in its log.
        for log in os.listdir(self.work):
            if log.endswith(".log"):
                with open(os.path.join(self.work, log), errors="replace") as f:
                    m = re.search(r"(?:X11 display|DISPLAY=|Xwayland.*on display|xwayland.*display) ?'?(:\d+)",
                                  f.read())
                if m:
                    return m.group(1)
        return None

    def stop(self):
        for group in reversed(self.groups):
            try:
                os.killpg(group, signal.SIGTERM)
            except ProcessLookupError:
                pass
        end = time.monotonic() + 5
        for group in reversed(self.groups):
            while time.monotonic() < end:
                try:
                    os.killpg(group, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.05)
            else:
                try:
                    os.killpg(group, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        self.groups = []
        self._remove_stale_x_displays()

    def _remove_stale_x_displays(self):
        # XWayland's sockets and locks, left behind when the compositor was
        # ended: only those whose lock names a process that is gone, and ours.
        import glob
        for lock in glob.glob("/tmp/.X*-lock"):
            try:
                if os.stat(lock).st_uid != os.geteuid():
                    continue
                with open(lock) as f:
                    pid = int(f.read().strip() or 0)
                if pid and os.path.exists(f"/proc/{pid}"):
                    continue
                number = re.fullmatch(r"/tmp/\.X(\d+)-lock", lock).group(1)
                for path in (lock, f"/tmp/.X11-unix/X{number}"):
                    if os.path.exists(path) and os.stat(path).st_uid == os.geteuid():
                        os.unlink(path)
            except (OSError, ValueError, AttributeError):
                continue

    def spawn(self, argv, log, env=None):
        """Starts argv in a process group of its own, ended by stop()."""
        out = open(os.path.join(self.work, log), "ab")
        p = subprocess.Popen(argv, env=env or self.env, stdout=out, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, start_new_session=True, cwd=self.work)
        out.close()
        self.groups.append(p.pid)
        return p

    def services(self):
        """The D-Bus services the session may start: the system's, but not a
        notification server unless this desktop brings one."""
        d = os.path.join(self.work, "services")
        os.makedirs(d, exist_ok=True)
        system = "/usr/share/dbus-1/services"
        for f in os.listdir(system) if os.path.isdir(system) else []:
            if f.startswith(("fr.emersion.mako", "org.freedesktop.systemd1")):
                continue
            dst = os.path.join(d, f)
            if not os.path.exists(dst):
                os.symlink(os.path.join(system, f), dst)
        return d

    def start_bus(self, name, service_dir):
        config = os.path.join(self.work, name + ".conf")
        with open(config, "w") as f:
            f.write(f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={self.runtime}/{name}</listen>
  <auth>EXTERNAL</auth>
  <servicedir>{service_dir}</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
""")
        self.spawn(["dbus-daemon", "--nofork", "--config-file=" + config], name + ".log")
        path = os.path.join(self.runtime, name)
        wait_for(lambda: os.path.exists(path), 10, f"the {name} D-Bus daemon")
        return "unix:path=" + path

    def _wayland_socket(self):
        # sway picks its own name (wayland-1); the others are told wayland-0.
        for f in sorted(os.listdir(self.runtime)):
            if re.fullmatch(r"wayland-\d+", f):
                return f
        return None

    def prepare(self):
        pass

    def start_compositor(self):
        raise NotImplementedError

    def wait_ready(self):
        pass

    def run(self, argv, timeout=10, check=True):
        """Runs a command in the session; returns its standard output."""
        r = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=timeout)
        if check and r.returncode != 0:
            raise Failure(f"{' '.join(argv)}: {r.returncode} {r.stderr.strip()}")
        return r.stdout

    def call(self, dest, path, method, args=None, timeout=10):
        """A D-Bus call on the session bus from this process (a session of
        mutter's RemoteDesktop lives as long as the connection that made it)."""
        from gi.repository import Gio, GLib
        if getattr(self, "_connection", None) is None:
            self._connection = Gio.DBusConnection.new_for_address_sync(
                self.bus, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        interface, _, name = method.rpartition(".")
        try:
            reply = self._connection.call_sync(dest, path, interface, name, args, None, Gio.DBusCallFlags.NONE,
                                               int(timeout * 1000), None)
        except GLib.Error as e:
            raise Failure(f"{method}: {e.message}") from None
        return reply.unpack() if reply is not None else ()

    def bus_names(self):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames")[0]

    def monitor(self, log, *rules):
        """dbus-monitor on the session bus into work/log (for the task bar's
        LauncherEntry signals and the notification calls)."""
        need_commands("dbus-monitor")
        self.spawn(["dbus-monitor", "--session", *rules], log)
        time.sleep(0.3)
        return os.path.join(self.work, log)

    # ---- the compositor's own view ----

    def windows(self):
        """The compositor's list of the program's windows: dicts with title,
        minimized, shown, focused (None where it does not say); None when the
        compositor offers no view."""
        return None

    def close(self, title):
        """The compositor's close request to the window with this title, as
        its close button or Alt+F4 sends it."""
        raise Skip(f"{self.name}: no scriptable close")

    def activate(self, title):
        """The compositor brings a window to the front, as a click in its
        window list or overview would."""
        raise Skip(f"{self.name}: no scriptable activation")

    def screenshot(self, path):
        return False

    def notifications(self):
        """The notifications the desktop shows (title, body), where it says."""
        return None


class GnomeShell(Desktop):
    """GNOME Shell headless; its D-Bus Eval opened by a tiny extension in the
    private profile (unsafe mode), so the test can see and act as the user."""

    name = "gnome-shell"
    current_desktop = "GNOME"
    commands = ("gnome-shell", "gsettings")
    notification_server = True
    can_click = True
    uuid = "harness@trezorka.test"

    def prepare(self):
        # The shell wants logind when /run/systemd/seats exists; a bus of its own
        # stands in for the system bus, so it finds none and goes on.
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.start_bus("system_bus", os.path.join(self.work, "no-services"))
        os.makedirs(os.path.join(self.work, "no-services"), exist_ok=True)
        ext = os.path.join(self.home, "data/gnome-shell/extensions", self.uuid)
        os.makedirs(ext, exist_ok=True)
        with open(os.path.join(ext, "metadata.json"), "w") as f:
            json.dump({"uuid": self.uuid, "name": "Test harness", "description": "Opens Eval for a test",
                       "shell-version": ["43", "44", "45"]}, f)
        with open(os.path.join(ext, "extension.js"), "w") as f:
            f.write("function init() {}\nfunction enable() { global.context.unsafe_mode = true; }\n"
                    "function disable() {}\n")
        self.run(["gsettings", "set", "org.gnome.shell", "enabled-extensions", f"['{self.uuid}']"])
        self.run(["gsettings", "set", "org.gnome.shell", "welcome-dialog-last-shown-version", "'999'"],
                 check=False)

    def start_compositor(self):
        w, h = self.size
        self.spawn(["gnome-shell", "--headless", "--wayland", "--wayland-display", "wayland-0",
                    "--virtual-monitor", f"{w}x{h}"] + ([] if self.display is not None else ["--no-x11"]),
                   "gnome-shell.log")

    def wait_ready(self):
        def ready():
            try:
                return self.eval("global.context.unsafe_mode && !Main.layoutManager._startingUp") is True
            except Exception:
                return False
        wait_for(ready, 60, "GNOME Shell to start", 0.5)
        # The desktop as after a log-in: no overview, no message about the extension;
        # a pointer on the seat before any program connects, as on a real desktop.
        self.eval("Main.overview.hide(); Main.messageTray.getSources().forEach(s => s.destroy()); true")
        self.pointer(self.size[0] - 1, self.size[1] - 1)
        wait_for(lambda: self.eval("!Main.overview.visible && !Main.overview.animationInProgress"), 10,
                 "the overview to close")

    def eval(self, code):
        from gi.repository import GLib
        ok, text = self.call("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Eval",
                             GLib.Variant("(s)", (code,)))
        if not ok:
            raise Failure(f"Eval failed: {text}")
        return json.loads(text) if text else None

    def windows(self):
        return self.eval("""global.get_window_actors().map(a => a.meta_window).map(w => ({
            title: w.get_title(), minimized: w.minimized, shown: w.showing_on_its_workspace() && !w.minimized,
            focused: w.has_focus(), attention: w.demands_attention, decorated: w.decorated,
            transient_for: w.get_transient_for() ? w.get_transient_for().get_title() : null,
            frame: (r => [r.x, r.y, r.width, r.height])(w.get_frame_rect()),
            app: w.get_wm_class(), pid: w.get_pid()}))""")

    def _window(self, title):
        return f"global.get_window_actors().map(a => a.meta_window).find(w => w.get_title() == {json.dumps(title)})"

    def close(self, title):
        if not self.eval(f"(w => w ? (w.delete(global.get_current_time()), true) : false)({self._window(title)})"):
            raise Failure(f"no window {title!r} to close")

    def activate(self, title):
        if not self.eval(f"(w => w ? (Main.activateWindow(w), true) : false)({self._window(title)})"):
            raise Failure(f"no window {title!r} to activate")

    def pointer(self, x, y, button=None):
        self.eval(f"""(() => {{
            const Clutter = imports.gi.Clutter, GLib = imports.gi.GLib;
            if (!global._harness_pointer)
                global._harness_pointer = Clutter.get_default_backend().get_default_seat()
                    .create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
            const p = global._harness_pointer;
            if ({json.dumps(button)} === null)
                p.notify_absolute_motion(GLib.get_monotonic_time(), {x}, {y});
            else
                p.notify_button(GLib.get_monotonic_time(), Clutter.BUTTON_PRIMARY,
                                {json.dumps(button)} ? Clutter.ButtonState.PRESSED : Clutter.ButtonState.RELEASED);
            return true; }})()""")

    def click(self, x, y):
        """A real click of the primary button at (x, y) through a virtual
        pointer of the shell's own: the program gets an input serial, as from
        a person's click."""
        self.pointer(x, y)
        time.sleep(0.15)
        self.pointer(x, y, True)
        time.sleep(0.05)
        self.pointer(x, y, False)

    def click_notification(self):
        """A click on the banner of the newest notification, where it shows."""
        box = self.eval("""(b => b ? (([x, y]) => [x, y, b.width, b.height])(b.get_transformed_position())
            : null)(Main.messageTray._banner)""")
        if not box:
            raise Failure("no notification banner on the screen")
        x, y, w, h = box
        self.click(int(x + w / 2), int(y + h / 2))

    def screenshot(self, path):
        from gi.repository import GLib
        ok, _ = self.call("org.gnome.Shell", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot.Screenshot",
                          GLib.Variant("(bbs)", (False, False, os.path.abspath(path))))
        return ok

    def notifications(self):
        return self.eval("""[].concat(...Main.messageTray.getSources().map(s => s.notifications.map(n =>
            ({source: s.title, title: n.title, body: n.bannerBodyText}))))""")


class Mutter(GnomeShell):
    """Bare mutter: GNOME's window rules without the shell. No tray, no
    notification server, no overview, and no scripting: the only way in from
    outside is its RemoteDesktop keyboard (Alt+F4 closes the focused window)."""

    name = "mutter"
    commands = ("mutter",)
    notification_server = False
    can_click = False

    def prepare(self):
        pass

    def start_compositor(self):
        w, h = self.size
        self.spawn(["mutter", "--headless", "--wayland", "--wayland-display", "wayland-0",
                    "--virtual-monitor", f"{w}x{h}"] + ([] if self.display is not None else ["--no-x11"]),
                   "mutter.log")

    def wait_ready(self):
        wait_for(lambda: "org.gnome.Mutter.RemoteDesktop" in self.bus_names(), 30, "mutter's D-Bus services")
        self._keyboard = None

    def windows(self):
        return None

    def notifications(self):
        return None

    def screenshot(self, path):
        return False

    def click(self, x, y):
        raise Skip("mutter alone: no pointer of the test's own")

    def activate(self, title):
        raise Skip("mutter alone: no scriptable activation")

    def close(self, title):
        """Alt+F4 through mutter's RemoteDesktop keyboard: closes whichever
        window has the focus (the title is not checked: mutter does not say)."""
        self.keys(["Alt_L", "F4"])

    def keys(self, names):
        """Presses the keys in order and releases them in reverse."""
        from gi.repository import GLib
        rd = "org.gnome.Mutter.RemoteDesktop"
        if self._keyboard is None:
            session = self.call(rd, "/org/gnome/Mutter/RemoteDesktop", rd + ".CreateSession")[0]
            self.call(rd, session, rd + ".Session.Start")
            self._keyboard = session
        syms = [keysym(n) for n in names]
        for pressed, order in ((True, syms), (False, list(reversed(syms)))):
            for sym in order:
                self.call(rd, self._keyboard, rd + ".Session.NotifyKeyboardKeysym",
                          GLib.Variant("(ub)", (sym, pressed)))
                time.sleep(0.02)


def keysym(name):
    table = {"Alt_L": 0xFFE9, "F4": 0xFFC1, "Tab": 0xFF09, "Return": 0xFF0D, "Escape": 0xFF1B,
             "Super_L": 0xFFEB, "Control_L": 0xFFE3, "Shift_L": 0xFFE1}
    return table[name]


class Sway(Desktop):
    """sway on wlroots' headless backend, swaybar hosting the tray
    (StatusNotifierItem) and mako showing notifications."""

    name = "sway"
    current_desktop = "sway"
    commands = ("sway", "swaymsg", "swaybar")
    notification_server = True

    def start_compositor(self):
        w, h = self.size
        config = os.path.join(self.work, "sway.conf")
        mako = shutil.which("mako")
        with open(config, "w") as f:
            f.write(f"""output HEADLESS-1 resolution {w}x{h}
xwayland {"enable" if self.display is not None else "disable"}
bar {{
    position bottom
    status_command while true; do echo trezorka-test; sleep 60; done
    tray_output *
}}
{f"exec {mako} --default-timeout 0" if mako else ""}
""")
        env = dict(self.env, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman",
                   WLR_HEADLESS_OUTPUTS="1")
        del env["WAYLAND_DISPLAY"]
        if not mako:
            self.notification_server = False
        self.spawn(["sway", "-c", config], "sway.log", env)
        sock = os.path.join(self.runtime, "sway-ipc.sock")
        self.env["SWAYSOCK"] = sock
        # sway names its socket by pid; the test knows it by this link.
        def linked():
            for f in os.listdir(self.runtime):
                if f.startswith("sway-ipc.") and f.endswith(".sock") and f != "sway-ipc.sock":
                    if not os.path.exists(sock):
                        os.symlink(os.path.join(self.runtime, f), sock)
                    return True
            return False
        wait_for(linked, 30, "sway's IPC socket")

    def wait_ready(self):
        wait_for(lambda: "org.kde.StatusNotifierWatcher" in self.bus_names(), 30, "swaybar's tray watcher")
        if self.notification_server:
            wait_for(lambda: "org.freedesktop.Notifications" in self.bus_names(), 30, "mako")

    def _x_display(self):
        # sway starts XWayland when the first X program connects, and tells
        # only the programs it starts where.
        path = os.path.join(self.runtime, "x-display")
        if not os.path.exists(path):
            self.msg("exec", f"printenv DISPLAY > {path}.new && mv {path}.new {path}")
            return None
        with open(path) as f:
            return f.read().strip() or None

    def msg(self, *args, check=True):
        return self.run(["swaymsg", *args], check=check)

    def tree(self):
        return json.loads(self.msg("-r", "-t", "get_tree"))

    def windows(self):
        found = []

        def walk(node, scratch):
            if node.get("pid") and node.get("type") in ("con", "floating_con"):
                found.append({"title": node.get("name"), "minimized": None, "focused": node.get("focused"),
                              "shown": bool(node.get("visible")) and not scratch, "app": node.get("app_id"),
                              "frame": [node["rect"][k] for k in ("x", "y", "width", "height")],
                              "shell": node.get("shell"), "pid": node.get("pid")})
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child, scratch or node.get("name") == "__i3_scratch")

        walk(self.tree(), False)
        return found

    def close(self, title):
        self.msg(f'[title="^{re.escape(title)}$"] kill')

    def activate(self, title):
        self.msg(f'[title="^{re.escape(title)}$"] focus')

    def screenshot(self, path):
        if not shutil.which("grim"):
            return False
        self.run(["grim", os.path.abspath(path)])
        return True

    def tray_items(self):
        from gi.repository import GLib
        return self.call("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                         "org.freedesktop.DBus.Properties.Get",
                         GLib.Variant("(ss)", ("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")))[0]

    def click_tray(self, x=0, y=0):
        """The first tray icon's left click, as swaybar makes it: its Activate."""
        items = self.tray_items()
        if not items:
            raise Failure("no icon in the tray")
        from gi.repository import GLib
        service, _, path = items[0].partition("/")
        self.call(service, "/" + path, "org.kde.StatusNotifierItem.Activate", GLib.Variant("(ii)", (x, y)))


class KWin(Desktop):
    """KWin alone on a virtual output (no Plasma: no tray, no notifications).
    The installed binary carries a file capability (CAP_SYS_RESOURCE) that a
    container without it in its bounding set cannot exec, so a plain copy runs."""

    name = "kwin"
    current_desktop = "KDE"
    commands = ("kwin_wayland",)

    def start_compositor(self):
        binary = shutil.which("kwin_wayland")
        copy = os.path.join(self.work, "kwin_wayland")
        shutil.copyfile(binary, copy)
        os.chmod(copy, 0o755)
        w, h = self.size
        self.spawn([copy, "--virtual", "--no-lockscreen", "--width", str(w), "--height", str(h),
                    "--socket", "wayland-0"] + (["--xwayland"] if self.display is not None else []),
                   "kwin.log", dict(self.env, QT_LOGGING_RULES="kwin_scripting=true", QT_QPA_PLATFORM=""))

    def wait_ready(self):
        wait_for(lambda: "org.kde.KWin" in self.bus_names(), 30, "KWin's D-Bus")

    def script(self, body, timeout=10):
        """Runs a KWin script; returns what it printed (one JSON value)."""
        mark = f"harness-{time.monotonic_ns()}"
        path = os.path.join(self.work, mark + ".js")
        with open(path, "w") as f:
            f.write(f"print('{mark} ' + JSON.stringify((function() {{ {body} }})()));\n")
        from gi.repository import GLib
        self.call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.loadScript", GLib.Variant("(ss)", (path, mark)))
        # Runs the scripts loaded and not yet running: this one.
        self.call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.start")
        log = os.path.join(self.work, "kwin.log")

        def printed():
            with open(log, errors="replace") as f:
                for line in f:
                    if mark + " " in line:
                        return line.split(mark + " ", 1)[1].strip().rstrip('"')
            return None
        text = wait_for(printed, timeout, "the KWin script's answer")
        self.call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.unloadScript", GLib.Variant("(s)", (mark,)))
        return json.loads(text)

    def windows(self):
        return self.script("""return workspace.clientList().filter(c => c.pid > 0 && !c.specialWindow
            ).map(c => ({title: c.caption, minimized: c.minimized, shown: !c.minimized && !c.hidden,
            focused: c.active, frame: [c.x, c.y, c.width, c.height], pid: c.pid}));""")

    def close(self, title):
        self.script(f"""workspace.clientList().filter(c => c.caption == {json.dumps(title)}
            ).forEach(c => c.closeWindow()); return true;""")

    def activate(self, title):
        self.script(f"""workspace.clientList().filter(c => c.caption == {json.dumps(title)}
            ).forEach(c => {{ c.minimized = false; workspace.activeClient = c; }}); return true;""")


# ---- the program, seen and driven through AT-SPI ----

class App:
    """The window program on a desktop. Its windows and controls are found by
    their accessible names; text goes in through EditableText and commands
    are pressed through their Press action, as a screen reader would."""

    def __init__(self, desktop, binary, args=(), platform="wayland", slow_source=None, bytes_per_second=30e6,
                 extra_env=None, log="app.log"):
        self.desktop = desktop
        env = dict(desktop.env, QT_QPA_PLATFORM=platform, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1")
        if platform == "xcb":
            if desktop.display is None:
                raise Skip(f"{desktop.name}: no XWayland")
            env["DISPLAY"] = desktop.display
        if slow_source:
            shim = os.environ.get("SLOW_READ_LIBRARY") or os.path.join(HERE, "slow_read.so")
            if not os.path.exists(shim):
                raise Skip("the slow-read library was not built")
            env.update(LD_PRELOAD=shim, SLOW_READ_PATH=os.path.realpath(slow_source),
                       SLOW_READ_BYTES_PER_SECOND=str(int(bytes_per_second)))
        env.update(extra_env or {})
        self.log = os.path.join(desktop.work, log)
        self.process = desktop.spawn([binary, *args], log, env)
        self._use_bus(desktop)
        self.app = wait_for(self._find_app, 30, "the program on the accessibility bus", 0.3)
        self.main = wait_for(lambda: self.window(PROGRAM_TITLE), 10, "the main window")

    @staticmethod
    def _use_bus(desktop):
        # pyatspi reads the bus address once, at its first import.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = desktop.env["DBUS_SESSION_BUS_ADDRESS"]
        os.environ["XDG_RUNTIME_DIR"] = desktop.runtime
        global pyatspi
        import pyatspi  # noqa: F401
        from gi.repository import Atspi
        # A program that does not answer must not hold the test for long.
        Atspi.set_timeout(3000, 15000)

    def _find_app(self):
        desk = pyatspi.Registry.getDesktop(0)
        for a in desk:
            try:
                if a is not None and a.get_process_id() == self.process.pid:
                    return a
            except Exception:
                continue
        return None

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def windows(self):
        """The program's top-level windows: (role, title, states)."""
        found = []
        try:
            for w in self.app:
                if w is not None:
                    found.append((w.getRoleName(), w.name, states(w)))
        except Exception as e:  # the program is gone or does not answer
            return [("error", str(e), set())]
        return found

    def window(self, title):
        try:
            for w in self.app:
                if w is not None and w.name == title:
                    return w
        except Exception:
            return None
        return None

    def find(self, name, window=None, role=None):
        root = self.main if window is None else (self.window(window) if isinstance(window, str) else window)
        if root is None:
            return None

        def walk(node, depth):
            for c in node:
                if c is None:
                    continue
                if c.name == name and (role is None or c.getRoleName() == role):
                    return c
                if depth < 4:
                    r = walk(c, depth + 1)
                    if r:
                        return r
            return None
        return walk(root, 0)

    def control(self, name, window=None, role=None, timeout=10):
        return wait_for(lambda: self.find(name, window, role), timeout, f"the control {name!r}")

    def type(self, name, text, window=None):
        self.control(name, window).queryEditableText().setTextContents(text)

    def press(self, name, window=None, role=None):
        c = self.control(name, window, role)
        action = c.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("Press", "press", "click"):
                action.doAction(i)
                return
        raise Failure(f"{name!r} has no Press action")

    def click(self, name, window=None):
        """A person's click on a control: the compositor's pointer at its
        middle (the window's place from the compositor, the control's place
        in the window from AT-SPI)."""
        title = window or PROGRAM_TITLE
        c = self.control(name, window)
        from gi.repository import Atspi
        r = c.queryComponent().getExtents(Atspi.CoordType.WINDOW)
        frame = next(w["frame"] for w in self.desktop.windows() if w["title"] == title)
        top = self.window(title).queryComponent().getExtents(Atspi.CoordType.WINDOW)
        # Qt's own frame (no server-side decorations): equal sides and bottom.
        side = (frame[2] - top.width) // 2
        head = frame[3] - top.height - side
        self.desktop.click(frame[0] + side + r.x + r.width // 2, frame[1] + head + r.y + r.height // 2)

    def states(self, title):
        w = self.window(title)
        return states(w) if w is not None else None

    def wait_window(self, title, timeout=30):
        return wait_for(lambda: self.window(title) is not None and "showing" in (self.states(title) or ()),
                        timeout, f"the window {title!r}")

    def message(self, timeout=30):
        """The first message box on the screen: (title, its texts)."""
        def shown():
            for role, title, st in self.windows():
                if role == "alert" and "showing" in st:
                    return title
            return None
        title = wait_for(shown, timeout, "a message box")
        texts = []

        def walk(node, depth):
            for c in node:
                if c is None:
                    continue
                if c.getRoleName() == "label" and c.name:
                    texts.append(c.name)
                if depth < 3:
                    walk(c, depth + 1)
        walk(self.window(title), 0)
        return title, "\n".join(texts)


def states(accessible):
    wanted = ("showing", "visible", "active", "iconified", "enabled", "focused", "modal")
    try:
        return {pyatspi.stateToString(s) for s in accessible.getState().getStates()} & set(wanted)
    except Exception:
        return set()


def main(argv):
    """desktop.py KIND [COMMAND...]: a session to try things in by hand."""
    if len(argv) < 2:
        print(__doc__)
        return 2
    as_unprivileged_user()
    import tempfile
    work = tempfile.mkdtemp(prefix="desktop-")
    os.chmod(work, 0o755)
    try:
        with Desktop.make(argv[1], work) as desk:
            env = dict(desk.env, QT_QPA_PLATFORM="wayland", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
            print(f"{desk.name} is running; work folder {work}", file=sys.stderr)
            return subprocess.call(argv[2:] or ["bash", "-i"], env=env)
    except Skip as e:
        print(f"SKIP: {e}")
        return SKIP
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
