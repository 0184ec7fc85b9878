#include "mapping/RestoreArchive.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cwchar>
#include <string_view>

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "platform/Error.h"
#include "platform/FileLineLock.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"
#include "platform/WinHelpers.h"

// Format, version 1. The file is UTF-8 without a byte-order mark; every line ends with CR LF
// and is one of three kinds, its fields separated by TAB:
//   VCMR  1  R  <id> <utc time> <table> <major> <account> <velto alias> <operator> <n>
//            then n times: <column name> <ODBC type number> <value>   then <checksum>
//   VCMR  1  N  <id> <checksum>      the row of record <id> was not removed after all
//   VCMR  1  S  <id> <checksum>      the row of record <id> was restored
// A value is "N" (Null), "T" + text, "I" + decimal integer, "F" + decimal floating point (the
// shortest form that reads back exactly), "B0"/"B1" (bit), or "X" + hex digits (binary).
// Text fields escape '%', TAB, CR, LF and the other control characters as %XX (UTF-8 bytes),
// and a UTF-16 unit that pairs with nothing as %uXXXX, so that any text value comes back unit
// for unit. The checksum is the CRC-32 of the line's bytes before it, in 8 hex digits.

namespace vcm {

namespace {

constexpr std::string_view kMagic = "VCMR";
constexpr char kSeparator = '\t';

uint32_t Crc32(std::string_view bytes)
{
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void AppendHex(std::string& out, unsigned value, int digits)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.push_back(kHex[(value >> shift) & 0xF]);
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendEscaped(std::string& out, std::wstring_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const uint32_t unit = text[i];
        if (unit < 0x20 || unit == 0x7F || unit == '%') {
            out.push_back('%');
            AppendHex(out, unit, 2);
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out += "%u";
            AppendHex(out, unit, 4);
        } else {
            AppendUtf8(out, unit);
        }
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool ParseHex(std::string_view digits, uint32_t& value)
{
    value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return !digits.empty();
}

// Undoes AppendEscaped; false for a field that escaping cannot have produced.
bool Unescape(std::string_view field, std::wstring& text)
{
    std::string utf8;
    text.clear();
    const auto flush = [&] {
        text += FromUtf8(utf8);
        utf8.clear();
    };
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            utf8.push_back(field[i]);
            continue;
        }
        uint32_t unit = 0;
        const bool wide = i + 1 < field.size() && field[i + 1] == 'u';
        const size_t digits = wide ? 4 : 2;
        const size_t start = i + (wide ? 2 : 1);
        if (start + digits > field.size() || !ParseHex(field.substr(start, digits), unit))
            return false;
        flush();
        text.push_back(static_cast<wchar_t>(unit));
        i = start + digits - 1;
    }
    flush();
    return true;
}

void AppendField(std::string& line, std::wstring_view text)
{
    line.push_back(kSeparator);
    AppendEscaped(line, text);
}

void AppendRaw(std::string& line, std::string_view text)
{
    line.push_back(kSeparator);
    line += text;
}

std::string ValueToken(const FieldValue& value)
{
    std::string token;
    if (const auto* text = std::get_if<std::wstring>(&value)) {
        token.push_back('T');
        AppendEscaped(token, *text);
    } else if (const auto* n = std::get_if<long long>(&value)) {
        token.push_back('I');
        token += std::to_string(*n);
    } else if (const auto* d = std::get_if<double>(&value)) {
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof(buffer), *d);
        token.push_back('F');
        token.append(buffer, result.ptr);
    } else if (const auto* b = std::get_if<bool>(&value)) {
        token.push_back('B');
        token.push_back(*b ? '1' : '0');
    } else if (const auto* bytes = std::get_if<std::vector<unsigned char>>(&value)) {
        token.push_back('X');
        for (unsigned char byte : *bytes)
            AppendHex(token, byte, 2);
    } else {
        token.push_back('N');
    }
    return token;
}

bool ParseValue(std::string_view token, FieldValue& value)
{
    if (token.empty())
        return false;
    const std::string_view rest = token.substr(1);
    switch (token[0]) {
    case 'N':
        value = std::monostate{};
        return rest.empty();
    case 'T': {
        std::wstring text;
        if (!Unescape(rest, text))
            return false;
        value = std::move(text);
        return true;
    }
    case 'I': {
        long long n = 0;
        const auto r = std::from_chars(rest.data(), rest.data() + rest.size(), n);
        value = n;
        return r.ec == std::errc() && r.ptr == rest.data() + rest.size();
    }
    case 'F': {
        double d = 0;
        const auto r = std::from_chars(rest.data(), rest.data() + rest.size(), d);
        value = d;
        return r.ec == std::errc() && r.ptr == rest.data() + rest.size();
    }
    case 'B':
        value = rest == "1";
        return rest == "0" || rest == "1";
    case 'X': {
        if (rest.size() % 2 != 0)
            return false;
        std::vector<unsigned char> bytes(rest.size() / 2);
        for (size_t i = 0; i < bytes.size(); ++i) {
            uint32_t byte = 0;
            if (!ParseHex(rest.substr(i * 2, 2), byte))
                return false;
            bytes[i] = static_cast<unsigned char>(byte);
        }
        value = std::move(bytes);
        return true;
    }
    default:
        return false;
    }
}

std::string Sealed(std::string line)
{
    line.push_back(kSeparator);
    AppendHex(line, Crc32(line), 8);
    return line;
}

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find(kSeparator, start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

bool ParseInt(std::string_view text, long long& n)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// The fields of a record line into a record: magic, version, kind, id, time, table, major,
// account, alias, operator, column count, the columns' triples, checksum.
bool ParseRecord(const std::vector<std::string_view>& f, RestoreRecord& record)
{
    long long major = 0;
    long long count = 0;
    if (f.size() < 12 || !ParseInt(f[6], major) || !ParseInt(f[10], count) || count < 0 ||
        f.size() != 12 + static_cast<size_t>(count) * 3)
        return false;
    record.major = static_cast<int>(major);
    const std::pair<size_t, std::wstring*> texts[] = {{3, &record.id},      {4, &record.removedUtc},
                                                      {5, &record.table},   {7, &record.account},
                                                      {8, &record.veltoAlias}, {9, &record.removedBy}};
    for (const auto& [index, text] : texts)
        if (!Unescape(f[index], *text))
            return false;
    record.columns.resize(static_cast<size_t>(count));
    for (size_t c = 0; c < record.columns.size(); ++c) {
        RestoreColumn& column = record.columns[c];
        long long type = 0;
        if (!Unescape(f[11 + c * 3], column.name) || !ParseInt(f[12 + c * 3], type) ||
            !ParseValue(f[13 + c * 3], column.value))
            return false;
        column.sqlType = static_cast<short>(type);
    }
    return true;
}

// What one complete line (without its line end) adds to the archive; false with the reason
// when it is refused.
bool ReadLine(std::string_view line, std::vector<ListedRecord>& records,
              std::vector<std::pair<std::wstring, RecordState>>& markers, std::wstring& reason)
{
    const std::vector<std::string_view> f = SplitFields(line);
    long long version = 0;
    if (f.size() < 5 || f[0] != kMagic || !ParseInt(f[1], version) || version < 1) {
        reason = myLoadResString(IDS_LINE_MALFORMED);
        return false;
    }
    if (version > kRestoreFormatVersion) {
        reason = myLoadResString(IDS_LINE_NEWER_FORMAT) + std::to_wstring(version);
        return false;
    }
    const size_t sealEnd = line.size() - f.back().size();
    uint32_t crc = 0;
    if (f.back().size() != 8 || !ParseHex(f.back(), crc) || crc != Crc32(line.substr(0, sealEnd))) {
        reason = myLoadResString(IDS_LINE_CHECKSUM);
        return false;
    }
    std::wstring id;
    if (f[2] == "R") {
        ListedRecord listed;
        if (ParseRecord(f, listed.record)) {
            records.push_back(std::move(listed));
            return true;
        }
    } else if ((f[2] == "N" || f[2] == "S") && f.size() == 5 && Unescape(f[3], id)) {
        markers.emplace_back(std::move(id), f[2] == "N" ? RecordState::NotRemoved : RecordState::Restored);
        return true;
    }
    reason = myLoadResString(IDS_LINE_MALFORMED);
    return false;
}

std::string ReadAll(const std::wstring& path)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return {};
        ThrowWin32(error, L"CreateFileW " + path);
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr))
            ThrowLastError(L"ReadFile " + path);
        if (got == 0)
            return bytes;
        bytes.append(buffer, got);
    }
}

}  // namespace

