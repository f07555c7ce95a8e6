"""The updater's captions and messages, as a user reads them, and how the final box looks.

Written out here once more, independently of resources/, so that the suite compares what the
program shows with what it must show.
"""

ENGLISH = 1033
CZECH = 1029

TEXTS = {
    ENGLISH: {
        128: "Error",
        129: "Message",
        256: "Database updated from %OLDVER% to %NEWVER%.\n",
        257: "WQD database is already up to date.",
        258: "Extracting from the file archive failed. It's probably broken, download again, "
             "please.",
        260: "teskor! 4 is probably not yet installed or the installation is broken.\n"
             "Download full install package and reinstall, please.",
        262: "Can't install WQD update. Please, report following errorcodes:\nVer:%OSVER%\n"
             "KV: %KVERROR%\nST: %STERROR%\nLE: %LEERROR%.",
        263: "Installer program is currently used by another process. Try again later, please.",
        264: "This program updates WQD database only for program version %NSVER% or less.\n"
             "Installed program version is %OSVER%.\n"
             "Please download the latest wqdupdate again.",
        265: "This program updates WQD database only for program version 4.7.892 or better. "
             "Please download and update program using full setup, then run wqd update again.",
        266: "This WQD database is older then currently installed. You don't need to update WQD.",
    },
    CZECH: {
        128: "Chyba",
        129: "Zpráva",
        256: "Databáze WQD byla aktualizována z verze %OLDVER% na verzi %NEWVER%.\n",
        257: "Databáze WQD je již aktuální.",
        258: "Souborový archív je pravděpodobně poškozen. Stáhněte jej znovu, prosím.",
        260: "teskor! 4 pravděpodobně není nainstalován, nebo je instalace poškozena.\n"
             "Stáhněte, prosím, plný instalační soubor a přeinstalujte.",
        262: "Nelze nainstalovat novou verzi.\nProsím, dejte nám na vědomí tyto chybové hodnoty:\n"
             "Ver:%OSVER%\nKV: %KVERROR%\nST: %STERROR%\nLE: %LEERROR%.",
        263: "Instalační program je právě využíván jinou částí teskoru. Zkuste to za chvíli "
             "znovu, prosím.",
        264: "Tento program slouží k aktualizaci databáze pouze do verze programu %NSVER%.\n"
             "Nainstalována je verze %OSVER%.\nStáhněte si znovu poslední verzi.",
        265: "Tento program slouží k aktualizaci databáze pouze u programu verze 4.7.892 nebo "
             "vyšší. Stáhněte plnou instalaci a zaktualizujte program, poté znovu spusťte "
             "aktualizaci databáze",
        266: "Tato verze databáze je starší než aktuálně nainstalovaná. Aktualizace není potřeba.",
    },
}


def message_language(locale_or_langid):
    """The language of the texts: Czech for Czech and Slovak, English for everything else."""
    if locale_or_langid in ("cs", "sk", CZECH, 1051):
        return CZECH
    return ENGLISH


def final_box(message_id, language, **placeholders):
    """(caption, text, icon) of the final message message_id with its placeholders filled."""
    text = TEXTS[language][message_id]
    for name in ("OLDVER", "NEWVER", "NSVER", "OSVER", "KVERROR", "STERROR", "LEERROR"):
        if name in placeholders:
            text = text.replace("%" + name + "%", placeholders[name])
    success = message_id in (256, 257)
    caption = TEXTS[language][129 if success else 128]
    return caption, text, "information" if success else "error"
