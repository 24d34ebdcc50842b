"""The deployer's kit from the zip, on Wine. install.cmd checks every file against SHA256SUMS.txt,
puts the files in place, registers the event log source and, by default, the scheduled task that
starts Termgate once, elevated, at an administrator's logon, on a 64-bit and on a 32-bit layout;
/runonce registers the RunOnce value instead, which Wine runs when a session starts, as Windows
does at a logon. uninstall.cmd removes what install.cmd added. A kit that is not elevated, lacks a
file or holds a damaged one changes nothing. And the signed exe that package.signed makes runs as
the unsigned one does.

Wine's certutil cannot hash and its schtasks keeps no task and runs none: stand-ins planted in the
system folder hash with Windows' CNG and keep the task they are given, and a third starts the
task's action as Task Scheduler would."""

import shutil
import subprocess
import xml.etree.ElementTree as ElementTree
import zipfile

import pytest

from driver.waiting import wait_until
from driver.window_spy import WindowSpy
from driver.wine import Prefix, Unsupported, pe_arch

RUNONCE = r"HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce"
EVENT_SOURCE = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Termgate"
PROGRAM = ("Termgate.exe", "index.html", "toolbar.html")
LANG_INI = b"DE\r\n"
STAND_INS = ("certutil.exe", "schtasks.exe")
# The 32-bit Program Files folder of each Windows, and what makes a 64-bit Wine look like the
# other: a 32-bit Windows has no ProgramFiles(x86).
LAYOUTS = {"64-bit Windows": ("Program Files (x86)", None),
           "32-bit Windows": ("Program Files", "ProgramFiles(x86)")}
TASK = "{http://schemas.microsoft.com/windows/2004/02/mit/task}"


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
    """A Wine prefix of its own, as a new computer is, with the stand-ins in its system folder."""
    try:
        prefix = Prefix.create(tree.path / "e2e-kit" / "session.json", pe_arch(tree.termgate))
    except Unsupported as reason:
        pytest.skip(str(reason))
    for name in STAND_INS:
        shutil.copy2(tree.e2e / "stand-ins" / name, prefix.drive_c / "windows" / "system32")
    yield prefix
    prefix.destroy()


# Where the zip is unpacked: a name with blanks and parentheses, as "Program Files (x86)" has.
KIT = "Termgate kit (1.00)"


@pytest.fixture
def kit(fresh, package):
    """The zip unpacked into C:\\Termgate kit (1.00) of the fresh prefix, and a Lang.ini the
    maker's software left; both are gone again after the test, with what the kit and the
    stand-ins left."""
    folder = fresh.drive_c / KIT
    folder.mkdir()
    for name, data in package.items():
        (folder / name).write_bytes(data)
    lang = fresh.drive_c / "Kelvarn" / "Q-Harbor" / "Lang.ini"
    lang.parent.mkdir(parents=True)
    lang.write_bytes(LANG_INI)
    yield folder
    for left in [folder, fresh.drive_c / "Kelvarn", fresh.drive_c / "schtasks",
                 *(fresh.drive_c / program_files / "Kelvarn" for program_files, _ in
                   LAYOUTS.values())]:
        shutil.rmtree(left, ignore_errors=True)
    for key, name in ((RUNONCE, "Termgate"), (EVENT_SOURCE, None)):
        fresh.run("reg", ["delete", key, *(["/v", name] if name else []), "/f"])


def command(prefix, tree, line, unset=None):
    """Runs a command line as a Windows program starts it (CreateProcess parses it), without
    `unset` in its environment, and waits for it; returns its status and its output's lines."""
    (prefix.drive_c / "command.txt").write_text(line, encoding="utf-8")
    code, output = prefix.run(tree.e2e / "stand-ins" / "task_action.exe",
                              ["C:\\command.txt", *([unset] if unset else [])], native=STAND_INS)
    return code, output.strip().splitlines()


def script(prefix, tree, name, *args, unset=None):
    """Runs the kit's script NAME as an administrator or a management tool does: elevated, from
    another folder."""
    return command(prefix, tree, f'cmd.exe /d /c "cd /d C:\\windows\\system32 && '
                                 f'"C:\\{KIT}\\{name}" {" ".join(args)}"', unset)


def installed(prefix, program_files="Program Files (x86)"):
    folder = prefix.drive_c / program_files / "Kelvarn" / "Termgate"
    return {name: (folder / name).read_bytes() for name in PROGRAM if (folder / name).exists()}


def schtasks_calls(prefix):
    """What the kit asked of schtasks, each call's arguments as one line."""
    calls = prefix.drive_c / "schtasks" / "calls.txt"
    lines = calls.read_bytes().decode("utf-16-le").splitlines() if calls.exists() else []
    return [line.split(".exe", 1)[1].strip(' "') for line in lines]


