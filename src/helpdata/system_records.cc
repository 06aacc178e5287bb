#include "helpdata/helpdata.h"

#include "base/book_error.h"
#include "base/bytes.h"

namespace tessaly {

namespace {

constexpr std::size_t kMaxText = 255;

// The NUL-terminated text at the start of a record's data, cut at the end of
// the record and at 255 bytes.
std::string RecordText(std::span<const std::uint8_t> data) {
  std::string_view text = CStringAt(data, 0);
  return std::string(text.substr(0, kMaxText));
}

}  // namespace

void ReadSystemRecords(std::span<const std::uint8_t> system, SystemRecords& records, Logger& log) {
  std::uint32_t version = 0;
  if (!ReadLE32At(system, 0, version)) RaiseBookError("#SYSTEM file is too short.");
  if (version != 2 && version != 3)
    RaiseBookError("Incorrect version number for #SYSTEM file: %d.", static_cast<int>(version));
  log.Write("Get #SYSTEM info:\n");
  std::size_t cursor = 4;
  while (cursor < system.size()) {
    std::uint16_t code = 0, length = 0;
    // A record header or data that runs past the object ends the walk there.
    if (!ReadLE16At(system, cursor, code) || !ReadLE16At(system, cursor + 2, length)) break;
    const std::size_t start = cursor + 4;
    const std::span<const std::uint8_t> data =
        system.subspan(start, std::min<std::size_t>(length, system.size() - start));
    switch (code) {
      case 0:
        records.contentsFile = RecordText(data);
        log.Write("Contents file : %s\n", records.contentsFile.c_str());
        break;
      case 1:
        records.indexFile = RecordText(data);
        log.Write("Index file    : %s\n", records.indexFile.c_str());
        break;
      case 2:
        records.defaultTopic = RecordText(data);
        log.Write("Default file  : %s\n", records.defaultTopic.c_str());
        break;
      case 3:
        records.title = RecordText(data);
        log.Write("Title         : %s\n", records.title.c_str());
        break;
      case 4: {
        std::uint32_t id = 0;
        if (ReadLE32At(data, 0, id)) records.languageId = static_cast<std::int32_t>(id);
        log.Write("LCID          : %d\n", records.languageId);
        break;
      }
      default:
        break;
    }
    cursor = start + length;
  }
}

int CodePageForLanguage(std::int32_t languageId) {
  // The ids the reader has always named, first.
  switch (languageId) {
    case 1025: return 1256;
    case 1028: return 950;
    case 1029: case 1038: case 1045: case 1060: return 1250;
    case 1032: return 1253;
    case 1033: case 1034: case 1035: case 1039: case 1043: case 1044: case 1053: return 1252;
    case 1037: return 1255;
    case 1041: return 932;
    case 1042: return 949;
    case 1054: return 874;
    case 1055: return 1254;
    case 2052: return 936;
    case 1049: return 1251;
    case 0: return 1252;
    default: break;
  }
  // Every other id by its primary language (low 10 bits) and, where the
  // script differs, its sublanguage.
  const int primary = languageId & 0x3FF;
  const int sub = (languageId >> 10) & 0x3F;
  switch (primary) {
    case 0x03: case 0x06: case 0x07: case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0F: case 0x10:
    case 0x13: case 0x14: case 0x16: case 0x1D: case 0x21: case 0x2D: case 0x36: case 0x38: case 0x3E:
    case 0x41: case 0x56:
      return 1252;  // Western European
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24:
      return 1250;  // Central European
    case 0x1A:      // Croatian, Serbian and Bosnian: Cyrillic sublanguages use 1251
      return (sub == 0x03 || sub == 0x07 || sub == 0x08) ? 1251 : 1250;
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F: case 0x40: case 0x44: case 0x50:
      return 1251;  // Cyrillic
    case 0x08: return 1253;  // Greek
    case 0x1F: return 1254;  // Turkish
    case 0x2C: return sub == 0x02 ? 1251 : 1254;  // Azeri: Cyrillic, Latin
    case 0x43: return sub == 0x02 ? 1251 : 1254;  // Uzbek: Cyrillic, Latin
    case 0x0D: return 1255;  // Hebrew
    case 0x01: case 0x29: case 0x20: return 1256;  // Arabic, Farsi, Urdu
    case 0x25: case 0x26: case 0x27: return 1257;  // Baltic
    case 0x2A: return 1258;  // Vietnamese
    case 0x1E: return 874;   // Thai
    case 0x11: return 932;   // Japanese
    case 0x12: return 949;   // Korean
    case 0x04:  // Chinese: simplified for the PRC and Singapore, traditional elsewhere
      return (sub == 0x00 || sub == 0x02 || sub == 0x04) ? 936 : 950;
    default: return 1251;    // ids that name no language
  }
}

}  // namespace tessaly
