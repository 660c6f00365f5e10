// SPDX-License-Identifier: GPL-3.0-or-later
#include "night/escape.h"

#include <cstdio>

namespace orbicrop::night {

std::string HtmlText(std::string_view text)
{
    std::string out;
    for (const char c : ValidUtf8(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Base64(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const std::uint32_t group = std::uint32_t(bytes[i]) << 16 | (left > 1 ? std::uint32_t(bytes[i + 1]) << 8 : 0)
            | (left > 2 ? bytes[i + 2] : 0);
        out += kDigits[group >> 18 & 63];
        out += kDigits[group >> 12 & 63];
        out += left > 1 ? kDigits[group >> 6 & 63] : '=';
        out += left > 2 ? kDigits[group & 63] : '=';
    }
    return out;
}

}   // namespace orbicrop::night
