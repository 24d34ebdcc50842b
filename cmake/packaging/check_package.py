#!/usr/bin/env python3
"""Builds a build tree's package and checks what it holds.

  check_package.py zip --tree DIR --package NAME.zip --pages DIR [--signed]
      Termgate's zip: exactly the shipped files, none empty, a 32-bit GUI exe, unsigned unless
      --signed, the pages as in the source tree, CR LF text files, a guide that names every
      language code, and true SHA-256 sums.
  check_package.py msi --tree DIR --package NAME.zip --msi NAME.msi --version V --source DIR
                       [--signed]
      Termgate's MSI, read with msitools: per machine, the zip's program files in
      ProgramFilesFolder\Kelvarn\Termgate, the event log source, the custom actions that
      register and delete the scheduled task and when they run, the upgrade of older versions,
      the commit's time, and a signature only when --signed.
  check_package.py deb --tree DIR --version V
      mouseprobe's Debian package: its files, control fields, a stripped program, and lintian
      reporting nothing at all, down to its pedantic and experimental tags.
  check_package.py deb-install --tree DIR --version V
      Installs the package with apt-get (as root; exit 77 otherwise), runs the installed
      program, finds its man page, and removes the package again.
  check_package.py reproducible --tree DIR --package GLOB [--msi NAME.msi] --compare PATH
                                --rebuild DIR --source DIR --configure CONFIGURE-ARGUMENTS...
      Makes the tree's package, then configures a second tree from scratch in the folder
      --rebuild with CONFIGURE-ARGUMENTS, makes its package, and wants the two packages (and
      MSIs), and the staged file PATH, byte for byte the same; diffoscope shows where two differ.
  check_package.py signed --tree DIR --package NAME.zip [--msi NAME.msi] --unpack DIR
                          --openssl PATH --osslsigncode PATH
      Makes a throwaway code-signing certificate, configures the (built) tree to sign with it,
      makes the zip, and wants an exe that osslsigncode verifies against that certificate, with
      its true sum in SHA256SUMS.txt; and an MSI that it verifies too, holding that signed exe.
      The signed zip's files are left unpacked in --unpack.
"""
import argparse
import gzip
import hashlib
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile
from pathlib import Path

# What Windows' own programs read: cmd, schtasks, and people in Notepad.
CRLF_FILES = {"DEPLOYMENT.txt", "install.cmd", "uninstall.cmd", "Termgate-task.xml",
              "SHA256SUMS.txt"}
ZIP_FILES = CRLF_FILES | {"Termgate.exe", "index.html", "toolbar.html"}
# The MSI's program files, which it must hold with the zip's bytes: the task's definition beside
# the program, for schtasks to read.
MSI_FILES = ("Termgate.exe", "index.html", "toolbar.html", "Termgate-task.xml")
# The product's for good: no later build may change it, or an upgrade would not find the version
# it replaces.
MSI_UPGRADE_CODE = "{5437A62A-E22B-4BE6-AD8B-FA6A19FDF43C}"
EVENT_SOURCE_KEY = r"SYSTEM\CurrentControlSet\Services\EventLog\Application\Termgate"
GUID = re.compile(r"\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}")
# Custom action types: an exe named by a property, in the installation script, not impersonated
# (so as LocalSystem), and with its exit status ignored; a property set from formatted text.
EXE_FROM_PROPERTY, SET_PROPERTY = 50, 51
IN_SCRIPT, NO_IMPERSONATE, IGNORE_STATUS = 0x400, 0x800, 0x40
# Upgrade table attributes.
ONLY_DETECT, VERSION_MIN_INCLUSIVE, VERSION_MAX_INCLUSIVE = 0x2, 0x100, 0x200
DEB_FILES = {"./usr/bin/mouseprobe", "./usr/share/man/man1/mouseprobe.1.gz",
             "./usr/share/doc/mouseprobe/copyright", "./usr/share/doc/mouseprobe/changelog.gz"}
APT = ["apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=120"]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, **options).stdout


