// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/utf8_text.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The night report's text as its two formats take it. File names come from
// the file system, which holds bytes, not text: a byte that starts no valid
// UTF-8 sequence reads as U+FFFD in both, never as a broken document.
namespace orbicrop::night {

using ::JsonString;
using ::ValidUtf8;
// For element text and quoted attribute values alike.
std::string HtmlText(std::string_view text);
std::string Base64(const std::vector<std::uint8_t>& bytes);

}   // namespace orbicrop::night
