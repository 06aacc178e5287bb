// The BCP 47 tag (as EPUB metadata and the lang attribute want it) for the
// Windows language id a book records.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly::convert {

// "en-US" for 0x0409, "ja" for 0x0411, ...; the primary language alone when
// the sub-language is not known; "und" (undetermined) for an id not known.
std::string LanguageTag(std::int32_t languageId);

}  // namespace tessaly::convert