def build_package(tree):
    subprocess.run(["cmake", "--build", tree, "--target", "package"], check=True,
                   stdout=subprocess.DEVNULL)


def pe_header(exe):
    """(machine, optional header magic, subsystem, size of the Authenticode signature) of a PE
    file."""
    (pe,) = struct.unpack_from("<I", exe, 0x3C)
    check(exe[:2] == b"MZ" and exe[pe:pe + 4] == b"PE\0\0", "Termgate.exe is no PE file")
    (machine,) = struct.unpack_from("<H", exe, pe + 4)
    (magic,) = struct.unpack_from("<H", exe, pe + 24)
    (subsystem,) = struct.unpack_from("<H", exe, pe + 24 + 68)
    # The certificate table is the fifth data directory, after 96 bytes of a PE32 optional header
    # and 112 of a PE32+ one.
    directories = pe + 24 + (112 if magic == 0x20B else 96)
    (signature,) = struct.unpack_from("<I", exe, directories + 4 * 8 + 4)
    return machine, magic, subsystem, signature


def read_zip(path):
    with zipfile.ZipFile(path) as archive:
        return {info.filename: archive.read(info) for info in archive.infolist()}


def check_sums(files):
    sums = files.get("SHA256SUMS.txt", b"").decode()
    lines = [line.split("  ", 1) for line in sums.split("\r\n") if line]
    listed = {name: digest for digest, name in lines}
    check(set(listed) == ZIP_FILES - {"SHA256SUMS.txt"}, f"SHA256SUMS.txt lists {sorted(listed)}")
    for name, digest in listed.items():
        check(hashlib.sha256(files.get(name, b"")).hexdigest() == digest,
              f"SHA256SUMS.txt has a wrong sum for {name}")


def check_zip(options):
    package = Path(options.tree) / options.package
    package.unlink(missing_ok=True)
    build_package(options.tree)
    files = read_zip(package)
    check(set(files) == ZIP_FILES, f"the zip holds {sorted(files)}")
    for name, data in files.items():
        check(data, f"{name} is empty")
    exe = files.get("Termgate.exe", b"")
    if exe:
        # i386, PE32 (not PE32+), Windows GUI subsystem; a signature only when one was asked for.
        machine, magic, subsystem, signature = pe_header(exe)
        check((machine, magic, subsystem) == (0x14C, 0x10B, 2),
              "Termgate.exe is not a 32-bit GUI program: machine, magic, subsystem = "
              f"{machine:#x}, {magic:#x}, {subsystem}")
        check(bool(signature) == options.signed,
              f"Termgate.exe is {'' if signature else 'not '}signed, and was "
              f"{'' if options.signed else 'not '}to be")
    for page in ("index.html", "toolbar.html"):
        check(files.get(page) == (Path(options.pages) / page).read_bytes(),
              f"{page} differs from the source tree's")
    for name in sorted(CRLF_FILES):
        text = files.get(name, b"")
        check(text.endswith(b"\r\n") and not re.search(rb"\r(?!\n)|(?<!\r)\n", text),
              f"the lines of {name} do not all end in CR LF")
    # The guide's table of codes is the wizard's own list, as termgate-trace describes it.
    guide = files.get("DEPLOYMENT.txt", b"").decode("ascii", errors="replace")
    listed = {pair for line in guide.split("\r\n") if line.startswith("  ")
              for pair in re.findall(r"\b([A-Z]{2})  ([A-Z][a-z]+)\b", line)}
    described = json.loads(run(options.trace, "--describe"))["codes"]
    known = {(code["code"], code["language"]) for code in described}
    check(listed == known, f"the guide lists the codes {sorted(listed)}, the wizard knows "
          f"{sorted(known)}")
    check_sums(files)


