"""Session set-up of the end-to-end suite: one Wine bench, the programs under test, the pictures.

Paths come from environment variables (CTest sets them; see CMakeLists.txt), with defaults for a
run from the source tree:
  WQD_E2E_BIN          the win32 tree's bin folder: wqdupdate.exe, msgbox_probe.exe, kovrel_*.dll
  WQD_E2E_HOST_BIN     the host tree's bin folder: wqupack, zuksign
  WQD_E2E_SIGNING_KEY  the private key the build signs with (for the Authenticode cases)
  WQD_E2E_PREFIX       the Wine prefix, made afresh for every session
  WQD_E2E_OUT          logs and the pictures of the message boxes
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))

import winebench  # noqa: E402


def _path(variable, default):
    value = os.environ.get(variable)
    return Path(value) if value else default


ROOT = winebench.repo_root()
WIN32_BIN = _path("WQD_E2E_BIN", ROOT / "build" / "win32" / "bin")
HOST_BIN = _path("WQD_E2E_HOST_BIN", ROOT / "build" / "host" / "bin")
SIGNING_KEY = _path("WQD_E2E_SIGNING_KEY", ROOT / "build" / "keys" / "dev-signing-key.der")
PREFIX = _path("WQD_E2E_PREFIX", ROOT / "build" / "win32" / "e2e-prefix")
OUT = _path("WQD_E2E_OUT", ROOT / "build" / "win32" / "e2e")

BINARY_MAGIC = b"ZUKSignd"
BINARY_TRAILER_LENGTH = 48


@pytest.fixture(scope="session")
def bench():
    needed = [WIN32_BIN / name for name in ("wqdupdate.exe", "msgbox_probe.exe", "kovrel_test.dll",
                                            "kovrel_test_no_packages.dll",
                                            "kovrel_test_no_files.dll")]
    needed += [HOST_BIN / "wqupack", HOST_BIN / "zuksign"]
    missing = [str(path) for path in needed if not path.exists()]
    if missing:
        pytest.fail("build the win32 and host trees first; missing: " + ", ".join(missing))
    bench = winebench.Bench(PREFIX, WIN32_BIN, HOST_BIN, OUT / "logs")
    bench.start()
    yield bench
    bench.stop()


class Programs:
    """The updater under test and its variants, each made on first use inside the prefix."""

    def __init__(self, bench, work):
        self.bench = bench
        self.work = work
        self.made = {}

    def get(self, name):
        if name not in self.made:
            path = self.work / (name + ".exe")
            getattr(self, "_make_" + name.replace("-", "_"))(path)
            self.made[name] = path
        return self.bench.windows_path(self.made[name])

    def _signed(self):
        return (WIN32_BIN / "wqdupdate.exe").read_bytes()

    def _unsigned(self):
        data = self._signed()
        assert data[-8:] == BINARY_MAGIC, "the built wqdupdate.exe ends without a binary trailer"
        return data[:-BINARY_TRAILER_LENGTH]

    def _make_updater(self, path):
        path.write_bytes(self._signed())

    def _make_tampered(self, path):
        # One byte of the DOS stub's message: covered by the signature, never executed.
        data = bytearray(self._signed())
        stub = data.find(b"This program cannot be run in DOS mode")
        assert stub > 0
        data[stub] ^= 0x20
        path.write_bytes(bytes(data))

    def _certificate(self):
        key, cert = self.work / "authenticode-key.pem", self.work / "authenticode-cert.pem"
        if not cert.exists():
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                            str(key), "-out", str(cert), "-days", "2", "-subj",
                            "/CN=wqdupdate end-to-end test"], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return key, cert

    def _authenticode(self, source, target):
        key, cert = self._certificate()
        if target.exists():
            target.unlink()
        subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-in",
                        str(source), "-out", str(target)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _make_authenticode(self, path):
        # The release order: Authenticode first, then the trailer, which zuksign places before
        # the certificate table.
        unsigned = self.work / "unsigned.exe"
        unsigned.write_bytes(self._unsigned())
        self._authenticode(unsigned, path)
        subprocess.run([str(HOST_BIN / "zuksign"), "sign", "--key", str(SIGNING_KEY), "--kind",
                        "binary", str(path)], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def _make_authenticode_after(self, path):
        # The wrong order: osslsigncode rewrites the header's checksum and certificate entry,
        # both inside the signed content.
        signed = self.work / "signed.exe"
        signed.write_bytes(self._signed())
        self._authenticode(signed, path)


@pytest.fixture(scope="session")
def programs(bench):
    work = bench.root / "bin"
    work.mkdir(parents=True, exist_ok=True)
    return Programs(bench, work)


class PictureBook:
    """Keeps one PNG of every distinct message box (by message and language)."""

    def __init__(self, folder):
        self.folder = folder
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        self.saved = {}

    def keep(self, key, box):
        if key in self.saved or not box.picture:
            return
        target = self.folder / (key + ".png")
        winebench.bmp_to_png(box.picture, target)
        self.saved[key] = target


@pytest.fixture(scope="session")
def pictures():
    return PictureBook(OUT / "pictures")
