#!/usr/bin/env bash
# The shipped 32-bit build: PE headers and imports that start on Windows XP SP3, no manifest,
# the dialog template and version resource as built, and the ZIP with both programs, the guide
# as a web page and the licence.
set -uo pipefail
source "$(dirname "$0")/common.sh"
make_scratch

GUI_DATA="$RC_SOURCE_DIR/tests/data/gui"
APP="$RC_WIN32_DIR/app/RecipeConverter.exe"
CLI="$RC_WIN32_DIR/cli/rcpconv.exe"
ALLOWED_DLLS="advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll"
[ -f "$APP" ] && [ -f "$CLI" ] || fail "build the mingw32 preset first ($RC_WIN32_DIR)"

# header_is EXE FIELD VALUE: one line of objdump's private header dump.
header_is() {
    grep -qE "^$2[[:blank:]]+$3" "$SCRATCH/$(basename "$1").headers" ||
        fail "$(basename "$1"): $2 is not $3"
}

# imports EXE: "dll function" for every imported function, the DLL in lower case.
imports() {
    awk '/DLL Name:/ { dll = tolower($3); next }
        dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll, $3 }' "$SCRATCH/$(basename "$1").headers"
}

for exe in "$APP" "$CLI"; do
    name=$(basename "$exe")
    objdump -f -p "$exe" >"$SCRATCH/$name.headers" || fail "objdump $name"
    grep -q "file format pei-i386" "$SCRATCH/$name.headers" || fail "$name is not a 32-bit PE"
    header_is "$exe" Magic "010b"
    header_is "$exe" MajorSubsystemVersion 5
    header_is "$exe" MinorSubsystemVersion 1
    header_is "$exe" MajorOSystemVersion 5
    header_is "$exe" MinorOSystemVersion 1
    imports "$exe" >"$SCRATCH/$name.imports"
    [ -s "$SCRATCH/$name.imports" ] || fail "$name: no imports read"
    for dll in $(cut -d' ' -f1 "$SCRATCH/$name.imports" | sort -u); do
        [[ " $ALLOWED_DLLS " == *" $dll "* ]] || fail "$name imports $dll"
    done
    missing=$(grep -v '^#' "$GUI_DATA/xp_sp3_imports.txt" | sort -u |
        comm -13 - <(sort -u "$SCRATCH/$name.imports"))
    [ -z "$missing" ] || fail "$name imports functions not checked against XP SP3:
$missing"
done
header_is "$APP" Subsystem "00000002"
header_is "$CLI" Subsystem "00000003"

# No manifest (resource type 24) in either program: one that states an execution level, as a
# toolchain's default manifest does, turns off registry virtualisation, through which a 32-bit
# program sees the settings Windows kept in a standard user's virtual store. The check must
# catch one: a small program built here with such a manifest fails it.
has_manifest() { grep -qE '^[0-9a-f]+   Entry: ID: 0x000018,' "$SCRATCH/$(basename "$1").headers"; }
for exe in "$APP" "$CLI"; do
    ! has_manifest "$exe" || fail "$(basename "$exe") carries a manifest"
done
cat >"$SCRATCH/manifest.xml" <<'MANIFEST'
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>
    <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
  </requestedPrivileges></security></trustInfo>
</assembly>
MANIFEST
printf '1 24 "%s"\n' "$SCRATCH/manifest.xml" >"$SCRATCH/manifest.rc"
i686-w64-mingw32-windres "$SCRATCH/manifest.rc" -O coff -o "$SCRATCH/manifest.o" ||
    fail "windres of the manifest"
echo 'int main(void) { return 0; }' | i686-w64-mingw32-gcc -x c - -x none "$SCRATCH/manifest.o" \
    -o "$SCRATCH/manifested.exe" || fail "cannot build the program with a manifest"
objdump -p "$SCRATCH/manifested.exe" >"$SCRATCH/manifested.exe.headers" ||
    fail "objdump manifested.exe"
has_manifest "$SCRATCH/manifested.exe" || fail "the manifest check misses a manifest"

# The dialog template exactly as its table gives it, and the version from project().
i686-w64-mingw32-windres -i "$APP" -O rc >"$SCRATCH/resources.rc" || fail "windres"
sed -n '/^"DIAL" DIALOG/,/^END/p' "$SCRATCH/resources.rc" >"$SCRATCH/dial.rc"
diff "$GUI_DATA/dial_template.rc" "$SCRATCH/dial.rc" || fail "the DIAL template differs"
version=$(sed -nE 's/^project\(RecipeConverter VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' \
    "$RC_SOURCE_DIR/CMakeLists.txt")
