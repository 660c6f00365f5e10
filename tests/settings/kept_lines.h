// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The check that a save of the settings file lost none of the lines the
// program does not own, shared by the core's tests and the window's.

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace kept_lines_detail {

// Collects a message with <<; becomes the string.
class Text {
public:
    template <typename T>
    Text& operator<<(const T& value)
    {
        m_stream << value;
        return *this;
    }
    operator std::string() const { return m_stream.str(); }

private:
    std::ostringstream m_stream;
};

}   // namespace kept_lines_detail

// Lines as a text editor sees them, one after the other: split after every
// "\n"; "\r\n" is one ending. Stores nothing, so that ten million lines cost
// no memory.
class LineReader {
public:
    explicit LineReader(std::string_view content) : m_content(content) {}
    bool next(std::string_view& text, std::string_view& ending)
    {
        if (m_at >= m_content.size())
            return false;
        const std::size_t newline = m_content.find('\n', m_at);
        if (newline == std::string_view::npos) {
            text = m_content.substr(m_at);
            ending = {};
            m_at = m_content.size();
            return true;
        }
        const bool crlf = newline > m_at && m_content[newline - 1] == '\r';
        const std::size_t end = crlf ? newline - 1 : newline;
        text = m_content.substr(m_at, end - m_at);
        ending = m_content.substr(end, newline + 1 - end);
        m_at = newline + 1;
        return true;
    }
    bool atEnd() const { return m_at >= m_content.size(); }

private:
    std::string_view m_content;
    std::size_t m_at = 0;
};

inline std::size_t LineCount(std::string_view content)
{
    LineReader reader(content);
    std::string_view text, ending;
    std::size_t count = 0;
    while (reader.next(text, ending))
        ++count;
    return count;
}

inline bool IsOwnedLine(std::string_view text)
{
    static const char* const kOwned[] = {
        "[COG]",      "[Output]", "[Size]", "threshold=", "showeffect=", "ignoreIncomplete=",
        "autocolor=", "color=",   "width=", "height=",    "auto=",       "debayersafe="};
    for (const char* owned : kOwned) {
        const std::string_view o(owned);
        if (o.back() == ']' ? text == o : text.starts_with(o))
            return true;
    }
    return false;
}

// Empty when every line of original is in saved, in the same order, byte for byte with
// its ending; saved holds besides them only lines of the program's own
// sections and keys. Lines at the indexes in changeable are the program's
// keys: only the text after their "=" and the blanks after it may differ.
// The last line may gain an ending when something was added after it.
// Otherwise, what is wrong.
inline std::string LinesKeptProblem(std::string_view original, std::string_view saved,
                                    const std::vector<std::size_t>& changeable = {})
{
    auto shown = [](std::string_view text) { return std::string(text.substr(0, 60)); };
    LineReader before(original);
    LineReader after(saved);
    std::string_view text, ending, candidate, candidateEnding;
    std::size_t j = 0;
    for (std::size_t i = 0; before.next(text, ending); ++i) {
        const bool last = before.atEnd();
        const bool mayChange = std::find(changeable.begin(), changeable.end(), i) != changeable.end();
        std::string_view prefix = text;
        if (mayChange) {
            std::size_t valueStart = text.find('=') + 1;
            while (valueStart < text.size() && (text[valueStart] == ' ' || text[valueStart] == '\t'))
                ++valueStart;
            prefix = text.substr(0, valueStart);
        }
        bool found = false;
        while (!found && after.next(candidate, candidateEnding)) {
            bool textMatches = mayChange ? candidate.starts_with(prefix) : candidate == text;
            bool endingMatches = candidateEnding == ending;
            if (ending.empty() && last) {
                // The last line, when something follows it now, has an ending
                // (a "\r" it ended with then belongs to a "\r\n").
                endingMatches = true;
                textMatches =
                    textMatches || (!mayChange && candidateEnding == "\r\n" && std::string(candidate) + "\r" == text);
            }
            if (textMatches && endingMatches)
                found = true;
            else if (!IsOwnedLine(candidate))
                return kept_lines_detail::Text()
                    << "saved line " << j << " (" << candidate.size() << " bytes, '" << shown(candidate)
                    << "') is neither original line " << i << " ('" << shown(text) << "') nor one of the program's own";
            ++j;
        }
        if (!found)
            return kept_lines_detail::Text()
                << "original line " << i << " ('" << shown(text) << "') is missing after the save";
    }
    while (after.next(candidate, candidateEnding)) {
        if (!IsOwnedLine(candidate))
            return kept_lines_detail::Text()
                << "saved line " << j << " ('" << shown(candidate) << "') came from nowhere";
        ++j;
    }
    return {};
}
