#!/usr/bin/env python3
"""Makes a build tree's package from what `cmake --install` puts in a staging folder, the same
bytes from the same sources whenever and wherever it runs.

  make_package.py zip --tree DIR --source DIR --stage DIR --output FILE.zip NAME...
      Termgate's zip: the staged files NAME..., in that order and nothing else.
  make_package.py msi --source DIR --stage DIR --wxs FILE --version V --arch x86|x64
                      --output FILE.msi [--osslsigncode PATH --sign-pkcs12 FILE
                      [--sign-password-file FILE] [--sign-timestamp-url URL]]
      Termgate's Windows Installer package, which wixl makes from the WiX source FILE and the
      files the zip's command has just staged. Signed, as Termgate.exe is, when --sign-pkcs12
      names a certificate.
  make_package.py deb --tree DIR --source DIR --stage DIR --output-dir DIR --control FILE
      mouseprobe's Debian package, with the fields of the control template FILE plus
      Architecture, Installed-Size and Depends.

Every time in a package is the time of the sources' last commit: SOURCE_DATE_EPOCH when it is
set, else `git log -1 --format=%ct`, else the date of the newest entry of the Debian changelog
template (a tree without git history). CPack's generators take file times, owners and the order
of a folder listing from the build machine; that is why this script makes the packages.

wixl writes the time of the build, and a random package code, into the MSI's summary
information, and each file's time, in local time, into its cabinet. So the files get the commit's
time, wixl runs in UTC, and the summary information's two times and package code are replaced
afterwards: the times by the commit's, the package code by one derived from the package's own
bytes. The product code is derived from the upgrade code and the version: a rebuild of a version
is the same product, a new version a new one, which replaces the old.
"""
import argparse
import email.utils
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import uuid
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

CHANGELOG = Path(__file__).resolve().parent / "debian" / "changelog.in"
# The zip format counts from 1980.
ZIP_EPOCH = 315532800
WIX = "{http://schemas.microsoft.com/wix/2006/wi}"
# Summary information properties: the package code, the times of creation and of the last save.
REVISION, CREATED, SAVED = 9, 12, 13
PLACEHOLDER_CODE = "{00000000-0000-0000-0000-000000000000}"


def source_date_epoch(source):
    if os.environ.get("SOURCE_DATE_EPOCH", "").isdigit():
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        committed = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                                   capture_output=True, text=True, check=True).stdout.strip()
        if committed.isdigit():
            return int(committed)
    except (OSError, subprocess.CalledProcessError):
        pass
    for line in CHANGELOG.read_text().splitlines():
        if line.startswith(" -- "):
            return int(email.utils.parsedate_to_datetime(line.split("  ", 1)[1]).timestamp())
    sys.exit(f"make_package: no commit time and no dated entry in {CHANGELOG}")


def stage(tree, stage_dir, epoch, prefix=None):
    """Installs the tree, stripped, afresh into stage_dir, or under it at prefix."""
    shutil.rmtree(stage_dir, ignore_errors=True)
    stage_dir.mkdir(parents=True)
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    if prefix:
        environment["DESTDIR"] = str(stage_dir)
    installed = subprocess.run(["cmake", "--install", tree, "--prefix", prefix or str(stage_dir),
                                "--strip"], check=False, env=environment,
                               stdout=subprocess.DEVNULL)
    if installed.returncode != 0:
        # cmake has said why (a certificate that is gone, say); a traceback would only bury it.
        sys.exit(f"make_package: installing {tree} failed; nothing was packaged")


def make_zip(options, epoch):
    stage_dir = Path(options.stage).resolve()
    stage(options.tree, stage_dir, epoch)
    staged = sorted(str(path.relative_to(stage_dir)) for path in stage_dir.rglob("*"))
    if staged != sorted(options.names):
        sys.exit(f"make_package: the stage holds {staged}, the zip is to hold {options.names}")
    output = Path(options.output)
    partial = output.with_name(output.name + ".partial")
    stamp = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    with zipfile.ZipFile(partial, "w") as archive:
        for name in options.names:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            # A fixed mode, not the builder's umask; zipfile would otherwise write 0600, which
            # unzip on Linux keeps.
            entry.create_system = 3
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, (stage_dir / name).read_bytes(), compresslevel=9)
    partial.replace(output)
    print(f"make_package: {output}")


def msitools(*command, **options):
    # The times msitools reads and writes are local times: UTC here, so that the builder's time
    # zone does not show in the package.
    return subprocess.run([str(part) for part in command], check=True, capture_output=True,
                          text=True, env=dict(os.environ, TZ="UTC0", LC_ALL="C.UTF-8"),
                          **options).stdout


def set_summary(msi, values):
    """Replaces summary information properties of the MSI file, {property id: text}, in place."""
    lines = msitools("msiinfo", "export", msi, "_SummaryInformation").splitlines()
    # Three header lines, then a property a line: its id, a tab, its value.
    rows = [line for line in lines[3:] if int(line.split("\t", 1)[0]) not in values]
    rows += [f"{number}\t{text}" for number, text in sorted(values.items())]
    with tempfile.TemporaryDirectory() as folder:
        table = Path(folder) / "_SummaryInformation.idt"
        table.write_text("\r\n".join(lines[:3] + rows) + "\r\n")
        msitools("msibuild", msi, "-i", table)


