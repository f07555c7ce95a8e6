"""The real wqdupdate.exe against real installations under Wine, case by case.

Every case sets up one installation (registry key, setup.ini, installer library, update package in
a storage folder whose path has a space), runs the updater under the message-box probe in a real
Unix locale, and checks every box the user sees (caption, text, icon, in the order shown), the exit
code, and what the test installer library was handed.

Texts are compared as the bytes the updater passed to MessageBoxA, in the ANSI code page of the
locale (1250 for Czech and Slovak, 1252 otherwise), and as what the box displays.
"""

import dataclasses
import struct
from typing import Callable, Optional

import pytest

import messages
import winebench
from messages import CZECH, ENGLISH

# The installation every case starts from: edition qn_pro at build 900, database 0701-E2
# installed, a package that offers 0701-E3 for builds up to 950.
REGISTRY = {"Teskor4ProgramFolder": "{program}", "Product": "qn_pro", "SetupVersion": 900}
SETUP_INI = {"part.wqd": "wqd-0701E2", "part.setup": "setup-384"}
PACKAGE = [("wqd", "wqd", "0701E3"), ("setup", "setup", "3B6")]
ARGUMENTS = '/sfxstorage "{storage}"'
UPDATED = {"OLDVER": "000701-E2", "NEWVER": "0701-E3"}
NO_LIBRARY = {"OSVER": "4.7.900", "KVERROR": "0x00000002", "STERROR": "0xFFFFFFFF",
              "LEERROR": "0x00000000"}

PACKAGES_CALL = ("kovrelUpdatePackages", None, "/sfx /sfxstorage {storage}", "0xFFFFFFFF")
FILES_CALL = ("kovrelUpdateFilesEx", None, "/sfx", "0x20000000")


def final(message_id, **placeholders):
    return ("final", message_id, placeholders)


def package_box(text, caption):
    """The plain box of a package that cannot be read: its path as text, the edition as caption."""
    return ("package", text, caption)


@dataclasses.dataclass
class Case:
    name: str
    exit: int
    boxes: list
    locale: str = "en"
    arguments: str = ARGUMENTS
    registry: Optional[dict] = dataclasses.field(default_factory=lambda: dict(REGISTRY))
    oem: Optional[str] = None  # the registry key is Teskor\<oem>\4.0
    setup_ini: Optional[dict] = dataclasses.field(default_factory=lambda: dict(SETUP_INI))
    package: Optional[list] = dataclasses.field(default_factory=lambda: list(PACKAGE))
    package_file: str = "prod-qn_pro.wqu"
    package_bytes: Optional[bytes] = None  # a damaged package instead of a wqupack one
    library: Optional[str] = "kovrel_test"
    library_name: str = "kovrel.dll"
    garbage_library: bool = False  # a kovrel.dll that is no library at all
    answers: dict = dataclasses.field(default_factory=dict)  # {"packages": {...}, "files": {...}}
    calls: Optional[list] = None  # expected installer calls; None: not checked
    language: Optional[int] = None  # of the texts; default: that of the locale
    program: str = "updater"
    directory: Optional[str] = None  # the updater's current directory: None or "storage"
    check: Optional[Callable] = None  # more checks: check(installation, run)
    storage_name: str = "Update Storage"

    def __post_init__(self):
        if self.language is None:
            self.language = messages.message_language(self.locale)


def with_registry(**values):
    registry = dict(REGISTRY)
    for name, value in values.items():
        if value is None:
            registry.pop(name, None)
        else:
            registry[name] = value
    return registry


def ovr_was_copied(installation, run):
    assert (installation.setup / "kovrel.dll").exists()
    calls = installation.library_calls()
    assert calls and all(c["module"].lower().endswith("\\setup\\kovrel.dll") for c in calls)


def snapshot(folder):
    """Every file below folder with its contents."""
    return {path.relative_to(folder).as_posix(): path.read_bytes()
            for path in folder.rglob("*") if path.is_file()}