def msi_table(msi, name):
    """The rows of one of the MSI's tables, each {column: text}, as msiinfo exports them."""
    lines = run("msiinfo", "export", msi, name).splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def folder_path(directories, folder):
    """The folder's path, as names below the standard folder it starts from."""
    row = directories[folder]
    # DefaultDir: "short|long" or one name, either optionally followed by ":source"; "." is the
    # parent itself. A standard folder (ProgramFilesFolder) stands for itself.
    name = row["DefaultDir"].split(":")[0].split("|")[-1]
    if row["Directory_Parent"] in ("", "TARGETDIR"):
        return (folder,)
    parent = folder_path(directories, row["Directory_Parent"])
    return parent if name == "." else parent + (name,)


def check_msi_files(msi, files):
    """The MSI's files, and the folder each installs into, as its tables say; and their bytes,
    which msiextract unpacks, against the zip's."""
    components = {row["Component"]: row for row in msi_table(msi, "Component")}
    directories = {row["Directory"]: row for row in msi_table(msi, "Directory")}
    listed = {row["FileName"].split("|")[-1]: row for row in msi_table(msi, "File")}
    check(set(listed) == set(MSI_FILES), f"the MSI holds the files {sorted(listed)}")
    for name, row in listed.items():
        component = components.get(row["Component_"], {})
        where = folder_path(directories, component.get("Directory_", "TARGETDIR"))
        check(where == ("ProgramFilesFolder", "Kelvarn", "Termgate"),
              f"the MSI installs {name} into {where}")
        # A 32-bit component: its files go where a 32-bit program's do on 64-bit Windows.
        check(int(component.get("Attributes", 0)) & 0x100 == 0, f"{name} is a 64-bit component")
        check(component.get("KeyPath") == row["File"], f"{name} is not its component's key path")
    with tempfile.TemporaryDirectory() as folder:
        run("msiextract", "--directory", folder, msi)
        extracted = Path(folder) / "Program Files" / "Kelvarn" / "Termgate"
        for name in MSI_FILES:
            path = extracted / name
            check(path.exists() and path.read_bytes() == files.get(name),
                  f"the MSI's {name} differs from the zip's")
    return listed, components, directories


def check_msi(options):
    tree = Path(options.tree)
    msi = tree / options.msi
    msi.unlink(missing_ok=True)
    build_package(tree)
    files = read_zip(tree / options.package)
    properties = {row["Property"]: row["Value"] for row in msi_table(msi, "Property")}
    for name, wanted in (("ProductName", "Termgate"), ("Manufacturer", "Kelvarn Inc"),
                         ("ProductVersion", options.version), ("ALLUSERS", "1"),
                         ("UpgradeCode", MSI_UPGRADE_CODE)):
        check(properties.get(name) == wanted, f"the MSI's {name} is {properties.get(name)!r}")
    check(GUID.fullmatch(properties.get("ProductCode", "")),
          f"the MSI's ProductCode is {properties.get('ProductCode')!r}")

    # A 32-bit package, per machine: the template names Intel, and the word count does not have
    # the bit that lets a standard user install without elevation.
    summary = {int(row["PropertyId"]): row["Value"]
               for row in msi_table(msi, "_SummaryInformation")}
    check(summary.get(7, "").startswith("Intel;"), f"the MSI's template is {summary.get(7)!r}")
    check(int(summary.get(15, 8)) & 8 == 0, "the MSI installs without elevation")
    check(GUID.fullmatch(summary.get(9, "")), f"the MSI's package code is {summary.get(9)!r}")
    # The commit's time, unless the build was given another.
    epoch = os.environ.get("SOURCE_DATE_EPOCH") or run("git", "-C", options.source, "log", "-1",
                                                       "--format=%ct")
    committed = time.strftime("%Y/%m/%d %H:%M:%S", time.gmtime(int(epoch)))
    check((summary.get(12), summary.get(13)) == (committed, committed),
          f"the MSI was made at {summary.get(12)}, saved at {summary.get(13)}, not at the "
          f"commit's time {committed}")
    streams = run("msiinfo", "streams", msi).split()
    check(("\x05DigitalSignature" in streams) == options.signed,
          f"the MSI is {'' if options.signed else 'not '}to be signed; its streams: {streams}")

    listed, components, directories = check_msi_files(msi, files)
    # Every component in the one feature, which is installed by default.
    features = msi_table(msi, "Feature")
    check(len(features) == 1 and features[0]["Level"] == "1", f"the MSI's features: {features}")
    featured = {row["Component_"] for row in msi_table(msi, "FeatureComponents")}
    check(featured == set(components), f"components outside the feature: "
          f"{sorted(set(components) - featured)}")

    # The event log source, as install.cmd registers it, and the whole key deleted on removal.
    program_folder = components.get(listed.get("Termgate.exe", {}).get("Component_"), {}).get(
        "Directory_")
    registry = {(row["Root"], row["Key"], row["Name"], row["Value"])
                for row in msi_table(msi, "Registry")}
    wanted = {("2", EVENT_SOURCE_KEY, "EventMessageFile", f"#%[{program_folder}]Termgate.exe"),
              ("2", EVENT_SOURCE_KEY, "TypesSupported", "#7"),
              ("2", EVENT_SOURCE_KEY, "-", "")}
    check(registry == wanted, f"the MSI's registry rows: {sorted(registry)}")
    # Kelvarn is made, and so removed when empty.
    made = {row["Directory_"] for row in msi_table(msi, "CreateFolder")}
    kelvarn = {folder for folder in directories
               if folder_path(directories, folder) == ("ProgramFilesFolder", "Kelvarn")}
    check(made == kelvarn, f"the MSI makes the folders {made}, not Kelvarn {kelvarn}")

    check_msi_actions(msi, listed)
    check_msi_upgrade(msi, properties)


