#!/usr/bin/env python3
"""Builds a build tree's package and checks what it holds.

  check_package.py zip --tree DIR --package NAME.zip --pages DIR [--signed]
      Termgate's zip: exactly the shipped files, none empty, a 32-bit GUI exe, unsigned unless
      --signed, the pages as in the source tree, CR LF text files, a guide that names every
      language code, and true SHA-256 sums.
  check_package.py deb --tree DIR --version V
      mouseprobe's Debian package: its files, control fields, a stripped program, and lintian
      reporting nothing at all, down to its pedantic and experimental tags.
  check_package.py deb-install --tree DIR --version V
      Installs the package with apt-get (as root; exit 77 otherwise), runs the installed
      program, finds its man page, and removes the package again.
  check_package.py reproducible --tree DIR --package GLOB --compare PATH --rebuild DIR
                                --source DIR --configure CONFIGURE-ARGUMENTS...
      Makes the tree's package, then configures a second tree from scratch in the folder
      --rebuild with CONFIGURE-ARGUMENTS, makes its package, and wants the two packages, and
      the staged file PATH, byte for byte the same; diffoscope shows where two differ.
  check_package.py signed --tree DIR --package NAME.zip --unpack DIR --openssl PATH
                          --osslsigncode PATH
      Makes a throwaway code-signing certificate, configures the (built) tree to sign with it,
      makes the zip, and wants an exe that osslsigncode verifies against that certificate, with
      its true sum in SHA256SUMS.txt. The signed zip's files are left unpacked in --unpack.
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
import zipfile
from pathlib import Path

# What Windows' own programs read: cmd, schtasks, and people in Notepad.
CRLF_FILES = {"DEPLOYMENT.txt", "install.cmd", "uninstall.cmd", "Termgate-task.xml",
              "SHA256SUMS.txt"}
ZIP_FILES = CRLF_FILES | {"Termgate.exe", "index.html", "toolbar.html"}
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
    for pattern in (options.package, f"packaging/stage/{options.compare}"):
        first, second = one_file(tree, pattern), one_file(rebuild, pattern)
        if first and second and not check(first.read_bytes() == second.read_bytes(),
                                          f"{pattern} differs between the two builds"):
            # Where they differ, down to the member and the bytes.
            subprocess.run(["diffoscope", "--text", "-", first, second], check=False)


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
    unpacked = Path(options.unpack)
    shutil.rmtree(unpacked, ignore_errors=True)
    unpacked.mkdir(parents=True)
    for name, data in files.items():
        (unpacked / name).write_bytes(data)
    print(f"signed and verified; unpacked into {unpacked}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=("zip", "deb", "deb-install", "reproducible", "signed"))
    parser.add_argument("--tree", required=True)
    parser.add_argument("--package")
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
    status = {"zip": check_zip, "deb": check_deb, "deb-install": check_deb_install,
              "reproducible": check_reproducible, "signed": check_signed}[options.kind](options)
    for failure in failures:
        print("FAILED:", failure)
    return status or (1 if failures else 0)


if __name__ == "__main__":
    sys.exit(main())