# Every RunState, in a Czech and an English locale.
RUN_STATES = [
    Case("completed-256", 0, [final(256, **UPDATED)], calls=[PACKAGES_CALL, FILES_CALL]),
    Case("completed-257-nothing-to-do", 0, [final(257)],
         answers={"packages": {"result": 3, "status": "0x20000001"}}, calls=[PACKAGES_CALL]),
    Case("up-to-date", 1, [final(257)], package=[("wqd", "wqd", "0701E2"), PACKAGE[1]],
         calls=[]),
    Case("archive-broken-no-package", 2,
         [package_box("{storage}\\prod-qn_pro.wqu", "qn_pro"), final(258)], package=None,
         calls=[]),
    Case("not-installed", 4, [final(260)], registry=None),
    Case("install-failed-no-library", 6, [final(262, **NO_LIBRARY)], library=None),
    Case("installer-busy", 7, [final(263)],
         answers={"packages": {"result": 5, "status": "0x2000000a"}}, calls=[PACKAGES_CALL]),
    Case("program-too-new", 8, [final(264, NSVER="4.7.950", OSVER="4.7.960")],
         registry=with_registry(SetupVersion=960), calls=[]),
    # No package at all: the gate ends the run before the package would be opened.
    Case("program-too-old-891", 9, [final(265)], registry=with_registry(SetupVersion=891),
         package=None, calls=[]),
    Case("database-older", 10, [final(266)], package=[("wqd", "wqd", "0701E1"), PACKAGE[1]],
         calls=[]),
]

CASES = [dataclasses.replace(case, name=case.name + "-" + locale, locale=locale,
                             language=messages.message_language(locale))
         for case in RUN_STATES for locale in ("cs", "en")]
CASES += [dataclasses.replace(RUN_STATES[0], name="completed-256-" + locale, locale=locale,
                              language=messages.message_language(locale))
          for locale in ("sk", "de")]

