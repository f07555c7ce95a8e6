"""The Wine bench: real installations of teskor! 4 for the real wqdupdate.exe, under Wine and Xvfb.

Shared by the end-to-end suite (conftest.py, test_e2e.py), scripts/demo and bench/e2e. A bench owns
one Wine prefix (made afresh by start()), one Xvfb server on a display number that Xvfb itself picks
as free, and one persistent wineserver, so that each run of a program costs a process start and no
more. Everything it starts, stop() ends.

Installations live inside the prefix (C:\\e2e\\<name>\\...), each with its own program folder and a
storage folder whose name has a space in it. Registry values are written with one regedit call per
installation, which first deletes every key of the product, so that no case sees another's values.

Programs run under the message-box probe (tools/testing/msgbox_probe.cpp), which reports every box
the program shows and the program's exit code.
"""

import dataclasses
import json
import os
import shutil
import signal
import struct
import subprocess
import time
import unicodedata
import zlib
from pathlib import Path

# The registry key of the product, under HKEY_LOCAL_MACHINE.
PRODUCT_KEY = "Software\\Mendrik Software\\Teskor"
VENDOR_KEY = "Software\\Mendrik Software"

# Unix locales the suite runs in, and the message language each one gives the updater.
LOCALES = {
    "cs": "cs_CZ.UTF-8",
    "sk": "sk_SK.UTF-8",
    "de": "de_DE.UTF-8",
    "en": "en_US.UTF-8",
}

# Wine's X11 driver without a window manager: unmanaged windows are shown and hidden at once
# (a managed one waits two seconds for a window manager that never answers), and Wine draws the
# title bars itself, so that the pictures show the caption.
_X11_SETTINGS = (
    "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"
    '"Managed"="N"\r\n'
    '"Decorated"="N"\r\n'
)


def repo_root():
    return Path(__file__).resolve().parents[2]


def ansi_encode(text, code_page):
    """The bytes that WideCharToMultiByte gives for text in the ANSI code page code_page.

    A character the code page lacks becomes its base letter when the code page has that (Wine's
    best-fit tables map č to c in code page 1252, as Windows does), otherwise '?'.
    """
    codec = "cp%d" % code_page
    out = bytearray()
    for ch in text:
        try:
            out += ch.encode(codec)
        except UnicodeEncodeError:
            base = unicodedata.normalize("NFD", ch)[0]
            try:
                out += base.encode(codec)
            except UnicodeEncodeError:
                out += b"?"
    return bytes(out)


def bmp_to_png(bmp_path, png_path):
    """Converts the 24-bit bottom-up bitmap the probe writes into a PNG file."""
    data = Path(bmp_path).read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24 or width <= 0 or height <= 0:
        raise ValueError("%s: not a 24-bit bottom-up bitmap" % bmp_path)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(len(row))
        rgb[0::3] = row[2::3]
        rgb[1::3] = row[1::3]
        rgb[2::3] = row[0::3]
        rows.append(b"\x00" + bytes(rgb))

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body +
                struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
    png += chunk(b"IEND", b"")
    Path(png_path).write_bytes(png)


@dataclasses.dataclass
class Box:
    """One message box as the probe saw it."""
    caption: str
    text: str
    caption_ansi: bytes
    text_ansi: bytes
    icon: str
    buttons: list
    picture: str  # Unix path of the probe's bitmap, or ""
    icon_scores: dict


@dataclasses.dataclass
class Run:
    """What one run of a program showed and returned."""
    boxes: list
    exit_code: int
    timed_out: bool
    langid: int
    acp: int
    seconds: float