def check_msi_actions(msi, listed):
    """The scheduled task: registered by Windows' schtasks from the installed definition, in
    the installation script as LocalSystem, once the file is there, on a first install only;
    deleted on removal, a failure ignored."""
    sequence = {row["Action"]: row for row in msi_table(msi, "InstallExecuteSequence")}
    actions = {row["Action"]: row for row in msi_table(msi, "CustomAction")}

    def position(action):
        return int(sequence.get(action, {}).get("Sequence", -1))

    setters = [name for name, row in actions.items() if int(row["Type"]) == SET_PROPERTY
               and row["Target"] == "[SystemFolder]schtasks.exe"]
    check(len(setters) == 1, f"no one action names [SystemFolder]schtasks.exe: {actions}")
    program = actions[setters[0]]["Source"] if setters else None
    # Private (a name with a lower-case letter): a command line changes only public ones.
    check(program and program != program.upper(), f"schtasks' property {program} is public")
    deferred = EXE_FROM_PROPERTY | IN_SCRIPT | NO_IMPERSONATE
    task_file = listed.get("Termgate-task.xml", {}).get("File")
    wanted = {
        f'/create /tn Termgate /xml "[#{task_file}]" /f':
            (deferred, "NOT Installed", "InstallFiles", "InstallFinalize"),
        "/delete /tn Termgate /f":
            (deferred | IGNORE_STATUS, 'REMOVE~="ALL"', "InstallInitialize", "InstallFinalize"),
    }
    commands = {row["Target"]: name for name, row in actions.items() if name not in setters}
    check(set(commands) == set(wanted), f"the MSI's commands: {sorted(commands)}")
    for target, (kind, condition, after, before) in wanted.items():
        name = commands.get(target)
        if not name:
            continue
        row = actions[name]
        check((int(row["Type"]), row["Source"]) == (kind, program),
              f"{name}: type {row['Type']}, program {row['Source']}, not {kind}, {program}")
        check(sequence.get(name, {}).get("Condition") == condition,
              f"{name} runs on {sequence.get(name, {}).get('Condition')!r}, not {condition!r}")
        check(position(setters[0] if setters else "") < position(after) < position(name)
              < position(before), f"{name} is not between {after} and {before} (after "
              f"{setters}): {position(after)}, {position(name)}, {position(before)}")