CASES += [
    # The build gate of qn_pro lies exactly at 892.
    Case("program-too-old-892-goes-on", 0, [final(256, **UPDATED)],
         registry=with_registry(SetupVersion=892)),

    # Silent mode: no final box in any outcome; the package-failure box still shows.
    Case("silent-completed", 0, [], arguments="/silent " + ARGUMENTS,
         calls=[PACKAGES_CALL, FILES_CALL]),
    Case("silent-dash-upper-case-no-library", 6, [], arguments="-SILENT " + ARGUMENTS,
         library=None),
    Case("silent-still-shows-package-box", 2,
         [package_box("{storage}\\prod-qn_pro.wqu", "qn_pro")],
         arguments=ARGUMENTS + " /silent", package=None, locale="cs"),
    Case("damaged-package", 2, [package_box("{storage}\\prod-qn_pro.wqu", "qn_pro"), final(258)],
         package_bytes=b"zuksetupFPkgFile" + bytes(8), locale="cs"),
    Case("unknown-edition", 2, [package_box("", "qn_xyz"), final(258)],
         registry=with_registry(Product="qn_xyz"), calls=[]),

    # What the installer answers, shown in message 262.
    Case("installer-codes-first-call", 6,
         [final(262, OSVER="4.7.900", KVERROR="0x00000003", STERROR="0x12345678",
                LEERROR="0x00000000")],
         answers={"packages": {"result": 3, "status": "0x12345678"}}, calls=[PACKAGES_CALL]),
    Case("installer-codes-first-call-cs", 6,
         [final(262, OSVER="4.7.900", KVERROR="0xFFFFFFFF", STERROR="0x2000000A",
                LEERROR="0x00000000")],
         answers={"packages": {"result": -1, "status": "0x2000000a"}}, calls=[PACKAGES_CALL],
         locale="cs"),
    Case("installer-codes-second-call-busy", 6,
         [final(262, OSVER="4.7.900", KVERROR="0x00000005", STERROR="0x2000000A",
                LEERROR="0x00000000")],
         answers={"files": {"result": 5, "status": "0x2000000a"}},
         calls=[PACKAGES_CALL, FILES_CALL]),
    Case("installer-second-call-nothing-to-do", 0, [final(256, **UPDATED)],
         answers={"files": {"result": 0, "status": "0x20000001"}},
         calls=[PACKAGES_CALL, FILES_CALL]),
    Case("installer-leaves-status-alone", 6,
         [final(262, OSVER="4.7.900", KVERROR="0x00000000", STERROR="0xFFFFFFFF",
                LEERROR="0x00000000")],
         answers={"packages": {"result": 0, "status": "keep"}}, calls=[PACKAGES_CALL]),
    Case("installer-without-packages-entry", 6,
         [final(262, OSVER="4.7.900", KVERROR="0x00000002", STERROR="0xFFFFFFFF",
                LEERROR="0x0000007F")],
         library="kovrel_test_no_packages", calls=[]),
    Case("installer-without-files-entry", 6,
         [final(262, OSVER="4.7.900", KVERROR="0x00000002", STERROR="0xFFFFFFFF",
                LEERROR="0x0000007F")],
         library="kovrel_test_no_files", calls=[], locale="cs"),
    Case("installer-only-ovr", 0, [final(256, **UPDATED)], library_name="kovrel.ovr",
         calls=[PACKAGES_CALL, FILES_CALL], check=ovr_was_copied),
    Case("installer-broken-dll-and-ovr", 0, [final(256, **UPDATED)], library_name="kovrel.ovr",
         garbage_library=True, calls=[PACKAGES_CALL, FILES_CALL], check=ovr_was_copied),
    Case("installer-broken-dll-only", 6, [final(262, **NO_LIBRARY)], library=None,
         garbage_library=True),

    # The OEM key and its default edition "oem"; no build gate outside qn_pro.
    Case("oem-default-edition", 0, [final(256, **UPDATED)],
         arguments="/oem acme " + ARGUMENTS, oem="acme",
         registry=with_registry(Product=None, SetupVersion=500), package_file="prod-qn_oem.wqu",
         calls=[("kovrelUpdatePackages", "acme", "/sfx /sfxstorage {storage}", "0xFFFFFFFF"),
                ("kovrelUpdateFilesEx", "acme", "/sfx", "0x20000000")]),
    Case("oem-name-without-its-key", 4, [final(260)], arguments="/oem acme " + ARGUMENTS),
    Case("oem-key-without-oem-name", 4, [final(260)], oem="acme", locale="cs"),
    Case("qn-srv", 0, [final(256, **UPDATED)], registry=with_registry(Product="qn_srv"),
         package_file="prod-qn_srv.wqu"),
] + [
    # The program version shown for a build, by range.
    Case("program-version-%d" % build, 6,
         [final(262, OSVER=shown, KVERROR="0x00000002", STERROR="0xFFFFFFFF",
                LEERROR="0x00000000")],
         registry=with_registry(Product="qn_srv", SetupVersion=build),
         package_file="prod-qn_srv.wqu", library=None)
    for build, shown in ((501, "4.1.501"), (502, "4.5.502"), (581, "4.6.581"), (797, "4.7.797"))
] + [
    # Registry values that count as "not installed", and one that does not.
    Case("setup-version-missing", 4, [final(260)], registry=with_registry(SetupVersion=None)),
    Case("setup-version-minus-one", 4, [final(260)],
         registry=with_registry(SetupVersion=0xFFFFFFFF), locale="cs"),
    Case("program-folder-empty", 4, [final(260)], registry=with_registry(Teskor4ProgramFolder="")),
    Case("setup-version-two-bytes", 4, [final(260)],
         registry=with_registry(SetupVersion=b"\x84\x03")),
    Case("setup-version-binary-four-bytes", 0, [final(256, **UPDATED)],
         registry=with_registry(SetupVersion=b"\x84\x03\x00\x00")),
    Case("program-folder-trailing-backslash", 0, [final(256, **UPDATED)],
         registry=with_registry(Teskor4ProgramFolder="{program}\\")),

    # Installed and offered versions.
    Case("no-setup-ini", 0, [final(256, OLDVER="?", NEWVER="0701-E3")], setup_ini=None),
    Case("package-without-setup-part", 8, [final(264, NSVER="4.7.-1", OSVER="4.7.900")],
         package=[PACKAGE[0]]),

    # Without /sfxstorage the package is looked up in the current directory.
    Case("no-storage-folder-uses-current-directory", 0, [final(256, **UPDATED)], arguments="",
         directory="storage",
         calls=[("kovrelUpdatePackages", None, "/sfx /sfxstorage ", "0xFFFFFFFF"), FILES_CALL]),

    # Paths pass through the real command line in the ANSI code page: a quoted folder may hold
    # any letters; unquoted, the folder ends at its first space.
    Case("storage-folder-with-czech-letters", 0, [final(256, **UPDATED)], locale="cs",
         storage_name="Aktualizace databáze", calls=[PACKAGES_CALL, FILES_CALL]),
    Case("storage-folder-unquoted-is-cut", 2,
         [package_box("{storage_head}\\prod-qn_pro.wqu", "qn_pro"), final(258)],
         arguments="/sfxstorage {storage}"),

    # /lang overrides the locale's language; the texts then come in the locale's code page.
    Case("lang-cze-in-english-locale", 4, [final(260)], arguments="/lang cze " + ARGUMENTS,
         registry=None, language=CZECH),
    Case("lang-eng-in-czech-locale", 4, [final(260)], arguments="/lang eng " + ARGUMENTS,
         registry=None, locale="cs", language=ENGLISH),
    Case("lang-sk-in-german-locale", 4, [final(260)], arguments="/lang sk " + ARGUMENTS,
         registry=None, locale="de", language=CZECH),
    Case("lang-hex-41b", 4, [final(260)], arguments="/lang 0x41b", registry=None,
         language=CZECH),
    Case("lang-hex-low-16-bits", 1, [final(257)], arguments="-LANG 10405 " + ARGUMENTS,
         package=[("wqd", "wqd", "0701E2"), PACKAGE[1]], language=CZECH),
    Case("lang-upper-case-is-hex", 4, [final(260)], arguments="/lang CZE", registry=None,
         locale="cs", language=ENGLISH),
    Case("lang-deu-in-slovak-locale", 7, [final(263)], arguments="/lang deu " + ARGUMENTS,
         answers={"packages": {"result": 5, "status": "0x2000000a"}}, locale="sk",
         language=ENGLISH),

    # The self-check: one changed byte fails it before the command line is read, so the box shows
    # in the locale's language and in spite of /silent.
    Case("self-check-changed-byte-cs", 2, [final(258)], program="tampered", locale="cs",
         arguments="/lang eng /silent " + ARGUMENTS, calls=[]),
    Case("self-check-changed-byte-en", 2, [final(258)], program="tampered", locale="en",
         arguments="/lang cze /silent " + ARGUMENTS, calls=[]),
    # Authenticode first, then zuksign: the trailer stands before the certificate table.
    Case("authenticode-then-zuksign", 0, [final(256, **UPDATED)], program="authenticode",
         calls=[PACKAGES_CALL, FILES_CALL]),
    Case("zuksign-then-authenticode-fails", 2, [final(258)], program="authenticode-after",
         locale="cs"),
]