def registered_task(prefix):
    task = prefix.drive_c / "schtasks" / "Termgate.xml"
    return task.read_bytes() if task.exists() else None


def check_task_definition(xml):
    """The task as it must be, written out here: at the logon of any member of Administrators, by
    its SID; elevated; cmd.exe of the system folder as its one action."""
    task = ElementTree.fromstring(xml)
    (trigger,) = task.find(f"{TASK}Triggers")
    assert trigger.tag == f"{TASK}LogonTrigger" and trigger.find(f"{TASK}UserId") is None
    assert trigger.findtext(f"{TASK}Enabled") == "true"
    (principal,) = task.find(f"{TASK}Principals")
    assert (principal.findtext(f"{TASK}GroupId"), principal.findtext(f"{TASK}RunLevel"),
            principal.find(f"{TASK}UserId")) == ("S-1-5-32-544", "HighestAvailable", None)
    actions = task.find(f"{TASK}Actions")
    assert actions.get("Context") == principal.get("id")
    (action,) = actions
    assert action.findtext(f"{TASK}Command") == r"%SystemRoot%\System32\cmd.exe"
    return f'{action.findtext(f"{TASK}Command")} {action.findtext(f"{TASK}Arguments")}'


@pytest.mark.parametrize("layout", LAYOUTS)
def test_install_registers_the_elevated_task_that_starts_termgate_once(fresh, kit, package, tree,
                                                                        layout):
    program_files, unset = LAYOUTS[layout]
    exe = f"C:\\{program_files}\\Kelvarn\\Termgate\\Termgate.exe"
    code, lines = script(fresh, tree, "install.cmd", unset=unset)
    assert (code, len(lines)) == (0, 1) and lines[0].startswith("install.cmd: "), lines
    assert installed(fresh, program_files) == {name: package[name] for name in PROGRAM}
    assert (fresh.reg_query(EVENT_SOURCE, "EventMessageFile"),
            fresh.reg_query(EVENT_SOURCE, "TypesSupported")) == (exe, "0x7")
    assert fresh.reg_query(RUNONCE, "Termgate") is None
    assert schtasks_calls(fresh) == [
        f'/create /tn Termgate /xml "C:\\{KIT}\\Termgate-task.xml" /f']
    assert registered_task(fresh) == package["Termgate-task.xml"]
    action = check_task_definition(registered_task(fresh))

    # An administrator logs on: Task Scheduler starts the action, which starts Termgate from the
    # folder install.cmd used, waits for it, and then deletes the task.
    (fresh.drive_c / "action.txt").write_text(action, encoding="utf-8")
    started = fresh.start(tree.e2e / "stand-ins" / "task_action.exe",
                          ["C:\\action.txt", *([unset] if unset else [])], native=STAND_INS)
    spy = WindowSpy(fresh, tree.window_spy)
    try:
        welcome = spy.wait("Form2", "visible")
        assert welcome["image"].lower() == exe.lower()
        assert registered_task(fresh) is not None, "the task went before Termgate ended"
        spy.must("terminate", welcome["pid"])
        assert started.wait(timeout=60) == 0
    finally:
        spy.close()
    assert schtasks_calls(fresh)[1:] == ["/delete /tn Termgate /f"]
    assert registered_task(fresh) is None

    code, lines = script(fresh, tree, "uninstall.cmd", unset=unset)
    assert (code, len(lines)) == (0, 1), lines
    assert not fresh.drive_c.joinpath(program_files, "Kelvarn").exists()
    assert fresh.reg_query(EVENT_SOURCE, "EventMessageFile") is None
    assert (fresh.drive_c / "Kelvarn" / "Q-Harbor" / "Lang.ini").read_bytes() == LANG_INI


def test_install_runonce_starts_termgate_once_at_the_next_logon_and_uninstall_removes_it(
        fresh, kit, package, tree, screenshots):
    code, lines = script(fresh, tree, "install.cmd", "/runonce")
    assert (code, len(lines)) == (0, 1) and lines[0].startswith("install.cmd: "), lines
    assert installed(fresh) == {name: package[name] for name in PROGRAM}
    exe = r"C:\Program Files (x86)\Kelvarn\Termgate\Termgate.exe"
    assert fresh.reg_query(RUNONCE, "Termgate") == f'"{exe}"'
    assert registered_task(fresh) is None

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

    code, lines = script(fresh, tree, "uninstall.cmd")
    assert (code, len(lines)) == (0, 1), lines
    assert not fresh.drive_c.joinpath("Program Files (x86)", "Kelvarn").exists()

    # A value that has not run yet goes too, and so does a task: each way removes the other.
    assert script(fresh, tree, "install.cmd", "/runonce")[0] == 0
    assert script(fresh, tree, "install.cmd")[0] == 0
    assert fresh.reg_query(RUNONCE, "Termgate") is None and registered_task(fresh) is not None
    assert script(fresh, tree, "install.cmd", "/runonce")[0] == 0
    assert registered_task(fresh) is None
    assert script(fresh, tree, "uninstall.cmd")[0] == 0
    assert fresh.reg_query(RUNONCE, "Termgate") is None and registered_task(fresh) is None
    assert not fresh.drive_c.joinpath("Program Files (x86)", "Kelvarn").exists()


