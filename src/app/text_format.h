// Bounded printf-style formatting for the librarian's texts (status lines, titles, messages).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace banklore {

// Formats into at most `capacity` - 1 characters; longer results are cut.
std::string vformatText(std::size_t capacity, const char* format, va_list args)
    __attribute__((format(printf, 2, 0)));
std::string formatText(std::size_t capacity, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace banklore
