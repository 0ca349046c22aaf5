#!/usr/bin/env python3
"""Plants DLLs named like the system DLLs the exe uses (winhttp, bcrypt,
version, uxtheme) beside the exe and in its working directory, tells Wine to
prefer such native copies, and runs a whole download from a local site: no
planted DLL may be loaded, and the installer must still be started.

A control run first loads the same names from a careless program in the same
setting, to show the planted DLLs would be seen if anything picked them up.

Usage: check_dll_planting.py <wine-run> <quarnet-setup.exe> <naive_loader.exe>
                             <sample_installer.exe> <folder of planted DLLs> <scratch folder>"""

import functools
import glob
import hashlib
import http.server
import json
import os
import shutil
import subprocess
import sys
import threading
import time

PLANTED = ["winhttp", "bcrypt", "version", "uxtheme"]
# A name of its own each run: a complete earlier download of it would be reused, not fetched.
INSTALLER_NAME = "pelorin-setup-%d.exe" % os.getpid()
RUN_TIMEOUT = 180
LAUNCH_TIMEOUT = 60

failures = []


def check(condition, what):
    print(("ok      " if condition else "FAILED  ") + what)
    if not condition:
        failures.append(what)


def plant(dll_folder, folder):
    os.makedirs(folder, exist_ok=True)
    for name in PLANTED:
        shutil.copyfile(os.path.join(dll_folder, name + ".dll"), os.path.join(folder, name + ".dll"))


def markers(*folders):
    return sorted(os.path.relpath(path) for folder in folders for path in glob.glob(os.path.join(folder, "*.loaded")))


def windows_path(path):
    # Wine maps the Linux root to drive Z:.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Site(http.server.SimpleHTTPRequestHandler):
    requests = []

    def log_message(self, format, *args):
        Site.requests.append(self.requestline)


def wine_environment():
    environment = dict(os.environ)
    environment["WINEDLLOVERRIDES"] = ",".join(PLANTED) + "=n,b"
    return environment


def main():
    if len(sys.argv) != 7:
        print(__doc__)
        return 2
    wine_run, exe, naive_loader, sample_installer, dll_folder, scratch = sys.argv[1:]
    shutil.rmtree(scratch, ignore_errors=True)
    app, working, control, site = (os.path.join(scratch, name) for name in ("app", "working", "control", "site"))

    # The control: a program that loads by bare name does pick the planted copies up.
    plant(dll_folder, control)
    shutil.copyfile(naive_loader, os.path.join(control, "naive_loader.exe"))
    subprocess.run([wine_run, os.path.join(control, "naive_loader.exe")], cwd=control, env=wine_environment(),
                   timeout=RUN_TIMEOUT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seen = markers(control)
    check(len(seen) == len(PLANTED), "control: a careless program loads every planted DLL %s" % seen)

    plant(dll_folder, app)
    plant(dll_folder, working)
    shutil.copyfile(exe, os.path.join(app, "quarnet-setup.exe"))
    os.makedirs(site)
    shutil.copyfile(sample_installer, os.path.join(site, INSTALLER_NAME))
    with open(os.path.join(site, INSTALLER_NAME), "rb") as file:
        installer = file.read()
    with open(os.path.join(site, "latest.json"), "w") as file:
        json.dump({"version": "0.0-planting", "file": INSTALLER_NAME, "size": len(installer),
                   "sha256": hashlib.sha256(installer).hexdigest()}, file)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                             functools.partial(Site, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    marker = os.path.join(scratch, "installer.ran")
    environment = wine_environment()
    environment.update({
        "QUARNET_SETUP_URL": "http://127.0.0.1:%d/" % server.server_address[1],
        "QUARNET_SETUP_NO_DIALOG": "1",
        "QUARNET_PACKAGE_INSTALLER_MARKER": windows_path(marker),
    })
    try:
        started = time.monotonic()
        # Output to a file, not a pipe: wineserver and a detached installer inherit it and would hold a pipe open.
        log = open(os.path.join(scratch, "setup-output.txt"), "wb")
        result = subprocess.run([wine_run, os.path.join(app, "quarnet-setup.exe")], cwd=working, env=environment,
                                timeout=RUN_TIMEOUT, stdout=log, stderr=subprocess.STDOUT)
        # The installer is started detached: give it a moment to leave its mark.
        deadline = time.monotonic() + LAUNCH_TIMEOUT
        while not os.path.exists(marker) and time.monotonic() < deadline:
            time.sleep(0.2)
        print("setup ran for %.1f s, exit code %d" % (time.monotonic() - started, result.returncode))
    finally:
        server.shutdown()
        server.server_close()

    print("requests: %s" % Site.requests)
    check(result.returncode == 0, "the exe ends with exit code 0")
    check(any(" /latest.json " in line for line in Site.requests), "the exe asked for latest.json")
    check(any((" /%s " % INSTALLER_NAME) in line for line in Site.requests), "the exe downloaded the installer")
    check(os.path.exists(marker), "the downloaded installer was started")
    check(markers(app, working) == [], "no planted DLL was loaded: %s" % markers(app, working))
    if not os.path.exists(marker):
        prefix = os.environ.get("QUARNET_WINEPREFIX") or os.path.join(
            os.path.dirname(os.path.abspath(wine_run)), "..", "build", "wineprefix")
        for path in glob.glob(os.path.join(prefix, "drive_c", "users", "*", "Temp", "Quarnet-setup",
                                           "last-error.txt")):
            with open(path, encoding="utf-8", errors="replace") as file:
                print("last-error.txt: " + file.read().strip())

    print("%d checks failed" % len(failures) if failures else "all planting checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
