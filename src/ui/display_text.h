// Conversions between the librarian's 8-bit strings and Qt's strings.
#pragma once

#include <QString>
#include <string>

namespace banklore {

// Status lines, titles and messages: UTF-8 where the bytes are valid UTF-8 (paths on this system
// are), otherwise one character per byte, so no byte is lost to a replacement character.
QString displayText(const std::string& text);

// Patch names are single-byte text; characters outside Latin-1 come back as '?'.
QString nameText(const std::string& name);
std::string nameBytes(const QString& name);

// File paths as the file system spells them.
std::string pathBytes(const QString& path);
QString pathText(const std::string& path);

}  // namespace banklore