def format_text(template, installation):
    storage = installation.path(installation.storage)
    return template.format(storage=storage, storage_head=storage.split(" ")[0],
                           program=installation.path(installation.program))


def set_up(bench, case):
    installation = winebench.Installation(bench, case.name, storage_name=case.storage_name)
    if case.registry is not None:
        values = {name: format_text(value, installation) if isinstance(value, str) else value
                  for name, value in case.registry.items()}
        installation.register(values, oem=case.oem)
    else:
        installation.register(None)
    if case.setup_ini is not None:
        installation.write_setup_ini(case.setup_ini)
    if case.package is not None:
        installation.make_package(case.package, case.package_file)
    if case.package_bytes is not None:
        (installation.storage / case.package_file).write_bytes(case.package_bytes)
    if case.garbage_library:
        (installation.setup / "kovrel.dll").write_bytes(b"MZ this is no library\r\n" * 40)
    if case.library is not None:
        installation.place_library(case.library, case.library_name)
        installation.write_library_case(case.answers.get("packages"), case.answers.get("files"))
    return installation


def expected_boxes(case, installation):
    """(caption, text, icon, picture key) of every box the case must show, in order."""
    boxes = []
    for kind, first, second in case.boxes:
        if kind == "final":
            caption, text, icon = messages.final_box(first, case.language, **second)
            key = "message-%d-%s" % (first, "cs" if case.language == CZECH else "en")
        else:
            caption, text, icon = second, format_text(first, installation), "none"
            key = "package-failure"
        boxes.append((caption, text, icon, key))
    return boxes


