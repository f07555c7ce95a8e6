/* The texts of the two string tables, written once (UTF-8) for every reader of them.
 *
 * WQD_MESSAGE_TEXTS(X) calls X(id, english, czech) for every message, in id order. The resource
 * script expands it into the English (1033) and the Czech (1029) STRINGTABLE, compiled with code
 * page 65001 so that the texts arrive as UTF-16; the host tests build their string blocks from the
 * same rows. "\n" is a line feed in both the resource compiler and C++. A text must not contain a
 * double quote, which the two languages escape differently.
 */
#ifndef WQDUPDATE_RESOURCES_MESSAGE_TEXTS_H
#define WQDUPDATE_RESOURCES_MESSAGE_TEXTS_H

#include "message_ids.h"

/* clang-format off */
#define WQD_MESSAGE_TEXTS(X) \
  X(WQD_IDS_CAPTION_ERROR, \
    "Error", \
    "Chyba") \
  X(WQD_IDS_CAPTION_MESSAGE, \
    "Message", \
    "Zpráva") \
  X(WQD_IDS_UPDATED, \
    "Database updated from %OLDVER% to %NEWVER%.\n", \
    "Databáze WQD byla aktualizována z verze %OLDVER% na verzi %NEWVER%.\n") \
  X(WQD_IDS_UP_TO_DATE, \
    "WQD database is already up to date.", \
    "Databáze WQD je již aktuální.") \
  X(WQD_IDS_ARCHIVE_BROKEN, \
    "Extracting from the file archive failed. It's probably broken, download again, please.", \
    "Souborový archív je pravděpodobně poškozen. Stáhněte jej znovu, prosím.") \
  X(WQD_IDS_NOT_INSTALLED, \
    "teskor! 4 is probably not yet installed or the installation is broken.\nDownload full install package and reinstall, please.", \
    "teskor! 4 pravděpodobně není nainstalován, nebo je instalace poškozena.\nStáhněte, prosím, plný instalační soubor a přeinstalujte.") \
  X(WQD_IDS_INSTALL_FAILED, \
    "Can't install WQD update. Please, report following errorcodes:\nVer:%OSVER%\nKV: %KVERROR%\nST: %STERROR%\nLE: %LEERROR%.", \
    "Nelze nainstalovat novou verzi.\nProsím, dejte nám na vědomí tyto chybové hodnoty:\nVer:%OSVER%\nKV: %KVERROR%\nST: %STERROR%\nLE: %LEERROR%.") \
  X(WQD_IDS_INSTALLER_BUSY, \
    "Installer program is currently used by another process. Try again later, please.", \
    "Instalační program je právě využíván jinou částí teskoru. Zkuste to za chvíli znovu, prosím.") \
  X(WQD_IDS_PROGRAM_TOO_NEW, \
    "This program updates WQD database only for program version %NSVER% or less.\nInstalled program version is %OSVER%.\nPlease download the latest wqdupdate again.", \
    "Tento program slouží k aktualizaci databáze pouze do verze programu %NSVER%.\nNainstalována je verze %OSVER%.\nStáhněte si znovu poslední verzi.") \
  X(WQD_IDS_PROGRAM_TOO_OLD, \
    "This program updates WQD database only for program version 4.7.892 or better. Please download and update program using full setup, then run wqd update again.", \
    "Tento program slouží k aktualizaci databáze pouze u programu verze 4.7.892 nebo vyšší. Stáhněte plnou instalaci a zaktualizujte program, poté znovu spusťte aktualizaci databáze") \
  X(WQD_IDS_DATABASE_OLDER, \
    "This WQD database is older then currently installed. You don't need to update WQD.", \
    "Tato verze databáze je starší než aktuálně nainstalovaná. Aktualizace není potřeba.")
/* clang-format on */

#endif /* WQDUPDATE_RESOURCES_MESSAGE_TEXTS_H */
