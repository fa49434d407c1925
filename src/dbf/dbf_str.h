// The engine's message texts, fixed and shared by every unit. Placeholders follow printf:
// %s text, %d decimal, %x hexadecimal; format them with fmt::sprintf.
#pragma once

namespace dbf {

inline constexpr const char* STRING_FILE_NOT_FOUND = "Open: file not found: \"%s\".";
inline constexpr const char* STRING_NEED_EXCLUSIVE_ACCESS =
    "Exclusive access is required for this operation.";
inline constexpr const char* STRING_INVALID_DBF_FILE = "Invalid DBF file.";
inline constexpr const char* STRING_INVALID_FIELD_COUNT =
    "Invalid field count: %d (must be between 1 and 4095).";
inline constexpr const char* STRING_RECORD_LOCKED = "Record locked.";
inline constexpr const char* STRING_WRITE_ERROR = "Error while writing occurred. (Disk full?)";
inline constexpr const char* STRING_WRITE_INDEX_ERROR =
    "Error while writing occurred; indexes probably corrupted. (Disk full?)";
inline constexpr const char* STRING_INVALID_VCL_FIELD_TYPE =
    "Cannot create field \"%s\", VCL field type %x not supported by DBF.";
inline constexpr const char* STRING_INVALID_INDEX_TYPE =
    "Invalid index type: can only be string or float.";
inline constexpr const char* STRING_TOO_MANY_INDEXES =
    "Can not create index: too many indexes in file.";
inline constexpr const char* STRING_KEY_VIOLATION =
    "Key violation. (Key already present in file).\r\nIndex: %s\r\nRecord=%d Key='%s'.";
inline constexpr const char* STRING_INDEX_BASED_ON_UNKNOWN_FIELD =
    "Index based on unknown field \"%s\".";
inline constexpr const char* STRING_INDEX_BASED_ON_INVALID_FIELD =
    "Field \"%s\" is an invalid field type to base index on.";
inline constexpr const char* STRING_INDEX_EXPRESSION_TOO_LONG =
    "Index result for \"%s\" too long, >100 characters (%d).";
inline constexpr const char* STRING_INDEX_NOT_EXIST = "Index \"%s\" does not exist.";

// Messages of our own (fmt::format placeholders).
inline constexpr const char* STRING_VALUE_DOES_NOT_FIT =
    "Value {} does not fit field \"{}\" ({} characters).";
inline constexpr const char* STRING_LAYOUT_TOO_LONG =
    "Cannot create a table with records of {} bytes and a header of {} bytes: both must stay "
    "below 65536.";
inline constexpr const char* STRING_CANNOT_LOCK = "Cannot lock the header of \"{}\".";
inline constexpr const char* STRING_RECORD_UNREADABLE = "Record {} of \"{}\" cannot be read.";

}  // namespace dbf