def check_msi_upgrade(msi, properties):
    """A newer version removes every older one whole before it installs, and an older one does
    not install over a newer."""
    sequence = {row["Action"]: int(row["Sequence"])
                for row in msi_table(msi, "InstallExecuteSequence")}
    upgrade = msi_table(msi, "Upgrade")
    check({row["UpgradeCode"] for row in upgrade} == {MSI_UPGRADE_CODE},
          f"the MSI looks for other products: {upgrade}")
    version = properties.get("ProductVersion")
    older = [row for row in upgrade if row["VersionMin"] == "" and row["VersionMax"] == version
             and not int(row["Attributes"]) & (ONLY_DETECT | VERSION_MAX_INCLUSIVE)]
    newer = [row for row in upgrade if row["VersionMin"] == version and row["VersionMax"] == ""
             and int(row["Attributes"]) & ONLY_DETECT
             and not int(row["Attributes"]) & VERSION_MIN_INCLUSIVE]
    check(len(older) == 1 and len(newer) == 1, f"the MSI's upgrade rows: {upgrade}")
    secure = properties.get("SecureCustomProperties", "").split(";")
    for row in older + newer:
        check(row["ActionProperty"] in secure, f"{row['ActionProperty']} is not secure")
    conditions = [row["Condition"] for row in msi_table(msi, "LaunchCondition")]
    if newer:
        check(f"NOT {newer[0]['ActionProperty']}" in conditions,
              f"a newer version does not stop the install: {conditions}")
    check(sequence.get("FindRelatedProducts", 10**6) < sequence.get("LaunchConditions", -1),
          "FindRelatedProducts does not run before LaunchConditions: "
          f"{sequence.get('FindRelatedProducts')}, {sequence.get('LaunchConditions')}")
    check(sequence.get("InstallValidate", 10**6) < sequence.get("RemoveExistingProducts", -1)
          < sequence.get("InstallInitialize", -1),
          "the older version is not removed whole before the install")


def find_deb(options):
    debs = list(Path(options.tree).glob(f"mouseprobe_{options.version}_*.deb"))
    check(len(debs) == 1, f"expected one mouseprobe_{options.version}_*.deb, found {debs}")
    return debs[0] if debs else None


def check_deb(options):
    for old in Path(options.tree).glob("mouseprobe_*.deb"):
        old.unlink()
    build_package(options.tree)
    deb = find_deb(options)
    if not deb:
        return
    fields = {name: run("dpkg-deb", "-f", deb, name).strip()
              for name in ("Package", "Version", "Depends", "Description")}
    check(fields["Package"] == "mouseprobe", f"Package: {fields['Package']}")
    check(fields["Version"] == options.version, f"Version: {fields['Version']}")
    check(re.search(r"(^|, )libgpm2\b", fields["Depends"]), f"Depends: {fields['Depends']}")
    check(len(fields["Description"].splitlines()) > 1, "the description has no long text")

    data = io.BytesIO(subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], check=True,
                                     capture_output=True).stdout)
    with tarfile.open(fileobj=data) as tree:
        files = {member.name: member for member in tree.getmembers() if member.isfile()}
        check(set(files) == DEB_FILES, f"the package holds {sorted(files)}")
        for name, member in files.items():
            check(member.size > 0, f"{name} is empty")
        if "./usr/bin/mouseprobe" in files:
            program = tree.extractfile(files["./usr/bin/mouseprobe"]).read()
            # Symbol and debug sections are named in the section header string table.
            check(b".symtab" not in program and b".debug_info" not in program,
                  "usr/bin/mouseprobe is not stripped")
        if "./usr/share/man/man1/mouseprobe.1.gz" in files:
            page = gzip.decompress(tree.extractfile(files["./usr/share/man/man1/mouseprobe.1.gz"])
                                   .read())
            check(page.startswith(b".TH MOUSEPROBE 1"), "the man page is not mouseprobe(1)")

    # Every level of tag that reports a fault, pedantic and experimental ones included; not the
    # classification tags (C:), which only describe the package.
    lintian = subprocess.run(["lintian", "--display-level", ">=pedantic", "--display-experimental",
                              "--info", deb], capture_output=True, text=True)
    print(lintian.stdout, end="")
    check(lintian.returncode == 0 and not lintian.stdout.strip(),
          f"lintian reports (status {lintian.returncode}):\n{lintian.stdout}{lintian.stderr}")


