// The error numbers the program raises, with their texts, in one place: every caller that
// raises one of them builds it here, so the same condition always reads the same. Some
// numbers are the platform's own (E_FAIL and the data provider's HRESULTs), kept because
// callers and users know them.
#pragma once
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace vcm {

namespace err {
// The runtime's own conditions.
inline constexpr long kInvalidCall = 5;
inline constexpr long kOverflow = 6;
inline constexpr long kOutOfMemory = 7;
inline constexpr long kSubscriptOutOfRange = 9;
inline constexpr long kTypeMismatch = 13;
// Resources, control arrays and grids.
inline constexpr long kResourceNotFound = 326;
inline constexpr long kNoControlArrayElement = 340;
inline constexpr long kGridSubscript = 381;  // a grid row or column outside the grid
// The registry reader: a value of a type it does not read.
inline constexpr long kUnsupportedValueType = 1001;
// The data objects: records and their state.
inline constexpr long kNoCurrentRecord = 3021;
inline constexpr long kNotUpdatable = 3251;
inline constexpr long kItemNotFound = 3265;
inline constexpr long kObjectClosed = 3704;
inline constexpr long kObjectOpen = 3705;
// The data provider's HRESULTs.
inline constexpr long kProviderFailure = -2147467259;  // 0x80004005, E_FAIL
inline constexpr long kRowNotLocated = -2147217864;    // 0x80040E38
}  // namespace err

Error InvalidCallError(std::wstring_view source);
Error OverflowError(std::wstring_view source);
Error OutOfMemoryError();
Error SubscriptError(std::wstring_view source);
Error TypeMismatchError(std::wstring_view source);
Error ResourceNotFoundError(int id, std::wstring_view source);
Error NoControlArrayElementError(int index, std::wstring_view source);
Error GridSubscriptError(std::wstring_view source);
Error UnsupportedValueTypeError();
Error NoCurrentRecordError(std::wstring_view source);
Error NotUpdatableError(std::wstring_view source);
Error ItemNotFoundError(std::wstring_view name);
Error ObjectClosedError(std::wstring_view source);
Error ObjectOpenError(std::wstring_view source);
Error RowNotLocatedError(std::wstring_view source);
// A data failure with no number of its own: E_FAIL with the condition's text.
Error ProviderError(std::wstring description, std::wstring_view source);

// The text an error trap shows: prefix, number, "(description)", and where it was caught:
// "(error):13 (Type mismatch) in procedure Form_Load of Form frmMain".
std::wstring TrapMessage(std::wstring_view prefix, const Error& error, std::wstring_view procedure,
                         std::wstring_view form);

// A failure the program deliberately goes on past (a silent step, a window procedure's
// catch-all) is written to the debugger output, so that it is not lost to the developer.
void DebugReport(const Error& error) noexcept;

}  // namespace vcm