std::wstring RestoreFilePath() { return AppFolder() + L"\\" + kRestoreFileName; }

std::string RecordLine(const RestoreRecord& record)
{
    std::string line(kMagic);
    AppendRaw(line, std::to_string(kRestoreFormatVersion));
    AppendRaw(line, "R");
    AppendField(line, record.id);
    AppendField(line, record.removedUtc);
    AppendField(line, record.table);
    AppendRaw(line, std::to_string(record.major));
    AppendField(line, record.account);
    AppendField(line, record.veltoAlias);
    AppendField(line, record.removedBy);
    AppendRaw(line, std::to_string(record.columns.size()));
    for (const RestoreColumn& column : record.columns) {
        AppendField(line, column.name);
        AppendRaw(line, std::to_string(column.sqlType));
        AppendRaw(line, ValueToken(column.value));
    }
    return Sealed(std::move(line));
}

std::string MarkerLine(wchar_t kind, const std::wstring& id)
{
    std::string line(kMagic);
    AppendRaw(line, std::to_string(kRestoreFormatVersion));
    AppendRaw(line, std::string(1, static_cast<char>(kind)));
    AppendField(line, id);
    return Sealed(std::move(line));
}

ArchiveContents ReadRestoreFile(const std::wstring& path)
{
    const std::string bytes = ReadAll(path);
    ArchiveContents contents;
    std::vector<std::pair<std::wstring, RecordState>> markers;
    size_t start = 0;
    for (size_t number = 1; start < bytes.size(); ++number) {
        const size_t end = bytes.find("\r\n", start);
        std::wstring reason;
        if (end == std::string::npos) {
            // A writer that stopped mid-line leaves a last line without its end.
            contents.refused.push_back({number, myLoadResString(IDS_LINE_TRUNCATED)});
            break;
        }
        if (!ReadLine(std::string_view(bytes).substr(start, end - start), contents.records, markers, reason))
            contents.refused.push_back({number, reason});
        start = end + 2;
    }
    for (const auto& [id, state] : markers)
        for (ListedRecord& listed : contents.records)
            if (listed.record.id == id)
                listed.state = state;
    return contents;
}

