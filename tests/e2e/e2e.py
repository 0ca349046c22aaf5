#!/usr/bin/env python3
"""End-to-end runs of quarnet-setup.exe under Wine against a scripted local site.

    e2e.py --exe quarnet-setup.exe --installer sample_installer.exe --part-writer part_writer.exe
           --prefix DIR --case NAME [--publisher CN]

Each case gets an empty work folder in its own Wine prefix (Wine takes TEMP from
the prefix's registry, not from the caller), a site on a free port, and checks
what the run left: the launched sample installer's marker, the files of the work
folder, last-error.txt and the requests the site saw. Exit code 0 when the case
holds. The publisher cases run an exe built to require the signer --publisher
names, against signed copies of the sample (signed_samples.py). The prefix's wineserver and an Xvfb this script started are stopped at the end.
"""

import argparse
import base64
import getpass
import hashlib
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scripted_site import ScriptedSite  # noqa: E402
from signed_samples import make_samples  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_RUN = os.path.join(ROOT, "tools", "wine-run")
VERSION = "9.9.9"
FILE = "Pelorin-%s.exe" % VERSION
PATH = "/" + FILE
LIST_TYPE = "application/vnd.pelorin.installer-list+json"
CONNECTIONS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
ROOTS = r"HKCU\Software\Microsoft\SystemCertificates\Root\Certificates"