[ -n "$version" ] || fail "no project version"
for line in " FILEVERSION ${version//./, }, 0" " PRODUCTVERSION ${version//./, }, 0" \
    " FILETYPE 0x1" "      VALUE \"FileVersion\", \"$version\"" \
    "      VALUE \"ProductVersion\", \"$version\"" \
    "      VALUE \"ProductName\", \"Recipe Converter\"" \
    "      VALUE \"OriginalFilename\", \"RecipeConverter.exe\"" \
    "      VALUE \"FileDescription\", \"Converts QZ7165 settings into Wafrline recipes\""; do
    grep -qxF "$line" "$SCRATCH/resources.rc" || fail "VERSIONINFO lacks: $line"
done

# The ZIP: exactly the two programs, the user guide as a web page with its pictures, the manual
# as text, the licence and the sample export, as built.
(cd "$SCRATCH" && cpack --config "$RC_WIN32_DIR/CPackConfig.cmake" -B "$SCRATCH/package" \
    >"$SCRATCH/cpack.log" 2>&1) || fail "cpack: $(cat "$SCRATCH/cpack.log")"
zip="$SCRATCH/package/RecipeConverter-$version-win32.zip"
[ -f "$zip" ] || fail "no $zip"
listing=$(unzip -Z1 "$zip" | sort)
expected=$(printf '%s\n' RecipeConverter.exe rcpconv.exe rcpconv.txt user-guide.html LICENSE.txt \
    qz7165-settings.reg $(cd "$RC_SOURCE_DIR/docs" && ls -- *.png) | sort)
[ "$listing" = "$expected" ] || fail "ZIP holds: $listing"
unzip -q "$zip" -d "$SCRATCH/unzipped" || fail "unzip"
cmp "$SCRATCH/unzipped/RecipeConverter.exe" "$APP" || fail "the ZIP's RecipeConverter.exe differs"
# The guide is a page of its own that needs nothing from elsewhere: no script, no address of
# another site, nothing the renderer left out; each heading and table of the Markdown is there,
# and it shows every picture the ZIP holds, and no other.
guide="$SCRATCH/unzipped/user-guide.html"
markdown="$RC_SOURCE_DIR/docs/user-guide.md"
[ "$(head -n 1 "$guide")" = "<!DOCTYPE html>" ] || fail "user-guide.html is no HTML page"
grep -qF '<meta charset="utf-8">' "$guide" || fail "user-guide.html names no character set"
! grep -qiE '<script|https?:|(src|href)="//|url\(|@import|raw HTML omitted' "$guide" ||
    fail "user-guide.html needs something from elsewhere: $(grep -iE '<script|https?:|//|url\(|@import|omitted' "$guide")"
[ "$(grep -c '^<h[1-6]>' "$guide")" = "$(grep -c '^#' "$markdown")" ] || fail "headings missing"
[ "$(grep -c '^<table>' "$guide")" = "$(grep -c '^|---' "$markdown")" ] || fail "tables missing"
grep -qF "<td>Error: &quot;No Registry entries found&quot;</td>" "$guide" || fail "table cells missing"
shown=$(grep -oE '<img src="[^"]+"' "$guide" | sed -E 's/^<img src="|"$//g' | sort -u)
[ "$shown" = "$(cd "$RC_SOURCE_DIR/docs" && ls -- *.png)" ] || fail "the guide shows: $shown"
# The licence for Notepad: the text of LICENSE, every line ended by CR LF.
[ "$(tr -d '\r' <"$SCRATCH/unzipped/LICENSE.txt")" = "$(cat "$RC_SOURCE_DIR/LICENSE")" ] ||
    fail "LICENSE.txt is not the licence"
[ "$(grep -c $'\r$' "$SCRATCH/unzipped/LICENSE.txt")" = "$(wc -l <"$RC_SOURCE_DIR/LICENSE")" ] ||
    fail "LICENSE.txt: a line without CR LF"
cmp "$SCRATCH/unzipped/qz7165-settings.reg" "$RC_SOURCE_DIR/examples/qz7165-settings.reg" ||
    fail "the sample export differs"
# The manual for Notepad: every line ends in CR LF, and nothing but printable ASCII and blanks.
manual="$SCRATCH/unzipped/rcpconv.txt"
grep -q '^OPTIONS' <(tr -d '\r' <"$manual") || fail "rcpconv.txt has no OPTIONS"
[ "$(grep -c $'\r$' "$manual")" = "$(wc -l <"$manual")" ] || fail "rcpconv.txt: a line without CR LF"
! LC_ALL=C grep -q $'[^\t\r -~]' "$manual" || fail "rcpconv.txt holds control or non-ASCII bytes"
echo "PASS"