def test_install_once_changes_nothing_once_installed(fresh, kit, tree):
    """As a computer startup script that runs at every start: the first start installs, the next
    ones change nothing, also once the task has run and deleted itself."""
    assert script(fresh, tree, "install.cmd", "/once")[0] == 0
    (fresh.drive_c / "schtasks" / "Termgate.xml").unlink()  # the task ran
    code, lines = script(fresh, tree, "install.cmd", "/once")
    assert (code, len(lines)) == (0, 1) and "nothing was changed (/once)" in lines[0], lines
    assert len(schtasks_calls(fresh)) == 1 and registered_task(fresh) is None
    assert script(fresh, tree, "uninstall.cmd")[0] == 0


def test_the_guides_command_writes_the_language_code_exactly(fresh, kit, package, tree):
    guide = package["DEPLOYMENT.txt"].decode("ascii").split("\r\n")
    start = guide.index("To write the file from an elevated Command Prompt, exactly the code and a")
    commands = [line.strip() for line in guide[start + 3:start + 5]]
    shutil.rmtree(fresh.drive_c / "Kelvarn")
    assert command(fresh, tree, f'cmd.exe /d /c "{" & ".join(commands)}"')[0] == 0
    assert (fresh.drive_c / "Kelvarn" / "Q-Harbor" / "Lang.ini").read_bytes() == b"DE\r\n"


def not_elevated(prefix, tree, kit):
    shutil.copy2(tree.e2e / "refusing" / "fltmc.exe",
                 prefix.drive_c / "windows" / "system32" / "fltmc.exe")


def a_file_missing(prefix, tree, kit):
    (kit / "index.html").unlink()


def a_truncated_exe(prefix, tree, kit):
    exe = kit / "Termgate.exe"
    exe.write_bytes(exe.read_bytes()[:4096])


def a_wrong_sum(prefix, tree, kit):
    sums = kit / "SHA256SUMS.txt"
    lines = sums.read_bytes().split(b"\r\n")
    sums.write_bytes(b"\r\n".join(b"0" * 64 + line[64:] if line.endswith(b"  toolbar.html") else
                                  line for line in lines))


REFUSALS = {
    "not elevated": (not_elevated, (), 1, "run it as an administrator"),
    "a file missing": (a_file_missing, (), 2, "index.html is not beside install.cmd"),
    "a truncated exe": (a_truncated_exe, (), 2, "Termgate.exe does not match its SHA-256 sum"),
    "a wrong sum": (a_wrong_sum, (), 2, "toolbar.html does not match its SHA-256 sum"),
    "an unknown argument": (lambda prefix, tree, kit: None, ("/quiet",), 5,
                            'unknown argument "/quiet"'),
}


@pytest.mark.parametrize("refusal", REFUSALS)
def test_install_refuses_and_changes_nothing(fresh, kit, tree, refusal):
    spoil, args, status, says = REFUSALS[refusal]
    spoil(fresh, tree, kit)
    try:
        code, lines = script(fresh, tree, "install.cmd", *args)
    finally:
        (fresh.drive_c / "windows" / "system32" / "fltmc.exe").unlink(missing_ok=True)
    assert (code, len(lines)) == (status, 1) and says in lines[0], lines
    assert installed(fresh) == {}
    assert fresh.reg_query(RUNONCE, "Termgate") is None
    assert fresh.reg_query(EVENT_SOURCE, "EventMessageFile") is None
    assert schtasks_calls(fresh) == []
    assert (fresh.drive_c / "Kelvarn" / "Q-Harbor" / "Lang.ini").read_bytes() == LANG_INI


def test_the_signed_exe_runs(start, tree):
    signed = tree.path / "packaging" / "signed" / "Termgate.exe"
    if not signed.exists():
        pytest.skip("no signed exe: the package.signed test makes it in packaging/signed")
    run = start(exe=signed)
    run.welcome()
    run.next()
    assert run.accept_to_the_end() == 0