class CaseFailed(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise CaseFailed(what)


def expect_equal(actual, wanted, what):
    if actual != wanted:
        raise CaseFailed("%s: got %r, wanted %r" % (what, actual, wanted))


class Display:
    """A usable DISPLAY, or a private Xvfb for this script."""

    def __init__(self):
        self.process = None
        number = os.environ.get("DISPLAY", "").split(":")[-1].split(".")[0]
        if number and os.path.exists("/tmp/.X11-unix/X" + number):
            return
        for n in range(130, 160):
            if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                continue
            self.process = subprocess.Popen(
                ["Xvfb", ":%d" % n, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(50):
                if os.path.exists("/tmp/.X11-unix/X%d" % n):
                    break
                time.sleep(0.1)
            os.environ["DISPLAY"] = ":%d" % n
            return
        raise RuntimeError("no free X display")

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait()


class Run:
    def __init__(self, args):
        self.args = args
        self.exe = args.exe
        self.part_writer = args.part_writer
        self.mounts = []
        self.prefix = os.path.abspath(args.prefix)
        os.environ["QUARNET_WINEPREFIX"] = self.prefix
        self.temp = os.path.join(self.prefix, "drive_c", "users", getpass.getuser(), "Temp")
        self.work = os.path.join(self.temp, "Quarnet-setup")
        self.site_root = tempfile.mkdtemp(prefix="quarnet-e2e-site-")
        with open(args.installer, "rb") as f:
            self.installer = f.read()
        self.site = None
        self.base = None  # when set, the download base instead of the scripted site's
        self.servers = []
        self.registry = []  # (key, value) that close() deletes
        self.samples = None
        if args.publisher:
            folder = os.path.join(self.site_root, "signing")
            self.samples = make_samples(args.installer, folder, args.publisher, self.prefix)

    # --- setting up ---
    def publish(self, installer=None, sha256=None, size=None):
        """The site offers `installer` (default: the sample) with a matching latest.json."""
        data = self.installer if installer is None else installer
        self.offered = data
        with open(os.path.join(self.site_root, FILE), "wb") as f:
            f.write(data)
        listing = {"version": VERSION, "file": FILE, "size": len(data) if size is None else size,
                   "sha256": hashlib.sha256(data).hexdigest() if sha256 is None else sha256}
        self.listing = listing
        with open(os.path.join(self.site_root, "latest.json"), "w") as f:
            json.dump(listing, f)
        if self.site is None:
            self.site = ScriptedSite(self.site_root)

    def publish_signed(self, keys=("first",), version=VERSION, days=7, der=False, payload_type=LIST_TYPE,
                       changed=False):
        """latest.signed.json beside latest.json: the sample's list with an expiry, signed with `keys`."""
        self.publish()
        expires = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() + days * 86400))
        payload = json.dumps(dict(self.listing, version=version, expires=expires)).encode()
        envelope = {"payloadType": payload_type, "signatures": [sign_list(key, payload, payload_type, der)
                                                                for key in keys]}
        if changed:
            payload = payload.replace(VERSION.encode(), b"10.0")
        envelope["payload"] = base64.b64encode(payload).decode()
        with open(os.path.join(self.site_root, "latest.signed.json"), "w") as f:
            json.dump(envelope, f)
        return expires

    def leave_in_work_folder(self, name, data):
        os.makedirs(self.work, exist_ok=True)
        with open(os.path.join(self.work, name), "wb") as f:
            f.write(data)

    def clean(self):
        shutil.rmtree(self.work, ignore_errors=True)

    # --- running ---
    def start(self, dialog=False):
        env = dict(os.environ)
        env["QUARNET_SETUP_URL"] = self.base or self.site.base
        if not dialog:
            env["QUARNET_SETUP_NO_DIALOG"] = ""
        return subprocess.Popen([WINE_RUN, self.exe], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def run(self, timeout=120):
        process = self.start()
        output, _ = process.communicate(timeout=timeout)
        expect_equal(process.returncode, 0, "exit code (output: %s)" % output.decode(errors="replace")[-500:])

    # --- looking ---
    def work_file(self, name):
        path = os.path.join(self.work, name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def last_error(self):
        data = self.work_file("last-error.txt")
        return None if data is None else data.decode("utf-8")

    def wait_for_launch(self, seconds=20):
        marker = os.path.join(self.work, FILE + ".started")
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if os.path.exists(marker):
                return True
            time.sleep(0.1)
        return False

    def installer_ranges(self):
        return [r["range"] for r in self.site.requests(PATH)]

    def expect_launched(self):
        expect(self.wait_for_launch(), "the sample installer was not started (last error: %r)" % self.last_error())
        expect(self.work_file(FILE) == self.offered, "the installer in the work folder is the one offered")
        expect(self.work_file(FILE + ".part") is None, "no partial file is left")
        expect(self.last_error() is None, "no last-error.txt")

    def expect_failed(self, message):
        expect_equal(self.last_error(), message, "last-error.txt")
        expect(not self.wait_for_launch(1), "nothing was launched")

    def start_part_writer(self, mode, seconds, name=FILE + ".part"):
        path = "C:\\users\\%s\\Temp\\Quarnet-setup%s" % (getpass.getuser(), name and "\\" + name)
        return subprocess.Popen([WINE_RUN, self.part_writer, mode, path, str(seconds)],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def wait_for_part(self, seconds=60):
        partial = os.path.join(self.work, FILE + ".part")
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and not (os.path.exists(partial) and os.path.getsize(partial) > 0):
            time.sleep(0.1)
        expect(os.path.exists(partial), "the download began")

    def mount(self, *args):
        subprocess.run(["mount"] + list(args), check=True)
        self.mounts.append(args[-1])

    def reg(self, *args):
        subprocess.run([WINE_RUN, "reg"] + list(args) + ["/f"], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def set_binary(self, key, value, data):
        self.reg("add", key, "/v", value, "/t", "REG_BINARY", "/d", data.hex())
        self.registry.append((key, value))

    def serve(self, argv, folder):
        """A server of the run's own (nginx, Squid), stopped by close()."""
        log = open(os.path.join(folder, "out.log"), "w")
        self.servers.append(subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT))

    def close(self):
        for server in self.servers:
            server.terminate()
            server.wait()
        for key, value in self.registry:
            self.reg("delete", key, "/v", value)
        for point in reversed(self.mounts):
            subprocess.run(["umount", point], stderr=subprocess.DEVNULL)
            if os.path.isdir(point):
                shutil.rmtree(point, ignore_errors=True)
        if self.site:
            self.site.stop()
        shutil.rmtree(self.site_root, ignore_errors=True)
        env = dict(os.environ, WINEPREFIX=self.prefix)
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# --- the cases ---

def case_fresh(run):
    run.publish()
    run.run()
    run.expect_launched()
    expect_equal(run.installer_ranges(), [None], "installer requests")
    agents = {r["agent"] for r in run.site.requests()}
    expect_equal(agents, {"Quarnet-Setup/0.1.0"}, "user agents")
    caches = {r["cache"] for r in run.site.requests()}
    expect_equal(caches, {("no-cache", "no-cache")}, "Cache-Control and Pragma of the list and installer requests")


def case_resume_after_cut(run):
    run.publish()
    cut = len(run.installer) // 3
    run.site.fault(PATH, {"cut_after": cut})
    run.run()
    run.expect_launched()
    expect_equal(run.installer_ranges(), [None, "bytes=%d-" % cut], "installer requests")


def case_range_ignored(run):
    run.publish()
    held = len(run.installer) // 2
    run.leave_in_work_folder(FILE + ".part", run.installer[:held])
    run.site.fault(PATH, {"ignore_range": True})
    run.run()
    run.expect_launched()
    expect_equal(run.installer_ranges(), ["bytes=%d-" % held, None], "installer requests")


def refused(status, message):
    def case(run):
        run.publish()
        run.site.fault(PATH, {"status": status})
        run.run()
        run.expect_failed(message)
        expect_equal(len(run.installer_ranges()), 1, "installer requests (no retry)")
    return case


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


HOST = "www.pelorin.example"
NGINX = """daemon off; master_process off; pid {d}/nginx.pid; error_log {d}/error.log; events {{}}
http {{ client_body_temp_path {d}; proxy_temp_path {d}; fastcgi_temp_path {d}; uwsgi_temp_path {d}; scgi_temp_path {d};
  server {{ listen 127.0.0.1:{site} ssl; root {root}; access_log {d}/site.log;
           ssl_certificate {d}/site.pem; ssl_certificate_key {d}/site.key; }}
  server {{ listen 127.0.0.1:{script}; root {d}; access_log off; }} }}
"""
SQUID = """http_port 127.0.0.1:{squid}
http_access allow all
cache deny all
shutdown_lifetime 0 seconds
hosts_file {d}/hosts
pid_filename {d}/squid.pid
access_log stdio:{d}/squid.log
cache_log {d}/cache.log
"""
PAC = 'function FindProxyForURL(url, host) {{ return host == "{host}" ? "PROXY 127.0.0.1:{squid}" : "DIRECT"; }}'


def behind_squid(run):
    """The site over https as HOST, a name only a private Squid on 127.0.0.1 knows,
    so Squid is the only way to it; its certificate's root trusted in the prefix."""
    run.publish()
    d = os.path.join(run.site_root, "proxy")
    os.makedirs(d)
    os.chmod(run.site_root, 0o755)
    os.chmod(d, 0o777)  # Squid started by root works as its own user
    tls = lambda *args: subprocess.run(["openssl"] + list(args), check=True, capture_output=True, cwd=d).stdout
    tls("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Quarnet test root", "-addext", "basicConstraints=critical,CA:TRUE")
    tls("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "site.key", "-out", "site.csr", "-subj", "/CN=" + HOST,
        "-addext", "subjectAltName=DNS:" + HOST)
    tls("x509", "-req", "-in", "site.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-days", "2", "-copy_extensions",
        "copy", "-out", "site.pem")
    root = tls("x509", "-in", "ca.pem", "-outform", "der")
    # The user's root store as crypt32 keeps it: a serialized certificate (property 32, its encoding).
    run.set_binary(ROOTS + "\\" + hashlib.sha1(root).hexdigest().upper(), "Blob",
                   struct.pack("<III", 32, 1, len(root)) + root)
    ports = dict(d=d, root=run.site_root, host=HOST, site=free_port(), script=free_port(), squid=free_port())
    for name, text in (("nginx.conf", NGINX), ("squid.conf", SQUID), ("proxy.pac", PAC), ("hosts", "127.0.0.1 {host}\n")):
        with open(os.path.join(d, name), "w") as f:
            f.write(text.format(**ports))
    run.serve(["nginx", "-p", d, "-c", d + "/nginx.conf"], d)
    run.serve(["squid", "-N", "-f", d + "/squid.conf"], d)
    for port in (ports["site"], ports["script"], ports["squid"]):
        for _ in range(100):
            with socket.socket() as s:
                if s.connect_ex(("127.0.0.1", port)) == 0:
                    break
            time.sleep(0.1)
    run.base = "https://%s:%d/" % (HOST, ports["site"])
    return ports


def user_setting(flags, proxy="", script=""):
    """DefaultConnectionSettings: version, counter, flags (1 direct, 2 proxy, 4 script,
    8 detect), then the proxy, the bypass list and the script's address, each after its length."""
    strings = b"".join(struct.pack("<I", len(t)) + t.encode() for t in (proxy, "<local>", script))
    return struct.pack("<III", 0x46, 1, flags) + strings + bytes(32)


def read(ports, log):
    with open(os.path.join(ports["d"], log)) as f:
        return f.read()


def through_squid(setting):
    def case(run):
        ports = behind_squid(run)
        run.set_binary(CONNECTIONS, "DefaultConnectionSettings", setting(ports))
        run.run()
        run.expect_launched()
        expect("CONNECT %s:" % HOST in read(ports, "squid.log"), "Squid tunnelled: %r" % read(ports, "squid.log"))
        got = [line.split('"')[1].split()[1].split("/")[-1] for line in read(ports, "site.log").splitlines()]
        expect_equal(got, ["latest.json", FILE], "what the site gave through the tunnel")
    return case


def case_proxy_none(run):
    # No setting: WinHTTP's detection finds nothing, the requests go direct, and the
    # name that only Squid knows is not found; Squid sees nothing.
    ports = behind_squid(run)
    run.run()
    run.expect_failed("No connection to %s." % HOST)
    expect("CONNECT" not in read(ports, "squid.log"), "nothing went through Squid")


def case_proxy_sign_in(run):
    # 127.0.0.1 is always reached direct: a 407 comes from the site itself, which gets no sign-in and one request.
    run.publish()
    for path, scheme, message in (
            ("/latest.json", "Negotiate", "The website did not give the installer list (HTTP 407)."),
            (PATH, "NTLM", "The website refused the download (HTTP 407).")):
        before = len(run.site.requests(path))
        run.site.fault(path, {"status": 407, "headers": [("Proxy-Authenticate", scheme)]})
        run.run()
        run.expect_failed(message)
        expect_equal(len(run.site.requests(path)) - before, 1, "requests for %s (%s)" % (path, scheme))


def case_wrong_digest(run):
    run.publish(sha256="0" * 64)
    run.run()
    run.expect_failed("The download was damaged on the way, so it was deleted.")
    expect(run.work_file(FILE + ".part") is None, "the damaged partial file is deleted")
    expect(run.work_file(FILE) is None, "no installer file")


def case_too_many_bytes_once(run):
    # The block that crosses the size is dropped; the attempt after it brings the rest.
    big = run.installer + bytes(range(256)) * 4_000
    run.publish(installer=big)
    run.site.fault(PATH, {"extra": 300_000})
    run.run()
    run.expect_launched()
    ranges = run.installer_ranges()
    expect_equal(len(ranges), 2, "installer requests")
    expect_equal(ranges[0], None, "first installer request")


def case_earlier_copy(run):
    run.publish()
    run.leave_in_work_folder(FILE, run.installer)
    run.run()
    run.expect_launched()
    expect_equal(run.installer_ranges(), [], "installer requests")


def press_cancel(window_name="Pelorin setup", seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--name", window_name], capture_output=True, text=True)
        for window in found.stdout.split():
            subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True, timeout=5)
            subprocess.run(["xdotool", "key", "--window", window, "Escape"], capture_output=True, timeout=5)
            subprocess.run(["xdotool", "key", "Escape"], capture_output=True, timeout=5)
            return True
        time.sleep(0.2)
    return False


def case_cancel_then_resume(run):
    # A 4 MB installer sent at 400 kB/s: there is time to find the window and press Cancel.
    big = run.installer + b"\x00" * 4_000_000
    run.publish(installer=big)
    run.site.fault(PATH, {"throttle": 400_000})
    process = run.start()
    partial = os.path.join(run.work, FILE + ".part")
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and not (os.path.exists(partial) and os.path.getsize(partial) > 0):
        time.sleep(0.1)
    expect(press_cancel(), "the progress window was found")
    output, _ = process.communicate(timeout=60)
    expect_equal(process.returncode, 0, "exit code after Cancel")
    expect(run.last_error() is None, "no last-error.txt after Cancel")
    kept = run.work_file(FILE + ".part")
    expect(kept is not None and 0 < len(kept) < len(big), "the partial file is kept")
    expect(not run.wait_for_launch(1), "nothing was launched")

    run.run()
    run.expect_launched()
    expect_equal(run.installer_ranges()[-1], "bytes=%d-" % len(kept), "the next run resumes")


def slow_download(run):
    """A 4 MB installer at 400 kB/s: about ten seconds in which to interfere."""
    big = run.installer + bytes(range(256)) * 15_625
    run.publish(installer=big)
    run.site.fault(PATH, {"throttle": 400_000})


def refused_while_downloading(run, mode, seconds, name, what):
    # The other program tries `mode` on `name` in the work folder all along a slow
    # download: none of its tries succeeds, and the download still ends launched.
    slow_download(run)
    process = run.start()
    run.wait_for_part()
    other = run.start_part_writer(mode, seconds, name=name)
    output, _ = other.communicate(timeout=60)
    expect_equal(output.split()[-1:], [b"0"], "the other program's %s that succeeded" % what)
    process.communicate(timeout=120)
    run.expect_launched()


def case_second_copy(run):
    slow_download(run)
    first = run.start()
    run.wait_for_part()
    second = run.start()
    second.communicate(timeout=60)
    expect_equal(second.returncode, 0, "the second copy's exit code")
    expect(first.poll() is None, "the second copy ended while the first was still downloading")
    first.communicate(timeout=120)
    run.expect_launched()
    expect_equal(len(run.site.requests("/latest.json")), 1, "list requests")
    expect_equal(run.installer_ranges(), [None], "installer requests")


def case_part_held(run):
    # Held for writing before the download and after 10 s of waiting: the partial file cannot be opened.
    run.publish()
    os.makedirs(run.work, exist_ok=True)
    holder = run.start_part_writer("hold", 20)
    expect(holder.stdout.readline().strip() == b"holding", "the other program holds the partial file")
    began = time.monotonic()
    run.run()
    run.expect_failed("Could not save the download (Sharing violation. (os error 32)).")
    expect(time.monotonic() - began >= 10, "the wait for the partial file")
    holder.kill()
    holder.communicate()
    # Written into while it downloads: every open is refused, and what starts is what was offered.
    run.clean()
    refused_while_downloading(run, "write", 6, FILE + ".part", "opens for writing")


def case_scanner_holds(run):
    # Another program (a virus scanner, say) holds a file of ours without any sharing
    # for 3 s: the program waits it out rather than fail or fetch it again.
    run.publish()
    for name, data, ranges in ((FILE, run.installer, []), (FILE + ".part", run.installer[:1000], ["bytes=1000-"])):
        run.clean()
        run.leave_in_work_folder(name, data)
        holder = run.start_part_writer("lock", 3, name=name)
        expect(holder.stdout.readline().strip() == b"holding", "the other program holds " + name)
        before = len(run.installer_ranges())
        run.run()
        run.expect_launched()
        expect_equal(run.installer_ranges()[before:], ranges, "installer requests after holding " + name)
        holder.communicate()


def case_folder_held(run):
    # Another program cannot move the work folder away while the download runs.
    refused_while_downloading(run, "move", 3, "", "moves of the folder")


def case_odd_names(run):
    # Windows drops a trailing dot or space from a name; the sweep deletes exactly
    # the entries it lists, so the resumable part and a verified copy stay.
    run.publish()
    held = len(run.installer) // 2
    run.leave_in_work_folder(FILE + ".part", run.installer[:held])
    for stale in (FILE + ".part.", FILE + " "):
        run.leave_in_work_folder(stale, b"stale")
    run.run()
    run.expect_launched()
    expect_equal(run.installer_ranges(), ["bytes=%d-" % held], "installer requests")
    os.remove(os.path.join(run.work, FILE + ".started"))
    run.leave_in_work_folder(FILE + " ", b"stale")
    run.run()
    run.expect_launched()
    expect_equal(len(run.installer_ranges()), 1, "installer requests (the copy is reused)")
    expect_equal(sorted(os.listdir(run.work)), [FILE, FILE + ".started"], "the work folder")


def case_linked_folder(run):
    # Wine cannot remove a Unix link without reaching what it points to, so the
    # program refuses the folder and leaves the linked one as it was.
    run.publish()
    elsewhere = os.path.join(run.prefix, "drive_c", "elsewhere")
    shutil.rmtree(elsewhere, ignore_errors=True)
    os.makedirs(elsewhere)
    files = {"keep.txt": b"precious", "Older.exe": b"MZ old", "last-error.txt": b"mine"}
    for name, data in files.items():
        with open(os.path.join(elsewhere, name), "wb") as f:
            f.write(data)
    os.makedirs(run.temp, exist_ok=True)
    os.symlink(elsewhere, run.work)
    try:
        run.run()
        expect(not run.wait_for_launch(1), "nothing was launched")
        found = {name: open(os.path.join(elsewhere, name), "rb").read() for name in os.listdir(elsewhere)}
        expect_equal(found, files, "the linked folder")
        expect_equal(run.installer_ranges(), [], "installer requests")
    finally:
        if os.path.islink(run.work):
            os.unlink(run.work)
        shutil.rmtree(elsewhere, ignore_errors=True)


def case_temp_repointed(run):
    # Temp is a link, pointed at another folder with another installer while the download runs.
    real, other = run.temp + "-real", run.temp + "-other"
    shutil.rmtree(other, ignore_errors=True)
    os.makedirs(os.path.join(other, "Quarnet-setup"))
    with open(os.path.join(other, "Quarnet-setup", FILE), "wb") as f:
        f.write(run.installer + b"not the announced one")
    os.makedirs(run.temp, exist_ok=True)
    os.rename(run.temp, real)
    os.symlink(real, run.temp)
    try:
        slow_download(run)
        process = run.start()
        run.wait_for_part()
        os.symlink(other, run.temp + "-link")
        os.replace(run.temp + "-link", run.temp)
        process.communicate(timeout=120)
        started = [os.path.exists(os.path.join(f, "Quarnet-setup", FILE + ".started")) for f in (real, other)]
        expect_equal(started, [True, False], "started (the checked installer, the other)")
    finally:
        os.unlink(run.temp)
        os.rename(real, run.temp)
        shutil.rmtree(other, ignore_errors=True)


def case_mutex_shut(run, mode="mutex"):
    # Another program made the one-copy mutex first, with an empty DACL, or owns it with one that
    # admits everyone while no setup window exists (mutex-held): the pass runs all the same.
    run.publish()
    holder = subprocess.Popen([WINE_RUN, run.part_writer, mode, "Local\\Quarnet-setup", "60"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    expect(holder.stdout.readline().strip() == b"holding", "the other program made the mutex")
    run.run()
    run.expect_launched()


def case_full_disk(run):
    # The temporary folder is a 1 MB tmpfs: the 4 MB installer is not even asked for,
    # and last-error.txt still has room for the message.
    big = run.installer + bytes(range(256)) * 15_625
    run.publish(installer=big)
    os.makedirs(run.temp, exist_ok=True)
    run.mount("-t", "tmpfs", "-o", "size=1m", "tmpfs", run.temp)
    run.run(timeout=240)
    expect_equal(run.last_error(), "Could not save the download (Disk full. (os error 112)). Is the disk full?",
                 "last-error.txt")
    expect_equal(len(run.installer_ranges()), 0, "installer requests")


# --- the exe that requires a publisher: the sample signed in four ways ---

NOT_PUBLISHERS = "The downloaded installer is not signed by Pelorin's publisher, so it was deleted."


def sample(run, name):
    with open(run.samples[name], "rb") as f:
        return f.read()


def case_publisher_signed(run):
    run.publish(installer=sample(run, "right"))
    run.run()
    run.expect_launched()


def refused_signature(name):
    def case(run):
        run.publish(installer=sample(run, name))
        run.run()
        run.expect_failed(NOT_PUBLISHERS)
        expect(run.work_file(FILE) is None and run.work_file(FILE + ".part") is None, "the installer is deleted")
    return case


def case_publisher_earlier_copy(run):
    # A complete copy from before, with the listed size and digest, is checked the same way.
    run.publish(installer=sample(run, "other"))
    run.leave_in_work_folder(FILE, run.offered)
    run.run()
    run.expect_failed(NOT_PUBLISHERS)
    expect_equal(run.installer_ranges(), [], "installer requests")
    expect(run.work_file(FILE) is None, "the earlier copy is deleted")


# --- the exe that requires a list signed with the test keys, version 9.9 or later ---

NOT_SIGNED = "The installer list on the website is not signed by Pelorin's publisher."


def sign_list(key, payload, payload_type, der):
    """A signature entry over the pre-authentication encoding, with a key of list-keys/ or a key file."""
    if not os.path.isabs(key):
        key = os.path.join(os.path.dirname(os.path.abspath(__file__)), "list-keys", key + "-key.pem")
    signed = b"DSSEv1 %d %s %d %s" % (len(payload_type), payload_type.encode(), len(payload), payload)
    sig = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=signed, capture_output=True,
                         check=True).stdout
    if not der:  # SEQUENCE { INTEGER r, INTEGER s } to r||s
        r_end = 4 + sig[3]
        r, s = sig[4:r_end], sig[r_end + 2:r_end + 2 + sig[r_end + 1]]
        sig = b"".join(int.from_bytes(n, "big").to_bytes(32, "big") for n in (r, s))
    return {"sig": base64.b64encode(sig).decode()}


def case_signed_list_accepted(run):
    for keys in (["first"], ["second"]):
        run.clean()
        run.publish_signed(keys=keys)
        run.run()
        run.expect_launched()
    expect_equal(len(run.site.requests("/latest.signed.json")), 2, "signed list requests")
    expect_equal(run.site.requests("/latest.json"), [], "requests of latest.json")


def case_signed_list_refused(run):
    foreign = os.path.join(run.site_root, "foreign-key.pem")
    subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", foreign],
                   check=True, capture_output=True)
    for what in ({"changed": True}, {"keys": [foreign]}, {"der": True}, {"payload_type": "application/json"}):
        run.clean()
        run.publish_signed(**what)
        run.run()
        run.expect_failed(NOT_SIGNED)
    run.clean()
    expires = run.publish_signed(days=-2)
    run.run()
    run.expect_failed("The installer list on the website has expired (%s). Is the computer's date right?" % expires)
    run.clean()
    run.publish_signed(version="9.8.99")
    run.run()
    run.expect_failed("The website offers an older Pelorin (9.8.99) than this setup accepts.")
    expect_equal(run.installer_ranges(), [], "installer requests")
    expect_equal(run.site.requests("/latest.json"), [], "requests of latest.json")


def case_signed_list_token(run):
    """Lists that publish-list signs with the test token's key: through OpenSSL's pkcs11 engine, then
    through pkcs11-tool as a --signer command (SoftHSM2 signs a digest, so openssl makes it first)."""
    token, module = run.args.token, run.args.pkcs11_module
    with open(os.path.join(token, "pin")) as f:
        env = dict(os.environ, QUARNET_TEST_PIN=f.read().strip())
    signer = ("openssl dgst -sha256 -binary | pkcs11-tool --module %s --token-label quarnet-test --login "
              "--pin env:QUARNET_TEST_PIN --sign --mechanism ECDSA --id 01 -o /dev/stdout" % module)
    for keys in (["--key", "pkcs11:token=quarnet-test;object=list-key;type=private", "--pkcs11-module", module,
                  "--pin-file", os.path.join(token, "pin")],
                 ["--signer", signer, "--signer-key", os.path.join(token, "list-key.pem")]):
        run.clean()
        run.publish()
        written = subprocess.run([run.args.publish_list, "write", os.path.join(run.site_root, FILE), VERSION, "-o",
                                  os.path.join(run.site_root, "latest.json"), "--days", "7"] + keys,
                                 env=env, capture_output=True, text=True)
        expect_equal(written.returncode, 0, "publish-list write (%s)" % written.stderr)
        run.run()
        run.expect_launched()
    expect_equal(run.site.requests("/latest.json"), [], "requests of latest.json")


PUBLISHER_CASES = {
    "publisher_signed": case_publisher_signed,
    "publisher_unsigned": refused_signature("unsigned"),
    "publisher_other_signer": refused_signature("other"),
    "publisher_changed_bytes": refused_signature("changed"),
    "publisher_earlier_copy": case_publisher_earlier_copy,
}

CASES = {
    "fresh": case_fresh,
    "resume_after_cut": case_resume_after_cut,
    "range_ignored": case_range_ignored,
    "not_found": refused(404, "The installer is not on the website at the moment."),
    "proxy_sign_in": case_proxy_sign_in,
    "proxy_fixed": through_squid(lambda ports: user_setting(3, proxy="127.0.0.1:%(squid)d" % ports)),
    "proxy_script": through_squid(lambda ports: user_setting(5, script="http://127.0.0.1:%(script)d/proxy.pac" % ports)),
    "proxy_none": case_proxy_none,
    "wrong_digest": case_wrong_digest,
    "too_many_bytes_once": case_too_many_bytes_once,
    "earlier_copy": case_earlier_copy,
    "cancel_then_resume": case_cancel_then_resume,
    "second_copy": case_second_copy,
    "part_held": case_part_held,
    "linked_folder": case_linked_folder,
    "folder_held": case_folder_held,
    "scanner_holds": case_scanner_holds,
    "odd_names": case_odd_names,
    "full_disk": case_full_disk,
    "temp_repointed": case_temp_repointed,
    "mutex_shut": case_mutex_shut,
    "mutex_held": lambda run: case_mutex_shut(run, "mutex-held"),
    **PUBLISHER_CASES,
    "signed_list_accepted": case_signed_list_accepted,
    "signed_list_refused": case_signed_list_refused,
    "signed_list_token": case_signed_list_token,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--part-writer", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--publisher", help="the signer the exe requires (the publisher cases)")
    parser.add_argument("--token", help="the test token's folder (signed_list_token)")
    parser.add_argument("--pkcs11-module", help="its PKCS#11 module (signed_list_token)")
    parser.add_argument("--publish-list", help="a host build's publish-list (signed_list_token)")
    args = parser.parse_args()
    if (args.case in PUBLISHER_CASES) != bool(args.publisher):
        parser.error("the publisher cases, and only they, need --publisher")
    if args.case == "signed_list_token" and not (args.token and args.pkcs11_module and args.publish_list):
        parser.error("signed_list_token needs --token, --pkcs11-module and --publish-list")
    if args.publish_list and not os.access(args.publish_list, os.X_OK):
        parser.error("no publish-list at %s: build the host preset first" % args.publish_list)

    display = Display()
    run = Run(args)
    try:
        run.clean()
        began = time.monotonic()
        CASES[args.case](run)
        print("e2e %s: passed in %.1f s" % (args.case, time.monotonic() - began))
        return 0
    except CaseFailed as failure:
        print("e2e %s: FAILED: %s" % (args.case, failure))
        if run.site:
            print("requests seen:", json.dumps(run.site.requests(), indent=1))
        return 1
    finally:
        run.close()
        run.clean()
        display.stop()


if __name__ == "__main__":
    sys.exit(main())