class Bench:
    def __init__(self, prefix, win32_bin, host_bin, log_dir):
        self.prefix = Path(prefix)
        self.win32_bin = Path(win32_bin)
        self.host_bin = Path(host_bin)
        self.log_dir = Path(log_dir)
        self.display = None
        self._xvfb = None
        self._started = False
        self.drive_c = self.prefix / "drive_c"
        self.root = self.drive_c / "e2e"
        self.base_env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES",
                     "LC_CTYPE"):
            self.base_env.pop(name, None)
        self.base_env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEARCH": "win32",
            "WINEDEBUG": "-all",
            # No Mono or Gecko installer: nothing here needs .NET or HTML.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })

    # --- life cycle --------------------------------------------------------------------------

    def start(self):
        """Makes the prefix afresh and starts Xvfb and the wineserver; on failure it leaves
        nothing running."""
        try:
            self._start()
        except BaseException:
            self.stop()
            raise

    def _start(self):
        self.log_dir.mkdir(parents=True, exist_ok=True)
        self._stop_wineserver()
        if self.prefix.exists():
            shutil.rmtree(self.prefix)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        self._start_xvfb()
        self.base_env["DISPLAY"] = ":%d" % self.display
        self._started = True
        with open(self.log_dir / "wineboot.log", "wb") as log:
            subprocess.run(["wineboot", "-i"], env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=log, stderr=log, check=False, timeout=300)
            subprocess.run(["wineserver", "-w"], env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=log, stderr=log, check=False, timeout=300)
        if not (self.drive_c / "windows").is_dir():
            raise RuntimeError("wineboot did not make a prefix in %s (see %s)"
                               % (self.prefix, self.log_dir / "wineboot.log"))
        # Debian's Wine finds its own fonts only in the prefix: without Tahoma and Marlett the
        # boxes are drawn in a substitute font and the close button shows a letter.
        fonts = Path("/usr/share/wine/fonts")
        if fonts.is_dir():
            for font in fonts.glob("*.ttf"):
                shutil.copy(font, self.drive_c / "windows" / "Fonts" / font.name)
        # One wineserver for the whole session: every later program only attaches to it. Its
        # output goes nowhere, so that it holds no pipe of ours open.
        subprocess.run(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        self.root.mkdir(parents=True, exist_ok=True)
        self.regedit(_X11_SETTINGS)

    def stop(self, remove_prefix=False):
        """Ends the wineserver and Xvfb; remove_prefix also deletes the prefix (some 600 MB)."""
        if self._started:
            self._stop_wineserver()
            self._started = False
        if remove_prefix and self.prefix.exists():
            shutil.rmtree(self.prefix)
        if self._xvfb is not None:
            self._xvfb.send_signal(signal.SIGTERM)
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait()
            self._xvfb = None

    def _stop_wineserver(self):
        if self.prefix.exists():
            subprocess.run(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            subprocess.run(["wineserver", "-w"], env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)

    def _start_xvfb(self):
        # Xvfb picks a free display number itself and writes it to the pipe.
        read_end, write_end = os.pipe()
        log = open(self.log_dir / "xvfb.log", "wb")
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            start_new_session=True)
        os.close(write_end)
        log.close()
        text = b""
        deadline = time.monotonic() + 30
        while not text.endswith(b"\n") and time.monotonic() < deadline:
            piece = os.read(read_end, 64)
            if not piece:
                break
            text += piece
        os.close(read_end)
        if not text.strip().isdigit():
            self.stop()
            raise RuntimeError("Xvfb did not start (see %s)" % (self.log_dir / "xvfb.log"))
        self.display = int(text.strip())

    # --- helpers -----------------------------------------------------------------------------

    def env(self, locale="en"):
        env = dict(self.base_env)
        env["LC_ALL"] = LOCALES.get(locale, locale)
        return env

    def windows_path(self, path):
        """The Windows path of a Unix path: C:\\... inside the prefix's drive, else Z:\\..."""
        path = Path(path).resolve()
        try:
            inside = path.relative_to(self.drive_c.resolve())
            return "C:\\" + "\\".join(inside.parts)
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def unix_path(self, windows_path):
        if windows_path[:2].upper() == "C:":
            return self.drive_c / Path(*windows_path[3:].split("\\"))
        if windows_path[:2].upper() == "Z:":
            return Path("/" + "/".join(windows_path[3:].split("\\")))
        raise ValueError(windows_path)

    def regedit(self, body):
        """Imports registry text (the part after REGEDIT4) with one regedit call."""
        self.root.mkdir(parents=True, exist_ok=True)
        reg = self.root / "settings.reg"
        reg.write_bytes(("REGEDIT4\r\n\r\n" + body).encode("ascii"))
        result = subprocess.run(["wine", "regedit", "/S", self.windows_path(reg)], env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=60)
        if result.returncode != 0:
            raise RuntimeError("regedit failed with %d" % result.returncode)

    def wine(self, program, arguments=(), locale="en", timeout=60):
        """Runs a Windows program directly (no probe); returns its exit code."""
        with open(self.log_dir / "wine.log", "ab") as log:
            return subprocess.run(["wine", str(program), *arguments], env=self.env(locale),
                                  stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                  timeout=timeout).returncode

    def run(self, program, arguments="", locale="en", directory=None, pictures=None,
            timeout_ms=30000):
        """Runs program (a Unix path inside the prefix or a Windows path) with the command line
        arguments (one text, exactly as the program receives it) under the probe."""
        work = self.root / "probe"
        work.mkdir(parents=True, exist_ok=True)
        for old in work.glob("box-*.bmp"):
            old.unlink()
        report = work / "report.jsonl"
        if report.exists():
            report.unlink()
        program_path = program if isinstance(program, str) else self.windows_path(program)
        lines = ["program=" + program_path, "arguments=" + arguments,
                 "report=" + self.windows_path(report), "timeout=%d" % timeout_ms]
        if directory is not None:
            lines.append("directory=" + (directory if isinstance(directory, str)
                                         else self.windows_path(directory)))
        if pictures is not False:
            lines.append("pictures=" + self.windows_path(work / "box"))
        job = work / "job.txt"
        # The command line reaches the program in the ANSI code page of the locale.
        code_page = 1250 if locale in ("cs", "sk") else 1252
        job.write_bytes(("\n".join(lines) + "\n").encode("cp%d" % code_page))
        probe = self.windows_path(self.win32_bin / "msgbox_probe.exe")
        started = time.monotonic()
        with open(self.log_dir / "probe.log", "ab") as log:
            result = subprocess.run(["wine", probe, self.windows_path(job)], env=self.env(locale),
                                    stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                    timeout=timeout_ms / 1000 + 60)
        seconds = time.monotonic() - started
        if not report.exists():
            raise RuntimeError("the probe wrote no report (exit %d; see %s)"
                               % (result.returncode, self.log_dir / "probe.log"))
        boxes = []
        final = None
        for line in report.read_text(encoding="utf-8").splitlines():
            item = json.loads(line)
            if "box" in item:
                picture = item["picture"]
                boxes.append(Box(
                    caption=item["caption"], text=item["text"],
                    caption_ansi=bytes.fromhex(item["caption_ansi"]),
                    text_ansi=bytes.fromhex(item["text_ansi"]), icon=item["icon"],
                    buttons=item["buttons"],
                    picture=str(self.unix_path(picture)) if picture else "",
                    icon_scores=item["icon_scores"]))
            elif "exit" in item:
                final = item
            elif "start_error" in item:
                raise RuntimeError("the probe could not start %s (error %d)"
                                   % (program_path, item["start_error"]))
        if final is None:
            raise RuntimeError("the probe's report has no closing line")
        return Run(boxes=boxes, exit_code=final["exit"], timed_out=final["timeout"],
                   langid=final["langid"], acp=final["acp"], seconds=seconds)


def reg_string(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def reg_value(value):
    """A registry value in .reg syntax: str is REG_SZ, int is REG_DWORD, bytes is REG_BINARY."""
    if isinstance(value, str):
        return reg_string(value)
    if isinstance(value, int):
        return "dword:%08x" % (value & 0xFFFFFFFF)
    if isinstance(value, bytes):
        return "hex:" + ",".join("%02x" % b for b in value)
    raise TypeError(value)


class Installation:
    """One installation of the product inside the bench's prefix.

    The program folder holds setup\\setup.ini and the installer library; the storage folder
    (with a space in its name) holds the update package.
    """

    def __init__(self, bench, name, root=None, storage_name="Update Storage"):
        """A fresh installation in root (a Unix path in the prefix; default C:\\e2e\\<name>)."""
        self.bench = bench
        self.name = name
        self.root = Path(root) if root is not None else bench.root / name
        if self.root.exists():
            shutil.rmtree(self.root)
        self.program = self.root / "Program"
        self.setup = self.program / "setup"
        self.storage = self.root / storage_name
        self.setup.mkdir(parents=True)
        self.storage.mkdir(parents=True)

    def path(self, unix_path):
        return self.bench.windows_path(unix_path)

    def register(self, values, oem=None, extra_keys=None):
        """Replaces every registry key of the product with the key of this installation.

        values: registry values of the product key (None: no key at all); oem: the OEM name
        that places the key under Teskor\\<oem>\\4.0; extra_keys: more {key path: values}.
        """
        body = "[-HKEY_LOCAL_MACHINE\\%s]\r\n\r\n" % VENDOR_KEY
        keys = dict(extra_keys or {})
        if values is not None:
            key = PRODUCT_KEY + ("\\%s" % oem if oem else "") + "\\4.0"
            keys[key] = values
        for key, key_values in keys.items():
            body += "[HKEY_LOCAL_MACHINE\\%s]\r\n" % key
            for name, value in key_values.items():
                body += "%s=%s\r\n" % (reg_string(name), reg_value(value))
            body += "\r\n"
        self.bench.regedit(body)

    def write_setup_ini(self, parts):
        """setup.ini with the given [Parts] entries ({"part.wqd": "wqd-0701E2", ...})."""
        text = "[Parts]\r\n" + "".join("%s=%s\r\n" % item for item in parts.items())
        (self.setup / "setup.ini").write_bytes(text.encode("ascii"))

    def place_library(self, variant="kovrel_test", name="kovrel.dll"):
        shutil.copy(self.bench.win32_bin / (variant + ".dll"), self.setup / name)

    def write_library_case(self, packages=None, files=None):
        """The answers of the test installer library: {"result": r, "status": s} per entry."""
        text = ""
        for section, answers in (("kovrelUpdatePackages", packages),
                                 ("kovrelUpdateFilesEx", files)):
            if answers:
                text += "[%s]\r\n" % section
                for key, value in answers.items():
                    text += "%s=%s\r\n" % (key, value)
        (self.setup / "kovrel-case.ini").write_bytes(text.encode("ascii"))

    def library_calls(self, code_page=1252):
        """The calls the test installer library recorded, as dictionaries, in order; its texts
        are in the ANSI code page of the run."""
        path = self.setup / "kovrel-calls.txt"
        if not path.exists():
            return []
        calls = []
        for line in path.read_bytes().decode("cp%d" % code_page).splitlines():
            entry, oem, command, first, second, status, module = line.split("\t")
            calls.append({"entry": entry, "oem": None if oem == "-" else oem[1:],
                          "command": command, "first": int(first), "second": int(second),
                          "status": status, "module": module})
        return calls

    def make_package(self, parts, file_name="prod-qn_pro.wqu"):
        """An update package made with wqupack; parts are (NAME, TYPE, HEXVERSION) triples."""
        command = [str(self.bench.host_bin / "wqupack"), "create", str(self.storage / file_name)]
        for name, kind, version in parts:
            command += ["--part", "%s:%s:%s" % (name, kind, version)]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        return self.storage / file_name