def test_windows_language_follows_the_locale(bench):
    """What Wine reports as the user's default language and ANSI code page in each locale."""
    seen = {}
    for locale in winebench.LOCALES:
        run = bench.run("C:\\windows\\system32\\hostname.exe", "", locale=locale, pictures=False)
        seen[locale] = (run.langid, run.acp)
    assert seen == {"cs": (0x0405, 1250), "sk": (0x041B, 1250), "de": (0x0407, 1252),
                    "en": (0x0409, 1252)}


@pytest.mark.parametrize("case", CASES, ids=[case.name for case in CASES])
def test_case(bench, programs, pictures, case):
    installation = set_up(bench, case)
    directory = installation.storage if case.directory == "storage" else None
    files_before = snapshot(installation.root)
    run = bench.run(programs.get(case.program), format_text(case.arguments, installation),
                    locale=case.locale, directory=directory)

    assert not run.timed_out, "the updater did not end"
    code_page = 1250 if case.locale in ("cs", "sk") else 1252
    assert run.acp == code_page, "Wine's ANSI code page for %s" % case.locale

    expected = expected_boxes(case, installation)
    shown = [(box.caption, box.text, box.icon) for box in run.boxes]
    assert len(run.boxes) == len(expected), "boxes shown: %r" % shown
    for box, (caption, text, icon, key) in zip(run.boxes, expected):
        # The bytes handed to MessageBoxA, and what the box displays from them.
        assert box.caption_ansi == winebench.ansi_encode(caption, code_page)
        assert box.text_ansi == winebench.ansi_encode(text, code_page)
        assert box.caption == box.caption_ansi.decode("cp%d" % code_page)
        assert box.text == box.text_ansi.decode("cp%d" % code_page)
        if winebench.ansi_encode(text, code_page).decode("cp%d" % code_page) == text:
            assert box.text == text  # nothing substituted: Czech in code page 1250
        assert box.icon == icon, "icon scores %r" % box.icon_scores
        assert box.buttons == ["OK"]
        pictures.keep(key, box)

    # The exit code is the RunState.
    assert run.exit_code == case.exit

    if case.calls is not None:
        calls = installation.library_calls(code_page)
        expected_calls = [(entry, oem, format_text(command, installation), status)
                          for entry, oem, command, status in case.calls]
        assert [(c["entry"], c["oem"], c["command"], c["status"]) for c in calls] == expected_calls
        assert all(c["first"] == 1 and c["second"] == 2 for c in calls)
    if case.check is not None:
        case.check(installation, run)

    # The updater writes no file of its own; it only copies kovrel.ovr over kovrel.dll. The test
    # installer library writes its record of the calls.
    allowed = {"Program/setup/kovrel-calls.txt"}
    if case.library_name == "kovrel.ovr":
        allowed.add("Program/setup/kovrel.dll")
    files_after = snapshot(installation.root)
    changed = {name for name in files_before.keys() | files_after.keys()
               if files_before.get(name) != files_after.get(name)}
    assert changed <= allowed


def test_authenticode_layout(programs, bench):
    """The trailer of the Authenticode variant stands before the certificate table."""
    data = bench.unix_path(programs.get("authenticode")).read_bytes()
    header = struct.unpack_from("<I", data, 60)[0]
    table = struct.unpack_from("<I", data, header + 152)[0]
    assert 0 < table < len(data)
    end = table
    while data[end - 1] == 0 and table - end < 7:
        end -= 1
    assert data[end - 8:end] == b"ZUKSignd"
    assert data[-8:] != b"ZUKSignd"