std::wstring NewRecordId()
{
    static std::atomic<unsigned> counter{0};
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    wchar_t text[64];
    swprintf(text, 64, L"%08lX%08lX-%lX-%X", now.dwHighDateTime, now.dwLowDateTime, GetCurrentProcessId(),
             counter.fetch_add(1));
    return text;
}

std::wstring UtcNowText()
{
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    return text;
}

std::wstring LocalGeneralDate(const std::wstring& utcText)
{
    SYSTEMTIME utc = {};
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (swscanf(utcText.c_str(), L"%4u-%2u-%2uT%2u:%2u:%2uZ", &y, &mo, &d, &h, &mi, &s) != 6)
        return utcText;
    utc.wYear = static_cast<WORD>(y);
    utc.wMonth = static_cast<WORD>(mo);
    utc.wDay = static_cast<WORD>(d);
    utc.wHour = static_cast<WORD>(h);
    utc.wMinute = static_cast<WORD>(mi);
    utc.wSecond = static_cast<WORD>(s);
    SYSTEMTIME local = {};
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return utcText;
    return GeneralDate(local);
}

RestoreWriter::RestoreWriter(std::wstring path) : m_path(std::move(path))
{
    // Append access alone puts every write at the end as one piece, so running copies of the
    // tool can share the file; read access is there for the line lock.
    m_file.reset(CreateFileW(m_path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    if (!m_file)
        ThrowLastError(L"CreateFileW " + m_path);
}

void RestoreWriter::WriteLine(const std::string& line) { WriteLines(line + "\r\n"); }

void RestoreWriter::WriteLines(const std::string& lines)
{
    if (lines.empty())
        return;
    const FileLineLock lock(m_file.get());
    if (const DWORD error = WriteWhole(m_file.get(), lines))
        ThrowWin32(error, L"WriteFile " + m_path);
    // The record must be on disk before the delete it guards commits.
    if (!FlushFileBuffers(m_file.get()))
        ThrowLastError(L"FlushFileBuffers " + m_path);
}

void RestoreWriter::Append(const RestoreRecord& record) { WriteLine(RecordLine(record)); }

void RestoreWriter::AppendAll(const std::vector<RestoreRecord>& records)
{
    std::string lines;
    for (const RestoreRecord& record : records)
        lines += RecordLine(record) + "\r\n";
    WriteLines(lines);
}

void RestoreWriter::MarkNotRemoved(const std::wstring& id) { WriteLine(MarkerLine(L'N', id)); }

void RestoreWriter::MarkNotRemoved(const std::vector<std::wstring>& ids)
{
    std::string lines;
    for (const std::wstring& id : ids)
        lines += MarkerLine(L'N', id) + "\r\n";
    WriteLines(lines);
}

void RestoreWriter::MarkRestored(const std::wstring& id) { WriteLine(MarkerLine(L'S', id)); }

}  // namespace vcm
