// Profile (INI) strings: one key of one section of a text file, with a default.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Texts come back in a buffer of this many wide characters, terminator included,
// so a value is cut at kProfileBufferChars - 1 characters.
constexpr size_t kProfileBufferChars = 260;

// The value of key in section of the file at path, or defaultText when the file,
// the section or the key is missing. A key present with an empty value gives an
// empty text. Section and key names match without regard to case; blanks around
// key and value are dropped; one pair of enclosing quotes is removed; the first
// matching section and the first matching key in it win. Files are ANSI or
// UTF-16LE with a byte order mark. Trailing blanks of the default are dropped.
std::u16string ReadProfileString(const std::u16string& section, const std::u16string& key,
                                 const std::u16string& defaultText, const std::u16string& path);

// The section names of the file, and the key names of its section `section`, in
// the order written, by the same rules; empty when the file cannot be read.
std::vector<std::u16string> ReadProfileSectionNames(const std::u16string& path);
std::vector<std::u16string> ReadProfileKeyNames(const std::u16string& section, const std::u16string& path);

// The same rules over a file's bytes already in memory: the string file a
// single-file installer carries inside itself. Portable: the Linux build's file
// readers above are these over the file's bytes.
std::u16string ReadProfileStringFromBytes(const std::u16string& section, const std::u16string& key,
                                          const std::u16string& defaultText, std::string_view bytes);
std::vector<std::u16string> ReadProfileSectionNamesFromBytes(std::string_view bytes);
std::vector<std::u16string> ReadProfileKeyNamesFromBytes(const std::u16string& section, std::string_view bytes);
// What a missing file, section or key gives: the default without its trailing
// blanks, cut to the buffer.
std::u16string ProfileDefault(const std::u16string& defaultText);

}  // namespace platform
