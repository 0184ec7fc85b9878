#include "platform/ErrorCodes.h"

namespace vcm {

Error InvalidCallError(std::wstring_view source)
{
    return Error(err::kInvalidCall, L"Invalid procedure call or argument", std::wstring(source));
}

Error OverflowError(std::wstring_view source) { return Error(err::kOverflow, L"Overflow", std::wstring(source)); }

Error OutOfMemoryError() { return Error(err::kOutOfMemory, L"Out of memory"); }

Error SubscriptError(std::wstring_view source)
{
    return Error(err::kSubscriptOutOfRange, L"Subscript out of range", std::wstring(source));
}

Error TypeMismatchError(std::wstring_view source)
{
    return Error(err::kTypeMismatch, L"Type mismatch", std::wstring(source));
}

Error ResourceNotFoundError(int id, std::wstring_view source)
{
    return Error(err::kResourceNotFound, L"Resource with identifier '" + std::to_wstring(id) + L"' not found",
                 std::wstring(source));
}

Error NoControlArrayElementError(int index, std::wstring_view source)
{
    return Error(err::kNoControlArrayElement, L"Control array element '" + std::to_wstring(index) + L"' doesn't exist",
                 std::wstring(source));
}

Error GridSubscriptError(std::wstring_view source)
{
    return Error(err::kGridSubscript, L"Subscript out of range", std::wstring(source));
}

Error UnsupportedValueTypeError() { return Error(err::kUnsupportedValueType, L"Unsupported value type"); }

Error NoCurrentRecordError(std::wstring_view source)
{
    return Error(err::kNoCurrentRecord,
                 L"Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
                 L"current record.",
                 std::wstring(source));
}

Error NotUpdatableError(std::wstring_view source)
{
    return Error(err::kNotUpdatable,
                 L"Current Recordset does not support updating. This may be a limitation of the provider, or of the "
                 L"selected locktype.",
                 std::wstring(source));
}

Error ItemNotFoundError(std::wstring_view name)
{
    return Error(err::kItemNotFound,
                 L"Item cannot be found in the collection corresponding to the requested name or ordinal.",
                 std::wstring(name));
}

Error ObjectClosedError(std::wstring_view source)
{
    return Error(err::kObjectClosed, L"Operation is not allowed when the object is closed.", std::wstring(source));
}

Error ObjectOpenError(std::wstring_view source)
{
    return Error(err::kObjectOpen, L"Operation is not allowed when the object is open.", std::wstring(source));
}

Error RowNotLocatedError(std::wstring_view source)
{
    return Error(err::kRowNotLocated,
                 L"Row cannot be located for updating. Some values may have been changed since it was last read.",
                 std::wstring(source));
}

Error ProviderError(std::wstring description, std::wstring_view source)
{
    return Error(err::kProviderFailure, std::move(description), std::wstring(source));
}

std::wstring TrapMessage(std::wstring_view prefix, const Error& error, std::wstring_view procedure,
                         std::wstring_view form)
{
    std::wstring text(prefix);
    text += std::to_wstring(error.Number());
    text += L" (";
    text += error.Description();
    text += L") in procedure ";
    text += procedure;
    text += L" of Form ";
    text += form;
    return text;
}

void DebugReport(const Error& error) noexcept
{
    try {
        std::wstring line = L"VeltoCredentialsMap: error " + std::to_wstring(error.Number()) + L" (" +
                            error.Description() + L")";
        if (!error.Source().empty())
            line += L" in " + error.Source();
        line += L"\n";
        OutputDebugStringW(line.c_str());
    } catch (...) {
        OutputDebugStringW(L"VeltoCredentialsMap: an error was dropped\n");
    }
}

}  // namespace vcm
