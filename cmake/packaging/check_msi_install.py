#!/usr/bin/python3
"""Installs, upgrades and removes Termgate's MSI with Wine's msiexec, for CTest.

    check_msi_install.py --tree DIR --package NAME.zip --msi NAME.msi --schtasks EXE
                         --state FILE --source DIR --version V

Builds the tree's package, then makes a 64-bit Wine prefix beside FILE (the e2e driver's state of
it), on an Xvfb of its own, and takes it down again afterwards, whatever happened. Wine's 64-bit
msiexec installs the 32-bit package as 64-bit Windows does: into C:\\Program Files (x86), with
[SystemFolder] at SysWOW64, where EXE, a 64-bit stand-in for schtasks that keeps every call and
the task it is given, takes the place of Wine's own (which keeps no task). Nothing 32-bit runs.

Each scenario starts from a prefix without Termgate and checks the files with the zip's bytes, the
event log source, the calls to schtasks and the entry in Programs and Features, after each step.
Exits with 77, which CTest reports as skipped, where the prefix cannot be made.
"""

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

SKIPPED = 77
EVENT_SOURCE = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Termgate"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
FOLDER = r"C:\Program Files (x86)\Kelvarn\Termgate"
SCHTASKS = r"C:\windows\syswow64\schtasks.exe"
PROGRAM = ("Termgate.exe", "index.html", "toolbar.html", "Termgate-task.xml")
CREATE = rf'{SCHTASKS} /create /tn Termgate /xml "{FOLDER}\Termgate-task.xml" /f'
DELETE = rf"{SCHTASKS} /delete /tn Termgate /f"
# Installing and removing take a second or two; a hang must still end the run.
MSIEXEC_TIMEOUT = 120

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


class Machine:
    """The prefix, seen as the computer the package is installed on."""

    def __init__(self, prefix, package):
        self.prefix = prefix
        self.package = package

    def msiexec(self, *args):
        code, output = self.prefix.run("msiexec", [*args, "/qn"], timeout=MSIEXEC_TIMEOUT,
                                       native=("schtasks.exe",))
        return code

    def msi(self, path):
        """The package's path in the prefix, where msiexec reads it."""
        target = self.prefix.drive_c / Path(path).name
        shutil.copy2(path, target)
        return "C:\\" + target.name

    def folder(self):
        return self.prefix.drive_c / "Program Files (x86)" / "Kelvarn" / "Termgate"

    def files(self):
        """{name: bytes} of what the folder holds, None without the folder."""
        folder = self.folder()
        return {path.name: path.read_bytes() for path in folder.iterdir()} if folder.is_dir() \
            else None

    def registry(self, key, view="64"):
        """{value name: (type, data)} of a key, None without the key."""
        code, output = self.prefix.run("reg", ["query", key, f"/reg:{view}"])
        if code != 0:
            return None
        values = (re.fullmatch(r" {4}(.+?) {4}(REG_\w+) {4}(.*)", line)
                  for line in output.splitlines())
        return {found[1]: (found[2], found[3]) for found in values if found}

    def products(self):
        """{product code: (version, uninstall command)} of the Termgate entries in Programs and
        Features, which the 32-bit package writes into the 32-bit view."""
        code, output = self.prefix.run("reg", ["query", UNINSTALL, "/reg:32"])
        found = {}
        subkeys = (re.fullmatch(r"HKEY_\S+\\(\{[0-9A-F-]+\})", line)
                   for line in output.splitlines())
        for key in (found[1] for found in subkeys if found):
            values = self.registry(f"{UNINSTALL}\\{key}", "32") or {}
            if values.get("DisplayName", ("", ""))[1] == "Termgate":
                found[key] = (values.get("DisplayVersion", ("", ""))[1],
                              values.get("UninstallString", ("", ""))[1])
        return found

    def calls(self):
        """Each call to schtasks, its whole command line."""
        calls = self.prefix.drive_c / "schtasks" / "calls.txt"
        return calls.read_bytes().decode("utf-16-le").splitlines() if calls.exists() else []

    def task(self):
        """The registered task's definition, None without one."""
        task = self.prefix.drive_c / "schtasks" / "Termgate.xml"
        return task.read_bytes() if task.is_file() else None

    def forget_calls(self):
        shutil.rmtree(self.prefix.drive_c / "schtasks", ignore_errors=True)

    def clean(self):
        """Removes what a failed scenario left, so that the next one starts afresh."""
        for code in self.products():
            self.msiexec("/x", code)
        shutil.rmtree(self.folder().parent, ignore_errors=True)
        if self.registry(EVENT_SOURCE) is not None:
            self.prefix.run("reg", ["delete", EVENT_SOURCE, "/f"])


def product_code(msi):
    lines = subprocess.run(["msiinfo", "export", str(msi), "Property"], check=True,
                           capture_output=True, text=True).stdout.splitlines()
    return dict(line.split("\t", 1) for line in lines[3:])["ProductCode"]


def check_installed(machine, step, code, version):
    """Termgate as the package installs it, and as Programs and Features lists it."""
    check(machine.files() == {name: machine.package[name] for name in PROGRAM},
          f"{step}: the folder holds {sorted(machine.files() or [])}, or other bytes")
    check(machine.registry(EVENT_SOURCE) == {
        "EventMessageFile": ("REG_EXPAND_SZ", rf"{FOLDER}\Termgate.exe"),
        "TypesSupported": ("REG_DWORD", "0x7")},
        f"{step}: the event log source is {machine.registry(EVENT_SOURCE)}")
    check(machine.task() == machine.package["Termgate-task.xml"],
          f"{step}: the registered task is not the shipped Termgate-task.xml")
    products = machine.products()
    check(products == {code: (version, f"MsiExec.exe /X{code}")},
          f"{step}: Programs and Features lists {products}, not {code} {version}")


