// Windows' file-name rule for recipe names, and the recipe path with its length limit.
#include "conversion/recipe_file_name.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "settings/ascii_case.h"
#include "settings/codepage.h"
#include "settings/text_limits.h"

namespace {

// Characters the Windows file systems reject in any file name.
const char kForbiddenCharacters[] = "<>:\"/\\|?*";

// Names Windows opens as devices in every directory, with or without an extension.
const char* const kDeviceNames[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "COM1", "COM2",
    "COM3", "COM4", "COM5", "COM6", "COM7",   "COM8",    "COM9", "LPT1",
    "LPT2", "LPT3", "LPT4", "LPT5", "LPT6",   "LPT7",    "LPT8", "LPT9",
};
// Windows also takes these ports followed by the character superscript one, two or three (as
// the bytes that character has in the file names of the platform) for COM1 to LPT3.
const char* const kPortNames[] = {"COM", "LPT"};
const char16_t kSuperscriptDigits[] = {u'\u00B9', u'\u00B2', u'\u00B3'};

bool IsControlCharacter(unsigned char c) {
    return c < 0x20;
}

bool IsSuperscriptDigit(const std::u16string& characters) {
    return characters.size() == 1 &&
           std::find(std::begin(kSuperscriptDigits), std::end(kSuperscriptDigits), characters[0]) !=
               std::end(kSuperscriptDigits);
}

// The device name fileName stands for, in capitals but for a superscript digit, or "". "CON",
// "con.x" and "CON .x" are devices (Windows drops blanks at the end of the part before the
// first dot); "CONx" is not.
std::string DeviceNameOf(const std::string& fileName) {
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
            IsSuperscriptDigit(FileNameCharacters(stem.substr(port.size())))) {
            return std::string(port) + stem.substr(port.size());
        }
    }
    return "";
}

}  // namespace

bool CheckWindowsFileName(const std::string& fileName, std::string* reason) {
    if (fileName.empty()) {
        *reason = "its name is empty";
        return false;
    }
    for (char c : fileName) {
        if (IsControlCharacter(static_cast<unsigned char>(c))) {
            *reason =
                "its name holds a control character, which Windows does not allow in a "
                "file name";
            return false;
        }
        if (std::strchr(kForbiddenCharacters, c) != nullptr) {
            *reason = std::string("its name holds '") + c +
                      "', which Windows does not allow in a file name";
            return false;
        }
    }
    const std::string device = DeviceNameOf(fileName);
    if (!device.empty()) {
        *reason = "Windows takes its name for the device " + device;
        return false;
    }
    return true;
}

bool RecipeFileBaseName(const std::string& setName, const Codepage* codepage, std::string* fileName,
                        std::string* reason) {
    if (codepage == nullptr) {
        *fileName = setName;
    } else if (!codepage->ToUtf8(setName, fileName)) {
        *reason = "its name holds a byte that " + codepage->name() + " leaves undefined";
        return false;
    }
    return CheckWindowsFileName(*fileName, reason);
}

size_t CountCharacters(const std::string& text, bool utf8) {
    if (!utf8) {
        return text.size();
    }
    size_t count = 0;
    for (char c : text) {
        const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
        count += continuation ? 0 : 1;
    }
    return count;
}

bool FormRecipePath(const std::string& directory, const std::string& baseName, bool utf8,
                    std::string* path, std::string* reason) {
    std::string formed = directory;
    formed += kPathSeparator;
    formed += baseName;
    formed += kRecipeExtension;
    const size_t characters = CountCharacters(formed, utf8);
    if (characters > kMaxRecipePathChars) {
        *reason = "its recipe path would be " + std::to_string(characters) +
                  " characters long, over the limit of " + std::to_string(kMaxRecipePathChars);
        return false;
    }
    *path = formed;
    return true;
}
