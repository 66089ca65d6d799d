// The eighteen operations: their labels, caption suffixes, default parameter
// texts and the message and fallback of an invalid parameter.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vexo {

struct OperationInfo {
    const char* label;           // item text of the operation list, hint of its button
    const char* captionSuffix;   // appended to the title when the operation starts, or nullptr
    const char* defaultText;     // written into the parameter box when chosen, or nullptr
    const char* invalidMessage;  // shown when the parameter is invalid, or nullptr (not read)
    int32_t fallback;            // used instead of an invalid parameter
};

inline constexpr int kOperationCount = 18;
extern const std::array<OperationInfo, kOperationCount> OperationTable;

// The parameter text as a signed 32-bit integer: leading spaces, an optional
// sign, then decimal digits, or hexadecimal digits after "$", "x", "X", "0x"
// or "0X". Anything else, an empty text, or a value outside the signed 32-bit
// range gives nothing.
std::optional<int32_t> ParseParameter(const std::string& text);

}  // namespace vexo
