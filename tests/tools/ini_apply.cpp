// Applies a script of profile-string writes to one file with the portable recipe writer.
//
// Usage: ini_apply SCRIPT TARGET
// The script is the one the Windows reference program reads: one write per line,
// "section<TAB>key<TAB>text". The writes go to a RecipeFileWriter in batches of as many entries as
// one recipe holds, in order, which gives the same file as applying them one by one.
// Exit code: 0 on success, 1 when a write failed (reason on stderr), 2 for unusable arguments.
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "recipes/recipe_file.h"
#include "text/codepage.h"

namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;
constexpr size_t kMaxScriptLine = 1024;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: ini_apply SCRIPT TARGET\n");
        return kExitUsage;
    }
    FILE* script = fopen(argv[1], "rb");
    if (script == nullptr) {
        fprintf(stderr, "cannot open script %s\n", argv[1]);
        return kExitUsage;
    }
    Codepage codepage;
    std::string error;
    if (!codepage.Open("Windows-1252", &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return kExitUsage;
    }
    // The entry list keeps pointers to its section and key names; they live here.
    std::deque<std::string> names;
    RecipeFileWriter writer(&codepage);
    RecipeEntryList batch;
    int result = 0;
    bool changed = false;
    char line[kMaxScriptLine];
    unsigned lineNumber = 0;
    while (result == 0 && fgets(line, sizeof line, script) != nullptr) {
        ++lineNumber;
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0') {
            continue;
        }
        char* firstTab = strchr(line, '\t');
        char* secondTab = firstTab ? strchr(firstTab + 1, '\t') : nullptr;
        if (secondTab == nullptr) {
            fprintf(stderr, "script line %u: not section<TAB>key<TAB>text\n", lineNumber);
            result = kExitUsage;
            break;
        }
        if (batch.size() == kRecipeEntryCapacity) {
            if (!writer.Write(argv[2], batch, &changed, &error)) {
                result = kExitWriteFailed;
                break;
            }
            batch = RecipeEntryList();
        }
        names.emplace_back(line, firstTab);
        const char* section = names.back().c_str();
        names.emplace_back(firstTab + 1, secondTab);
        batch.WriteEntry(section, names.back().c_str(), secondTab + 1);
    }
    fclose(script);
    if (result == 0 &&
        (!writer.Write(argv[2], batch, &changed, &error) || !writer.Finish(&error))) {
        result = kExitWriteFailed;
    }
    if (result == kExitWriteFailed) {
        fprintf(stderr, "%s\n", error.c_str());
    }
    return result;
}
