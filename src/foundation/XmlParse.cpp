#include "foundation/XmlParse.h"

#include <algorithm>

namespace VexoSource {

std::string PaddedForParser(std::string text) {
    text.resize(std::min(text.size(), text.find('\0')));
    text.append(kParsePadding, '\0');
    return text;
}

bool ParseXmlInto(TiXmlDocument& doc, const std::string& text, TiXmlEncoding encoding) {
    doc.Parse(PaddedForParser(text).c_str(), nullptr, encoding);
    return !doc.Error();
}

}  // namespace VexoSource