def check_removed(machine, step):
    check(not machine.folder().parent.exists(), f"{step}: Kelvarn is left: {machine.files()}")
    check(machine.registry(EVENT_SOURCE) is None,
          f"{step}: the event log source is left: {machine.registry(EVENT_SOURCE)}")
    check(machine.products() == {}, f"{step}: Programs and Features lists {machine.products()}")


def installed_and_removed(machine, msi, version, remove_by_code, task_ran):
    """Installs the package, then removes it (by its product code, as Programs and Features
    does, or by the package), the task still registered or already run and gone."""
    code = product_code(msi)
    check(machine.msiexec("/i", machine.msi(msi)) == 0, "the install failed")
    check(machine.calls() == [CREATE], f"the install called schtasks: {machine.calls()}")
    check_installed(machine, "installed", code, version)
    if task_ran:
        # The task has started Termgate and deleted itself: schtasks /delete now fails.
        (machine.prefix.drive_c / "schtasks" / "Termgate.xml").unlink()
    status = machine.msiexec("/x", code if remove_by_code else machine.msi(msi))
    check(status == 0, f"the removal failed with {status}")
    check(machine.calls()[1:] == [DELETE], f"the removal called schtasks: {machine.calls()[1:]}")
    check(machine.task() is None, "the task is left")
    check_removed(machine, "removed")


def the_task_still_registered(machine, msi, version, newer):
    installed_and_removed(machine, msi, version, remove_by_code=True, task_ran=False)


def the_task_run_and_gone(machine, msi, version, newer):
    installed_and_removed(machine, msi, version, remove_by_code=False, task_ran=True)


def a_task_that_cannot_be_registered(machine, msi, version, newer):
    """schtasks fails: the install fails and leaves nothing behind."""
    # The stand-in cannot keep the task where a folder has its file's name.
    (machine.prefix.drive_c / "schtasks" / "Termgate.xml").mkdir(parents=True)
    status = machine.msiexec("/i", machine.msi(msi))
    check(status not in (0, 3010), f"the install succeeded ({status}) without the task")
    check(machine.calls() == [CREATE], f"the install called schtasks: {machine.calls()}")
    check_removed(machine, "the failed install")


def a_newer_version(machine, msi, version, newer):
    """The newer version replaces the older whole, its task included; the older one then does
    not install over it."""
    newer_msi, newer_version = newer
    check(machine.msiexec("/i", machine.msi(msi)) == 0, "the older version's install failed")
    check(machine.msiexec("/i", machine.msi(newer_msi)) == 0, "the newer version's install failed")
    check(machine.calls() == [CREATE, DELETE, CREATE],
          f"the older install, its removal and the newer install called {machine.calls()}")
    check_installed(machine, "upgraded", product_code(newer_msi), newer_version)
    status = machine.msiexec("/i", machine.msi(msi))
    check(status not in (0, 3010), f"the older version installed ({status}) over the newer")
    check_installed(machine, "the older refused", product_code(newer_msi), newer_version)
    check(machine.msiexec("/x", machine.msi(newer_msi)) == 0, "the newer version's removal failed")
    check_removed(machine, "the newer removed")


SCENARIOS = {
    "installed, then removed through its product code with the task registered":
        the_task_still_registered,
    "installed, then removed through the package after the task ran": the_task_run_and_gone,
    "a task that cannot be registered": a_task_that_cannot_be_registered,
    "a newer version over an older": a_newer_version,
}


def make_newer(options, folder):
    """The same package, as the next version would make it."""
    parts = options.version.split(".")
    version = ".".join(parts[:-1] + [str(int(parts[-1]) + 1)])
    output = Path(folder) / f"Termgate-{version}.msi"
    subprocess.run([sys.executable, Path(__file__).resolve().parent / "make_package.py", "msi",
                    "--source", options.source, "--stage", Path(options.tree) / "packaging" /
                    "stage", "--wxs", Path(options.source) / "wizard" / "deploy" / "Termgate.wxs",
                    "--version", version, "--arch", "x86", "--output", output],
                   check=True, stdout=subprocess.DEVNULL)
    return output, version


def main():
    parser = argparse.ArgumentParser()
    for name in ("tree", "package", "msi", "schtasks", "state", "source", "version"):
        parser.add_argument(f"--{name}", required=True)
    options = parser.parse_args()
    tree = Path(options.tree)
    subprocess.run(["cmake", "--build", tree, "--target", "package", "termgate_msi_stand_in"],
                   check=True, stdout=subprocess.DEVNULL)
    with zipfile.ZipFile(tree / options.package) as archive:
        package = {name: archive.read(name) for name in PROGRAM}

    sys.path.insert(0, str(Path(options.source) / "wizard" / "e2e"))
    from driver.wine import Prefix, Unsupported
    try:
        # display "": an Xvfb of its own, so the run needs no display and disturbs none.
        prefix = Prefix.create(options.state, "x64", display="")
    except Unsupported as reason:
        print(f"skipped: {reason}")
        return SKIPPED
    machine = Machine(prefix, package)
    try:
        shutil.copy2(options.schtasks, prefix.drive_c / "windows" / "syswow64" / "schtasks.exe")
        with tempfile.TemporaryDirectory() as folder:
            newer = make_newer(options, folder)
            for name, scenario in SCENARIOS.items():
                before = len(failures)
                machine.forget_calls()
                scenario(machine, tree / options.msi, options.version, newer)
                machine.clean()
                print(f"{'ok    ' if len(failures) == before else 'FAILED'} {name}")
                failures[before:] = [f"{name}: {failure}" for failure in failures[before:]]
    finally:
        prefix.destroy()
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