def make_msi(options, epoch):
    stage_dir = Path(options.stage).resolve()
    wxs = Path(options.wxs).resolve()
    upgrade_code = uuid.UUID(ElementTree.parse(wxs).find(f"{WIX}Product").get("UpgradeCode"))
    product_code = uuid.uuid5(upgrade_code, f"Termgate {options.version} {options.arch}")
    # The cabinet keeps each file's time.
    for path in stage_dir.iterdir():
        os.utime(path, (epoch, epoch))

    output = Path(options.output).resolve()
    partial = output.with_name(output.name + ".partial")
    partial.unlink(missing_ok=True)
    msitools("wixl", "--arch", options.arch, "--define", f"Version={options.version}",
             "--define", f"ProductCode={str(product_code).upper()}", "--output", partial, wxs,
             cwd=stage_dir)
    built = time.strftime("%Y/%m/%d %H:%M:%S", time.gmtime(epoch))
    set_summary(partial, {REVISION: PLACEHOLDER_CODE, CREATED: built, SAVED: built})
    # Two different packages must not share a package code, so it comes from everything else
    # the package holds.
    digest = hashlib.sha256(partial.read_bytes()).hexdigest()
    package_code = uuid.uuid5(upgrade_code, f"package {digest}")
    set_summary(partial, {REVISION: "{" + str(package_code).upper() + "}"})

    if options.sign_pkcs12:
        # As Termgate.exe is signed (wizard/win32/CMakeLists.txt): at the commit's time, so that
        # a rebuild signed with the same key is the same file.
        signed = output.with_name(output.name + ".signed")
        signed.unlink(missing_ok=True)
        command = [options.osslsigncode, "sign", "-pkcs12", options.sign_pkcs12, "-h", "sha256",
                   "-n", "Termgate", "-time", str(epoch)]
        if options.sign_password_file:
            command += ["-readpass", options.sign_password_file]
        if options.sign_timestamp_url:
            command += ["-ts", options.sign_timestamp_url]
        subprocess.run([*command, "-in", str(partial), "-out", str(signed)], check=True,
                       stdout=subprocess.DEVNULL)
        signed.replace(partial)
    partial.replace(output)
    print(f"make_package: {output}")


def make_deb(options, epoch):
    # Debian's layout, so that dpkg-shlibdeps finds debian/control and the package's files where
    # it expects them.
    template = Path(options.control).read_text()
    fields = dict(line.split(":", 1) for line in template.splitlines() if line[:1].isalpha())
    package, version = fields["Package"].strip(), fields["Version"].strip()
    work = Path(options.stage).resolve()
    root = work / "debian" / package
    stage(options.tree, root, epoch, prefix="/usr")
    (work / "debian" / "control").write_text(
        f"Source: {package}\n\nPackage: {package}\nArchitecture: any\n")

    files = sorted(path for path in root.rglob("*") if path.is_file())
    programs = [path for path in files if os.access(path, os.X_OK)]
    depends = ""
    if programs:
        shlibs = subprocess.run(["dpkg-shlibdeps", "-O",
                                 *(f"-e{path.relative_to(work)}" for path in programs)],
                                cwd=work, check=True, capture_output=True, text=True).stdout
        depends = shlibs.strip().partition("shlibs:Depends=")[2]
    architecture = subprocess.run(["dpkg", "--print-architecture"], check=True,
                                  capture_output=True, text=True).stdout.strip()
    # dpkg-gencontrol's measure: each file in whole KiB, rounded up, and 1 KiB for each folder,
    # the top one included.
    installed_size = sum(-(-path.stat().st_size // 1024) if path.is_file() else 1
                         for path in [root, *root.rglob("*")])

    control_dir = root / "DEBIAN"
    control_dir.mkdir()
    # The template ends with the description, which runs over several lines.
    head, description = template.rstrip("\n").split("\nDescription:", 1)
    control = (head + f"\nArchitecture: {architecture}\nInstalled-Size: {installed_size}\n"
               + (f"Depends: {depends}\n" if depends else "") + "Description:" + description
               + "\n")
    (control_dir / "control").write_text(control)
    sums = "".join(f"{hashlib.md5(path.read_bytes()).hexdigest()}  {path.relative_to(root)}\n"
                   for path in files)
    (control_dir / "md5sums").write_text(sums)

    # Modes and times as the package should have them, not as this machine's umask and clock
    # left them. dpkg-deb's own clamping is not enough: it only lowers times later than
    # SOURCE_DATE_EPOCH, and a file checked out before the last commit keeps its earlier time.
    for path in [root, *root.rglob("*")]:
        executable = path.is_dir() or (path in programs)
        path.chmod(0o755 if executable else 0o644)
        os.utime(path, (epoch, epoch), follow_symlinks=False)

    output = Path(options.output_dir) / f"{package}_{version}_{architecture}.deb"
    partial = output.with_name(output.name + ".partial")
    subprocess.run(["dpkg-deb", "--root-owner-group", "-Zgzip", "-z9", "--build", str(root),
                    str(partial)], check=True, stdout=subprocess.DEVNULL,
                   env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)))
    partial.replace(output)
    print(f"make_package: {output}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=("zip", "msi", "deb"))
    parser.add_argument("--tree")
    parser.add_argument("--source", required=True)
    parser.add_argument("--stage", required=True)
    parser.add_argument("--output")
    parser.add_argument("--output-dir")
    parser.add_argument("--control")
    parser.add_argument("--wxs")
    parser.add_argument("--version")
    parser.add_argument("--arch", choices=("x86", "x64"))
    parser.add_argument("--osslsigncode", default="osslsigncode")
    parser.add_argument("--sign-pkcs12")
    parser.add_argument("--sign-password-file")
    parser.add_argument("--sign-timestamp-url")
    parser.add_argument("names", nargs="*")
    options = parser.parse_intermixed_args()
    epoch = source_date_epoch(options.source)
    if options.kind != "msi" and not options.tree:
        parser.error(f"{options.kind} needs --tree")
    {"zip": make_zip, "msi": make_msi, "deb": make_deb}[options.kind](options, epoch)


if __name__ == "__main__":
    main()