def check_deb_install(options):
    if os.geteuid() != 0:
        print("installing a package needs root")
        return 77
    deb = find_deb(options)
    if not deb:
        return 1
    environment = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    try:
        run(*APT, "install", "--no-install-recommends", str(deb.resolve()), env=environment)
        shown = subprocess.run(["mouseprobe"], capture_output=True, text=True,
                               env=dict(os.environ, PATH="/usr/bin"))
        check(shown.returncode == 0 and re.fullmatch(r"lib: .*, -?\d+\nsrv: .*, -?\d+\n",
                                                     shown.stdout),
              f"the installed mouseprobe printed {shown.stdout!r}, status {shown.returncode}")
        where = subprocess.run(["man", "-w", "mouseprobe"], capture_output=True, text=True)
        check(where.stdout.strip() == "/usr/share/man/man1/mouseprobe.1.gz",
              f"man -w mouseprobe: {where.stdout.strip()!r} {where.stderr.strip()}")
        page = subprocess.run(["man", "mouseprobe"], capture_output=True, text=True,
                              env=dict(os.environ, MANPAGER="cat", MANWIDTH="80"))
        check(page.returncode == 0 and "mouseprobe" in page.stdout,
              f"man mouseprobe failed: {page.stderr.strip()}")
    finally:
        run(*APT, "purge", "mouseprobe", env=environment)
    status = subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", "mouseprobe"],
                            capture_output=True, text=True).stdout
    check(status in ("", "not-installed"), f"after removal dpkg says {status!r}")
    left = [path for path in DEB_FILES | {"./usr/share/doc/mouseprobe"}
            if os.path.lexists(path[1:])]
    check(not left, f"left behind after removal: {left}")


def one_file(folder, pattern):
    found = sorted(Path(folder).glob(pattern))
    check(len(found) == 1, f"expected one {folder}/{pattern}, found {found}")
    return found[0] if len(found) == 1 else None


def check_reproducible(options):
    tree, rebuild = Path(options.tree), Path(options.rebuild)
    build_package(tree)
    shutil.rmtree(rebuild, ignore_errors=True)
    subprocess.run(["cmake", "-S", options.source, "-B", rebuild, *options.configure], check=True,
                   stdout=subprocess.DEVNULL)
    build_package(rebuild)
    for pattern in (options.package, *([options.msi] if options.msi else []),
                    f"packaging/stage/{options.compare}"):
        first, second = one_file(tree, pattern), one_file(rebuild, pattern)
        if first and second and not check(first.read_bytes() == second.read_bytes(),
                                          f"{pattern} differs between the two builds"):
            # Where they differ, down to the member and the bytes.
            subprocess.run(["diffoscope", "--text", "-", first, second], check=False)
            if first.suffix == ".msi":
                show_msi_difference(first, second)


def show_msi_difference(first, second):
    """The two MSIs' tables and streams, as msidump writes them out, side by side: what the
    compound file's bytes hide (its tables are kept in a shared string pool)."""
    with tempfile.TemporaryDirectory() as folder:
        dumps = []
        for name, msi in (("first", first), ("second", second)):
            dump = Path(folder) / name
            dump.mkdir()
            subprocess.run(["msidump", "--directory", dump, "--tables", "--streams", msi],
                           check=False, stdout=subprocess.DEVNULL)
            dumps.append(dump)
        subprocess.run(["diffoscope", "--text", "-", "--exclude-directory-metadata", "yes",
                        *dumps], check=False)


