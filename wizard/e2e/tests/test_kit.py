"""The deployer's kit from the zip, on Wine, which runs HKLM RunOnce entries when a session
starts as Windows does at a logon: install.cmd puts the files in place and the value in RunOnce,
the next session starts Termgate once and the value is gone, uninstall.cmd removes what
install.cmd added; a kit that is not elevated or lacks a file changes nothing. And the signed
exe that package.signed makes runs as the unsigned one does."""

import shutil
import subprocess
import zipfile

import pytest

from driver.waiting import wait_until
from driver.wine import Prefix, Unsupported, pe_arch

RUNONCE = r"HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce"
INSTALLED = ("Program Files (x86)", "Kelvarn", "Termgate")
PROGRAM = ("Termgate.exe", "index.html", "toolbar.html")
LANG_INI = b"DE\r\n"


@pytest.fixture(scope="module")
def package(tree):
    """The zip as `cmake --build TREE --target package` makes it: {name: bytes}."""
    subprocess.run(["cmake", "--build", tree.path, "--target", "package"], check=True,
                   stdout=subprocess.DEVNULL)
    (zip_file,) = tree.path.glob("Termgate-*-win*.zip")
    with zipfile.ZipFile(zip_file) as archive:
        return {info.filename: archive.read(info) for info in archive.infolist()}


@pytest.fixture(scope="module")
def fresh(tree):
    """A Wine prefix of its own, as a new computer is, and its display."""
    try:
        prefix = Prefix.create(tree.path / "e2e-kit" / "session.json", pe_arch(tree.termgate))
    except Unsupported as reason:
        pytest.skip(str(reason))
    yield prefix
    prefix.destroy()


@pytest.fixture
def kit(fresh, package):
    """The zip unpacked into C:\\kit of the fresh prefix, and a Lang.ini the maker's software
    left; both are gone again after the test."""
    folder = fresh.drive_c / "kit"
    folder.mkdir()
    for name, data in package.items():
        (folder / name).write_bytes(data)
    lang = fresh.drive_c / "Kelvarn" / "Q-Harbor" / "Lang.ini"
    lang.parent.mkdir(parents=True)
    lang.write_bytes(LANG_INI)
    yield folder
    shutil.rmtree(folder)
    shutil.rmtree(fresh.drive_c / "Kelvarn", ignore_errors=True)
    shutil.rmtree(fresh.drive_c.joinpath(*INSTALLED), ignore_errors=True)


def script(prefix, name):
    """Runs C:\\kit\\NAME as an administrator does; returns its status and its lines."""
    code, output = prefix.run("cmd", ["/c", f"C:\\kit\\{name}"])
    return code, output.strip().splitlines()


def installed(prefix):
    folder = prefix.drive_c.joinpath(*INSTALLED)
    return {name: (folder / name).read_bytes() for name in PROGRAM if (folder / name).exists()}


def test_install_starts_termgate_once_at_the_next_logon_and_uninstall_removes_it(
        fresh, kit, package, tree, screenshots):
    code, lines = script(fresh, "install.cmd")
    assert (code, len(lines)) == (0, 1) and lines[0].startswith("install.cmd: "), lines
    assert installed(fresh) == {name: package[name] for name in PROGRAM}
    exe = "C:\\" + "\\".join(INSTALLED) + "\\Termgate.exe"
    assert fresh.reg_query(RUNONCE, "Termgate") == f'"{exe}"'

    fresh.next_session()
    # The session's first program waits until the RunOnce entries have run: Termgate is watched
    # from outside the prefix, by its process and by the screen.
    session = fresh.start(tree.desktop_keeper)
    try:
        running = wait_until(lambda: fresh.running_programs(("termgate.exe",)),
                             "Termgate.exe to start at the session's start")
        assert exe.lower() in running[0].lower(), running
        width, height = fresh.screen()
        wait_until(lambda: fresh.pixel(width // 2, height // 2) == "#FFFFFF",
                   "the welcome window in the middle of the screen")
        fresh.screenshot(screenshots / "kit-welcome-at-logon.png")
        fresh.stop_programs(("termgate.exe",))
        assert fresh.reg_query(RUNONCE, "Termgate") is None, "the value is still there"
    finally:
        session.kill()

    code, lines = script(fresh, "uninstall.cmd")
    assert (code, len(lines)) == (0, 1), lines
    assert not fresh.drive_c.joinpath(*INSTALLED).exists()
    assert (fresh.drive_c / "Kelvarn" / "Q-Harbor" / "Lang.ini").read_bytes() == LANG_INI

    # A value that has not run yet goes too.
    assert script(fresh, "install.cmd")[0] == 0
    assert script(fresh, "uninstall.cmd")[0] == 0
    assert fresh.reg_query(RUNONCE, "Termgate") is None
    assert not fresh.drive_c.joinpath(*INSTALLED).exists()


def not_elevated(prefix, tree, kit):
    shutil.copy2(tree.e2e / "refusing" / "fltmc.exe",
                 prefix.drive_c / "windows" / "system32" / "fltmc.exe")


def a_file_missing(prefix, tree, kit):
    (kit / "index.html").unlink()


@pytest.mark.parametrize("refusal, status", [(not_elevated, 1), (a_file_missing, 2)],
                         ids=["not elevated", "a file missing"])
def test_install_refuses_and_changes_nothing(fresh, kit, tree, refusal, status):
    refusal(fresh, tree, kit)
    try:
        code, lines = script(fresh, "install.cmd")
    finally:
        (fresh.drive_c / "windows" / "system32" / "fltmc.exe").unlink(missing_ok=True)
    assert (code, len(lines)) == (status, 1) and lines[0].startswith("install.cmd: "), lines
    assert installed(fresh) == {}
    assert fresh.reg_query(RUNONCE, "Termgate") is None
    assert (fresh.drive_c / "Kelvarn" / "Q-Harbor" / "Lang.ini").read_bytes() == LANG_INI


def test_the_signed_exe_runs(start, tree):
    signed = tree.path / "packaging" / "signed" / "Termgate.exe"
    if not signed.exists():
        pytest.skip("no signed exe: the package.signed test makes it in packaging/signed")
    run = start(exe=signed)
    run.welcome()
    run.next()
    assert run.accept_to_the_end() == 0
