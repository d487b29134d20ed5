// Registry hive files for the tests, made here rather than copied from any Windows installation:
// an empty hive written from the published format, then keys and values added with libhivex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes an empty hive at path: a base block and one bin holding the top key, its security
// cell and free space. Returns false with *error.
bool WriteEmptyHive(const std::string& path, std::string* error);

// Writes a hive at path holding what the registry export at exportPath (read in Windows-1252)
// holds under HKEY_LOCAL_MACHINE\SOFTWARE, the top of a SOFTWARE hive, and under a user's
// classes key (HKEY_CURRENT_USER\Software\Classes or HKEY_USERS\<SID>_Classes), the top of a
// UsrClass.dat. Each key is added with its values as the registry stores them after importing
// the export. Returns false with *error.
bool WriteHiveFromExport(const std::string& path, const std::string& exportPath,
                         std::string* error);

// Byte offsets in a hive file that the damage tests use, from the published format.
constexpr size_t kHiveBaseBlockBytes = 4096;
constexpr size_t kHivePrimarySequenceOffset = 4;
constexpr size_t kHiveSecondarySequenceOffset = 8;
constexpr size_t kHiveRootCellOffset = 0x24;  // relative to the first bin
constexpr size_t kHiveBinsSizeOffset = 0x28;
constexpr size_t kHiveChecksumOffset = 0x1FC;  // XOR of the dwords before it
// In a key (nk) cell, counted from the cell's size field.
constexpr size_t kKeySubkeyCountOffset = 0x18;
constexpr size_t kKeySubkeyListOffset = 0x20;
// In a value (vk) cell, counted from the cell's size field.
constexpr size_t kValueLengthOffset = 0x08;
constexpr size_t kValueDataOffset = 0x0C;

// The checksum a base block needs at kHiveChecksumOffset.
uint32_t HiveChecksum(const std::string& hive);
uint32_t ReadLittleEndian32(const std::string& bytes, size_t offset);
void WriteLittleEndian32(std::string* bytes, size_t offset, uint32_t value);