def check_signed(options):
    tree = Path(options.tree)
    package = tree / options.package
    with tempfile.TemporaryDirectory() as temporary:
        folder = Path(temporary)
        certificate, key = folder / "certificate.pem", folder / "key.pem"
        pfx, password = folder / "signing.pfx", folder / "password.txt"
        run(options.openssl, "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-nodes",
            "-days", "2", "-subj", "/CN=Termgate throwaway signing test",
            "-addext", "keyUsage=critical,digitalSignature",
            "-addext", "extendedKeyUsage=codeSigning", "-keyout", key, "-out", certificate)
        password.write_text(f"throwaway-{os.getpid()}\n")
        run(options.openssl, "pkcs12", "-export", "-inkey", key, "-in", certificate, "-out", pfx,
            "-passout", f"file:{password}")
        try:
            subprocess.run(["cmake", f"-DTERMGATE_SIGN_PKCS12={pfx}",
                            f"-DTERMGATE_SIGN_PASSWORD_FILE={password}", tree], check=True,
                           stdout=subprocess.DEVNULL)
            package.unlink(missing_ok=True)
            if options.msi:
                (tree / options.msi).unlink(missing_ok=True)
            build_package(tree)
        finally:
            # The certificate is about to go: the tree goes back to making unsigned packages.
            subprocess.run(["cmake", "-DTERMGATE_SIGN_PKCS12=", "-DTERMGATE_SIGN_PASSWORD_FILE=",
                            tree], check=True, stdout=subprocess.DEVNULL)
        files = read_zip(package)
        exe = folder / "Termgate.exe"
        exe.write_bytes(files.get("Termgate.exe", b""))
        verified = subprocess.run([options.osslsigncode, "verify", "-CAfile", certificate,
                                   "-in", exe], capture_output=True, text=True)
        check(verified.returncode == 0 and "Signature verification: ok" in verified.stdout,
              f"osslsigncode verify failed:\n{verified.stdout}{verified.stderr}")
        check_sums(files)
        if options.msi:
            # The MSI is signed with the same certificate, and installs the signed exe.
            msi = tree / options.msi
            verified = subprocess.run([options.osslsigncode, "verify", "-CAfile", certificate,
                                       "-in", msi], capture_output=True, text=True)
            check(verified.returncode == 0 and "Signature verification: ok" in verified.stdout,
                  f"osslsigncode verify of the MSI failed:\n{verified.stdout}{verified.stderr}")
            run("msiextract", "--directory", folder / "msi", msi)
            installed = folder / "msi" / "Program Files" / "Kelvarn" / "Termgate" / "Termgate.exe"
            check(installed.exists() and installed.read_bytes() == exe.read_bytes(),
                  "the signed MSI does not hold the signed Termgate.exe")
    unpacked = Path(options.unpack)
    shutil.rmtree(unpacked, ignore_errors=True)
    unpacked.mkdir(parents=True)
    for name, data in files.items():
        (unpacked / name).write_bytes(data)
    print(f"signed and verified; unpacked into {unpacked}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=("zip", "msi", "deb", "deb-install", "reproducible",
                                         "signed"))
    parser.add_argument("--tree", required=True)
    parser.add_argument("--package")
    parser.add_argument("--msi")
    parser.add_argument("--pages")
    parser.add_argument("--trace", help="termgate-trace, which lists the codes the guide must")
    parser.add_argument("--version")
    parser.add_argument("--signed", action="store_true")
    parser.add_argument("--compare")
    parser.add_argument("--rebuild")
    parser.add_argument("--source")
    parser.add_argument("--unpack")
    parser.add_argument("--openssl", default="openssl")
    parser.add_argument("--osslsigncode", default="osslsigncode")
    parser.add_argument("--configure", nargs=argparse.REMAINDER, default=[])
    options = parser.parse_args()
    status = {"zip": check_zip, "msi": check_msi, "deb": check_deb,
              "deb-install": check_deb_install, "reproducible": check_reproducible,
              "signed": check_signed}[options.kind](options)
    for failure in failures:
        print("FAILED:", failure)
    return status or (1 if failures else 0)


if __name__ == "__main__":
    sys.exit(main())
