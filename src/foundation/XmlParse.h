// Parsing XML text with TinyXML, shared by the configuration store and the touch stream decoder.
//
// TinyXML steps over a UTF-8 sequence by the length its lead byte announces even when the text
// ends inside it, and then reads on past the terminator (a data file or a packet ending in a cut
// character is enough). The parser therefore always gets its text followed by kParsePadding zero
// bytes: such a step lands on a zero and parsing ends inside the buffer.
#pragma once

#include <string>

#include <tinyxml.h>

namespace VexoSource {

constexpr size_t kParsePadding = 4;

// The text up to its first zero byte (where TinyXML takes it to end) and the padding.
std::string PaddedForParser(std::string text);

// Parses text (up to its first zero byte) into doc, which should be empty: TinyXML adds to what a
// document already holds. False when the parser reports an error; doc then says which
// (ErrorDesc) and may hold part of a tree.
bool ParseXmlInto(TiXmlDocument& doc, const std::string& text, TiXmlEncoding encoding);

}  // namespace VexoSource
