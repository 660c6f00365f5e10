// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ini_file.h"

#include "text/ascii_text.h"
#include "fileio/input_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    return orbicrop::text::equalIgnoringAsciiCase(a, b);
}

// A UTF-8 byte order mark written by some editors must not hide the first section.
std::string_view WithoutBom(std::string_view s, std::size_t lineIndex)
{
    if (lineIndex == 0 && s.starts_with("\xEF\xBB\xBF"))
        s.remove_prefix(3);
    return s;
}

std::optional<std::string_view> SectionName(std::string_view line)
{
    const std::string_view t = Trim(line);
    if (!t.starts_with('['))
        return std::nullopt;
    const std::size_t close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

bool IsComment(std::string_view line)
{
    const std::string_view t = Trim(line);
    return t.starts_with(';') || t.starts_with('#');
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

[[noreturn]] void ThrowUnableToWrite(const std::string& path)
{
    throw SettingsError("Unable to write to " + path);
}

bool WriteWhole(const fs::path& target, const std::string& content, std::ios::openmode extra = {})
{
    std::ofstream out(target, std::ios::binary | std::ios::trunc | extra);
    if (!out)
        return false;
    out.write(content.data(), std::streamsize(content.size()));
    out.flush();
    return bool(out);
}

}   // namespace

std::optional<std::int32_t> ParseIniInteger(std::string_view text)
{
    std::string_view s = text;
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.starts_with('$')) {
        base = 16;
        s.remove_prefix(1);
    } else if (s.starts_with("0x") || s.starts_with("0X")) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return std::nullopt;

    // Accumulated in 64 bits and checked at every digit, so no input overflows.
    std::int64_t magnitude = 0;
    const std::int64_t limit = base == 16 ? std::int64_t(0xFFFFFFFF) : std::int64_t(1) << 31;
    for (char c : s) {
        const int digit = base == 16 ? HexDigit(c) : ((c >= '0' && c <= '9') ? c - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    if (base == 10) {
        if (!negative && magnitude > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
        return std::int32_t(negative ? -magnitude : magnitude);
    }
    // Hexadecimal is a 32-bit pattern: $FFFFFFFF is -1, as two's complement has it.
    const std::uint32_t bits = std::uint32_t(magnitude);
    const std::uint32_t value = negative ? std::uint32_t(0u - bits) : bits;
    return std::int32_t(value);
}

namespace {

// More than any settings file holds; a file or a device that gives more is
// not read. Offsets and lengths of lines are 32 bits wide, which this keeps.
constexpr std::size_t kMaxContent = std::size_t(64) << 20;
static_assert(kMaxContent < std::numeric_limits<std::uint32_t>::max());

// The whole content of path, or nothing when it cannot be read or is longer
// than kMaxContent. Opened without waiting, so that a named pipe that has no
// writer reads as empty instead of blocking; a pipe with one (the shell's
// <(...)) is read to its end.
std::optional<std::string> ReadWhole(const std::string& path)
{
    try {
        auto file = orbicrop::fileio::InputFile::open(path);
        std::string content;
        std::vector<std::uint8_t> buffer(std::size_t(1) << 16);
        while (const std::size_t got = file.read(buffer)) {
            content.append(reinterpret_cast<const char*>(buffer.data()), got);
            if (content.size() > kMaxContent)
                return std::nullopt;
        }
        return content;
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

}   // namespace

IniFile::LoadResult IniFile::load(const std::string& path)
{
    m_path = path;
    m_lines.clear();
    m_headers.reset();
    m_loaded.clear();
    m_written.clear();
    std::error_code ec;
    if (!fs::exists(path, ec))
        return ec ? LoadResult::Unreadable : LoadResult::Missing;
    if (fs::is_directory(path, ec))
        return LoadResult::Unreadable;
    std::optional<std::string> read = ReadWhole(path);
    if (!read)
        return LoadResult::Unreadable;
    std::string content = std::move(*read);

    m_lines.reserve(std::size_t(std::count(content.begin(), content.end(), '\n')) + 1);
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t newline = content.find('\n', start);
        if (newline == std::string::npos) {
            m_lines.push_back({std::uint32_t(start), std::uint32_t(content.size() - start), Ending::None, false});
            break;
        }
        const bool crlf = newline > start && content[newline - 1] == '\r';
        const std::size_t end = crlf ? newline - 1 : newline;
        m_lines.push_back({std::uint32_t(start), std::uint32_t(end - start), crlf ? Ending::CrLf : Ending::Lf, false});
        start = newline + 1;
    }
    m_loaded = std::move(content);
    return LoadResult::Loaded;
}

std::string_view IniFile::lineText(const Line& line) const
{
    return std::string_view(line.written ? m_written : m_loaded).substr(line.start, line.length);
}

IniFile::Line IniFile::newLine(std::string_view text, Ending ending)
{
    if (m_written.size() + text.size() > kMaxContent)
        throw std::length_error("settings text too long");
    Line line{std::uint32_t(m_written.size()), std::uint32_t(text.size()), ending, true};
    m_written.append(text);
    return line;
}

const std::vector<std::size_t>& IniFile::headers() const
{
    if (!m_headers) {
        m_headers.emplace();
        for (std::size_t i = 0; i < m_lines.size(); ++i)
            if (SectionName(WithoutBom(lineText(i), i)))
                m_headers->push_back(i);
    }
    return *m_headers;
}

std::optional<std::size_t> IniFile::findSection(std::string_view section) const
{
    for (const std::size_t i : headers()) {
        const auto name = SectionName(WithoutBom(lineText(i), i));
        if (name && SameName(*name, section))
            return i;
    }
    return std::nullopt;
}

std::size_t IniFile::sectionEnd(std::size_t header) const
{
    const auto& all = headers();
    const auto next = std::upper_bound(all.begin(), all.end(), header);
    return next == all.end() ? m_lines.size() : *next;
}

std::optional<IniFile::KeyLine> IniFile::findKey(std::size_t header, std::string_view key) const
{
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const std::string_view text = lineText(i);
        if (IsComment(text))
            continue;
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos)
            continue;
        if (!SameName(Trim(text.substr(0, equals)), key))
            continue;
        std::size_t valueStart = equals + 1;
        while (valueStart < text.size() && IsBlank(text[valueStart]))
            ++valueStart;
        return KeyLine{i, valueStart};
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::readString(std::string_view section, std::string_view key) const
{
    const auto header = findSection(section);
    if (!header)
        return std::nullopt;
    const auto found = findKey(*header, key);
    if (!found)
        return std::nullopt;
    return std::string(Trim(lineText(found->index).substr(found->valueStart)));
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const
{
    const auto text = readString(section, key);
    if (!text)
        return defaultValue;
    return ParseIniInteger(*text).value_or(defaultValue);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

IniFile::Ending IniFile::newLineEnding() const
{
    for (const Line& line : m_lines)
        if (line.ending != Ending::None)
            return line.ending;
    return Ending::Lf;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    const Ending ending = newLineEnding();
    auto header = findSection(section);
    if (!header) {
        if (!m_lines.empty() && m_lines.back().ending == Ending::None)
            m_lines.back().ending = ending;
        std::string name(1, '[');
        name.append(section).push_back(']');
        m_lines.push_back(newLine(name, ending));
        header = m_lines.size() - 1;
        if (m_headers)
            m_headers->push_back(*header);
    }
    if (const auto found = findKey(*header, key)) {
        Line& line = m_lines[found->index];
        std::string text(lineText(line).substr(0, found->valueStart));
        text.append(value);
        line = newLine(text, line.ending);
        return;
    }
    // After the section's last non-blank line, so that the blank lines that
    // part it from the next section stay where they are.
    const std::size_t end = sectionEnd(*header);
    std::size_t insertAt = *header + 1;
    for (std::size_t i = *header + 1; i < end; ++i)
        if (!Trim(lineText(i)).empty())
            insertAt = i + 1;
    if (insertAt == m_lines.size() && !m_lines.empty() && m_lines.back().ending == Ending::None)
        m_lines.back().ending = ending;
    std::string text(key);
    text.push_back('=');
    text.append(value);
    m_lines.insert(m_lines.begin() + std::ptrdiff_t(insertAt), newLine(text, ending));
    // A key line is no header; the headers after it move down a line.
    if (m_headers)
        for (auto it = std::lower_bound(m_headers->begin(), m_headers->end(), insertAt); it != m_headers->end(); ++it)
            ++*it;
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

std::string IniFile::text() const
{
    std::string out;
    out.reserve(m_loaded.size() + m_written.size() + m_lines.size());
    for (const Line& line : m_lines) {
        out += lineText(line);
        if (line.ending == Ending::CrLf)
            out += "\r\n";
        else if (line.ending == Ending::Lf)
            out += '\n';
    }
    return out;
}

void IniFile::save() const
{
    if (m_path.empty())
        ThrowUnableToWrite(m_path);
    const std::string content = text();
    const fs::path target(m_path);
    std::error_code ec;
    // Only a regular file is replaced: never a directory, a named pipe or a
    // device (through a link to /dev/null, say).
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status))
        ThrowUnableToWrite(m_path);
    // A file its owner made read-only stays as it is, as writing it in place
    // would fail; replacing it by a rename would go round that.
    if (fs::exists(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none)
        ThrowUnableToWrite(m_path);

    // A link is written through, not replaced by a file of its own.
    fs::path real = target;
    if (fs::is_symlink(target, ec)) {
        real = fs::weakly_canonical(target, ec);
        if (ec)
            ThrowUnableToWrite(m_path);
    }

    std::random_device random;
    const fs::path temporary =
        real.parent_path() / (real.filename().string() + ".tmp" + std::to_string(random() % 1000000u));
    if (WriteWhole(temporary, content)) {
        // The new file keeps the old one's permissions.
        if (fs::exists(real, ec)) {
            const auto perms = fs::status(real, ec).permissions();
            if (!ec)
                fs::permissions(temporary, perms, ec);
        }
        fs::rename(temporary, real, ec);
        if (!ec)
            return;
    }
    fs::remove(temporary, ec);
    if (!WriteWhole(real, content))
        ThrowUnableToWrite(m_path);
}
