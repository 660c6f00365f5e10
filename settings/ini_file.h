// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A file could not be written; what() is the text shown to the user,
// "Unable to write to " + the file's path.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A sectioned text file of the common "[Section]" / "key=value" kind, edited
// in place: it keeps every line it was loaded with, byte for byte, and a write
// touches only the line of its own key.
//
// Reading: section and key names match without regard to ASCII letter case;
// the first section of a name and the first key of a name within it count.
// A value is the text after the first '=', without the blanks around it.
// Lines whose first non-blank character is ';' or '#' are comments.
//
// Writing: a key already present keeps its place and the text up to and
// including the blanks after its '='; only the value after them changes. A
// missing key is added after the last non-blank line of its section, a missing
// section at the end of the file. New lines end like the file's first line
// ("\r\n" or "\n"; "\n" for a new file).
//
// Single-threaded; no locking (two programs saving the same file: the last wins).
class IniFile {
public:
    enum class LoadResult { Loaded, Missing, Unreadable };

    IniFile() = default;

    // Replaces the content with the file at path; a missing or unreadable
    // file leaves the content empty. Remembers path for save(). A directory
    // is Unreadable, and so is anything that gives more than 64 MiB (a huge
    // file, /dev/zero). A named pipe is read without waiting for a writer:
    // with none it is empty; the shell's <(...) is read to its end.
    LoadResult load(const std::string& path);
    const std::string& path() const { return m_path; }
    void setPath(const std::string& path) { m_path = path; }

    std::optional<std::string> readString(std::string_view section, std::string_view key) const;
    // Integer reading rules: see ParseIniInteger. defaultValue when the key
    // is missing or its value is not such an integer.
    std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
    // A Boolean is an integer that is true unless 0 (so 2 and -1 are true);
    // defaultValue when it cannot be read as one.
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);
    void writeBool(std::string_view section, std::string_view key, bool value);   // "1" or "0"

    // Writes the content to path() through a temporary file in the same
    // directory that then replaces it, so an interrupted save never leaves a
    // half-written file; where no temporary file can be made beside it, the
    // file is rewritten in place. Throws SettingsError when neither works,
    // and when path names something other than a regular file (a directory,
    // a named pipe, a device), which it never replaces.
    void save() const;

    // The whole content as it would be saved.
    std::string text() const;

private:
    enum class Ending : std::uint8_t { None, Lf, CrLf };
    // A line is a piece of the text as loaded or of the text written since:
    // a file of ten million empty lines takes 12 bytes a line, not a string's.
    struct Line {
        std::uint32_t start;    // offset in m_loaded, or in m_written when written
        std::uint32_t length;   // without the line ending
        Ending ending;          // None only for a last line without one
        bool written;
    };
    struct KeyLine {
        std::size_t index;
        std::size_t valueStart;   // offset of the value in the line's text
    };

    std::string_view lineText(const Line& line) const;
    std::string_view lineText(std::size_t index) const { return lineText(m_lines[index]); }
    Line newLine(std::string_view text, Ending ending);
    std::optional<std::size_t> findSection(std::string_view section) const;
    // Index past the section's header and its lines: where the next section starts.
    std::size_t sectionEnd(std::size_t header) const;
    std::optional<KeyLine> findKey(std::size_t header, std::string_view key) const;
    Ending newLineEnding() const;
    // The indices of the section headers, in order; found once per load and
    // kept as lines are written, so that a lookup passes over the headers
    // instead of every line of a file that may hold millions.
    const std::vector<std::size_t>& headers() const;

    std::string m_path;
    std::string m_loaded;    // the file's bytes as loaded
    std::string m_written;   // the text of every line written since
    std::vector<Line> m_lines;
    mutable std::optional<std::vector<std::size_t>> m_headers;
};

// The integer of an ini value: optional blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$", "0x" or "0X". Empty text, any other
// character, or a number outside 32 bits gives nothing. Hexadecimal takes up to
// 32 bits as they stand, so "$FFFFFFFF" is -1.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);
