// Windows' file-name rule for recipe names, and the recipe path with its length limit.
#include "recipes/recipe_file_name.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "text/ascii_case.h"
#include "text/codepage.h"
#include "text/text_limits.h"
#include "text/unicode_text.h"

namespace {

// Characters the Windows file systems reject in any file name.
const char kForbiddenCharacters[] = "<>:\"/\\|?*";

// Names Windows opens as devices in every directory, with or without an extension.
const char* const kDeviceNames[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "COM1", "COM2",
    "COM3", "COM4", "COM5", "COM6", "COM7",   "COM8",    "COM9", "LPT1",
    "LPT2", "LPT3", "LPT4", "LPT5", "LPT6",   "LPT7",    "LPT8", "LPT9",
};
// Windows also takes these ports followed by the character superscript one, two or three (in
// whatever bytes the name's code page gives it) for COM1 to LPT3.
const char* const kPortNames[] = {"COM", "LPT"};
const char16_t kSuperscriptDigits[] = {u'\u00B9', u'\u00B2', u'\u00B3'};

bool IsControlCharacter(char16_t c) {
    return c < 0x20;
}

bool IsForbiddenCharacter(char16_t c) {
    return c != 0 && c < 0x80 && std::strchr(kForbiddenCharacters, static_cast<char>(c)) != nullptr;
}

// The characters of text in codepage (UTF-8 when null); a byte that forms none gives U+FFFD.
std::u16string CharactersOf(const std::string& text, const Codepage* codepage) {
    std::u16string characters;
    if (codepage != nullptr) {
        codepage->ToUtf16(text, &characters);
    } else {
        AppendUtf8Decoded(text, &characters);
    }
    return characters;
}

// True when text (in codepage, UTF-8 when null) ends in the character kPathSeparator, not just
// in its byte: in code page 932 many a character ends in the byte of '\'. In UTF-8 no byte of a
// character beyond ASCII is that of an ASCII character.
bool EndsInSeparator(const std::string& text, const Codepage* codepage) {
    if (text.empty() || text.back() != kPathSeparator) {
        return false;
    }
    if (codepage == nullptr) {
        return true;
    }
    size_t last = 0;
    for (size_t i = 0; i < text.size(); i = codepage->NextCharacter(text, i)) {
        last = i;
    }
    return last == text.size() - 1;
}

bool IsSuperscriptDigit(const std::u16string& characters) {
    return characters.size() == 1 &&
           std::find(std::begin(kSuperscriptDigits), std::end(kSuperscriptDigits), characters[0]) !=
               std::end(kSuperscriptDigits);
}

// The device name fileName stands for, in capitals but for a superscript digit, or "". "CON",
// "con.x" and "CON .x" are devices (Windows drops blanks at the end of the part before the
// first dot); "CONx" is not. The bytes of '.' and ' ' are never part of another character in
// the ANSI code pages or UTF-8, and the device names are ASCII, so the stem is cut and compared
// as bytes.
std::string DeviceNameOf(const std::string& fileName, const Codepage* codepage) {
    std::string stem = fileName.substr(0, fileName.find('.'));
    stem.erase(stem.find_last_not_of(' ') + 1);
    for (const char* device : kDeviceNames) {
        if (EqualsAsciiNoCase(stem, device)) {
            return device;
        }
    }
    for (std::string_view port : kPortNames) {
        if (stem.size() > port.size() &&
            EqualsAsciiNoCase(std::string_view(stem).substr(0, port.size()), port) &&
            IsSuperscriptDigit(CharactersOf(stem.substr(port.size()), codepage))) {
            return std::string(port) + stem.substr(port.size());
        }
    }
    return "";
}

}  // namespace

bool CheckWindowsFileName(const std::string& fileName, const Codepage* codepage,
                          std::string* reason) {
    if (fileName.empty()) {
        *reason = "its name is empty";
        return false;
    }
    for (char16_t c : CharactersOf(fileName, codepage)) {
        if (IsControlCharacter(c)) {
            *reason =
                "its name holds a control character, which Windows does not allow in a "
                "file name";
            return false;
        }
        if (IsForbiddenCharacter(c)) {
            *reason = std::string("its name holds '") + static_cast<char>(c) +
                      "', which Windows does not allow in a file name";
            return false;
        }
    }
    const std::string device = DeviceNameOf(fileName, codepage);
    if (!device.empty()) {
        *reason = "Windows takes its name for the device " + device;
        return false;
    }
    return true;
}

std::string OutsideCodepageReason(const Codepage& systemCodepage) {
    return "its name has characters outside this PC's code page (" +
           std::to_string(systemCodepage.number()) + ")";
}

bool RecipeFileBaseName(const std::string& setName, const Codepage& namesCodepage,
                        const Codepage* fileNamesCodepage, std::string* fileName,
                        std::string* reason) {
    std::u16string characters;
    if (!namesCodepage.ToUtf16(setName, &characters)) {
        *reason = "its name holds a byte that " + namesCodepage.name() + " leaves undefined";
        return false;
    }
    if (fileNamesCodepage == nullptr) {
        namesCodepage.ToUtf8(setName, fileName);
    } else if (fileNamesCodepage->number() == namesCodepage.number()) {
        *fileName = setName;
    } else if (!fileNamesCodepage->FromUtf16(characters, fileName)) {
        *reason = OutsideCodepageReason(*fileNamesCodepage);
        return false;
    }
    return CheckWindowsFileName(*fileName, fileNamesCodepage, reason);
}

size_t CountCharacters(const std::string& text, const Codepage* codepage) {
    return CharactersOf(text, codepage).size();
}

bool FormRecipePath(const std::string& directory, const std::string& baseName,
                    const Codepage* codepage, std::string* path, std::string* reason) {
    std::string formed = directory;
    if (!EndsInSeparator(directory, codepage)) {
        formed += kPathSeparator;
    }
    formed += baseName;
    formed += kRecipeExtension;
    const size_t characters = CountCharacters(formed, codepage);
    if (characters > kMaxRecipePathChars) {
        *reason = "its recipe path would be " + std::to_string(characters) +
                  " characters long, over the limit of " + std::to_string(kMaxRecipePathChars);
        return false;
    }
    *path = formed;
    return true;
}

DirectoryStep RecipeDirectoryStep(bool exists, size_t characters, std::string* reason) {
    if (exists) {
        return DirectoryStep::kConvertInto;
    }
    if (characters > kMaxCreatableDirectoryChars) {
        *reason = "Windows creates no folder whose path is longer than " +
                  std::to_string(kMaxCreatableDirectoryChars) + " characters; this one has " +
                  std::to_string(characters);
        return DirectoryStep::kRefuse;
    }
    return DirectoryStep::kCreate;
}
