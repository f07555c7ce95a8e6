// Messages and language: which of the two string tables the run speaks, looking a message up by
// id in exactly that language, and filling a message's placeholders.
//
// The texts live as RT_STRING resources in the program's own module, one table in Czech (1029)
// and one in English (1033). uiLanguage holds one of these two after the run's first step, since
// every choice of language passes through collapseLanguage. A lookup never falls back to the
// other language: a miss is an empty text, which the run answers with its "Error:" fallback.
#ifndef WQDUPDATE_DRIVER_MESSAGES_H
#define WQDUPDATE_DRIVER_MESSAGES_H

#include <cstdint>
#include <string>

#include "driver/platform.h"
#include "message_ids.h"

// The language of every text the run shows; 1029 or 1033 once chooseDefaultLanguage has run.
extern uint16_t uiLanguage;

// 1029 (Czech) and 1051 (Slovak) give 1029, every other LANGID gives 1033.
uint16_t collapseLanguage(uint16_t langId);

// The LANGID that stands for the primary language (low 10 bits) of langId: Czech and Slovak give
// 1029, German 1031, Spanish 1034, French 1036, Italian 1040, Dutch 1043, Polish 1045, every
// other language 1033. Not yet collapsed.
uint16_t languageForUserDefault(uint16_t langId);

// Sets uiLanguage from the user's default language (GetUserDefaultLangID), collapsed.
void chooseDefaultLanguage(Platform& platform);

// One string-table block: 16 entries, each a 16-bit count of UTF-16 units and then the units.
constexpr uint32_t kStringBlockEntries = 16;

// Finds entry index (0..15) of the block of size bytes at block. True with *units and *count set
// when the entry is reached and is not empty; false for an empty entry, an index outside the
// block, or a block that ends before the entry or inside it. Never reads outside the block.
bool findStringEntry(const uint8_t* block, uint32_t size, uint32_t index, const uint16_t** units,
                     uint32_t* count);

// Looks message id up in module's string table of exactly language and converts it into buffer
// in the ANSI code page (GetACP; flags WC_COMPOSITECHECK | WC_SEPCHARS). Returns the number of
// bytes written before the terminating zero, at most bufferSize - 1; 0 when there is no text, the
// conversion fails or the text does not fit, and then buffer holds an empty text.
// REQUIRES: buffer holds bufferSize bytes; nothing is written when bufferSize is 0.
uint32_t loadMessage(Platform& platform, ModuleHandle module, uint32_t id, char* buffer,
                     uint32_t bufferSize, uint16_t language);

// Replaces every occurrence of placeholder in text with value, searching on after each inserted
// value so that a value is never searched again. A null or empty placeholder, or a null value,
// leaves text unchanged.
void replaceAll(std::string& text, const char* placeholder, const char* value);

#endif  // WQDUPDATE_DRIVER_MESSAGES_H
