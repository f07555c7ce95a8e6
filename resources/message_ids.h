/* String ids of the program's messages, shared by the resource script and the C++ code.
 *
 * Ids 128 and 129 are the two captions; 256 + RunState is the message of an outcome (259 and 261
 * are not used). The resource compiler reads this file too, so the ids are plain macros; the C++
 * side gets typed constants below them.
 */
#ifndef WQDUPDATE_RESOURCES_MESSAGE_IDS_H
#define WQDUPDATE_RESOURCES_MESSAGE_IDS_H

#define WQD_IDS_CAPTION_ERROR 128
#define WQD_IDS_CAPTION_MESSAGE 129
#define WQD_IDS_UPDATED 256
#define WQD_IDS_UP_TO_DATE 257
#define WQD_IDS_ARCHIVE_BROKEN 258
#define WQD_IDS_NOT_INSTALLED 260
#define WQD_IDS_INSTALL_FAILED 262
#define WQD_IDS_INSTALLER_BUSY 263
#define WQD_IDS_PROGRAM_TOO_NEW 264
#define WQD_IDS_PROGRAM_TOO_OLD 265
#define WQD_IDS_DATABASE_OLDER 266

/* The two languages that have a string table (Czech and English, as LANGIDs). */
#define WQD_LANGUAGE_CZECH 1029
#define WQD_LANGUAGE_ENGLISH 1033

#ifndef RC_INVOKED
#include <cstdint>

constexpr uint32_t kIdCaptionError = WQD_IDS_CAPTION_ERROR;
constexpr uint32_t kIdCaptionMessage = WQD_IDS_CAPTION_MESSAGE;
constexpr uint32_t kIdUpdated = WQD_IDS_UPDATED;
constexpr uint32_t kIdUpToDate = WQD_IDS_UP_TO_DATE;
// The message of a RunState other than Completed is this base plus the RunState.
constexpr uint32_t kIdOutcomeBase = 256;

constexpr uint16_t kLanguageCzech = WQD_LANGUAGE_CZECH;
constexpr uint16_t kLanguageEnglish = WQD_LANGUAGE_ENGLISH;
#endif

#endif /* WQDUPDATE_RESOURCES_MESSAGE_IDS_H */
