#include "touchstream/TuioDecoder.h"

#include <cstring>
#include <locale>

#include <tinyxml.h>

#include "foundation/VexoLog.h"
#include "foundation/VexoWString.h"
#include "foundation/XmlParse.h"

namespace VexoSource {

TuioDecoder::TuioDecoder() {
    // A '.' decimal point whatever the user's locale says.
    m_stream.imbue(std::locale::classic());
}
TuioDecoder::~TuioDecoder() = default;

void TuioDecoder::LoadStream(const char* text) {
    // The document's narrow text, widened unit by unit as the text helpers do, read by a wide
    // stream in the classic locale.
    const std::u16string wide = Widen(text);
    m_wide.assign(wide.begin(), wide.end());
    m_stream.clear();
    m_stream.str(m_wide);
}

int32_t TuioDecoder::ReadInt(const char* text) {
    if (!text) return 0;
    LoadStream(text);
    int32_t value = 0;
    m_stream >> value;  // a failed read stores 0, an out-of-range one the nearest limit
    return value;
}

float TuioDecoder::ReadFloat(const char* text) {
    if (!text) return 0.0f;
    LoadStream(text);
    float value = 0.0f;
    m_stream >> value;  // the stream accepts no "nan" or "inf": the value is always finite
    return value;
}

TuioDecodeResult TuioDecoder::Decode(const std::string& text, VexoGroup<VexoTUIOTouch_Ele>& touches) {
    // TinyXML adds to what a document holds: every packet gets a document of its own.
    TiXmlDocument doc;
    if (!ParseXmlInto(doc, text, TIXML_ENCODING_UTF8)) {
        VexoLogException(L"%hs", doc.ErrorDesc());
        return TuioDecodeResult::Malformed;
    }
    const TiXmlElement* root = doc.FirstChildElement();
    if (!root) return TuioDecodeResult::NoRoot;

    m_scratch.Release();
    m_alive.clear();
    bool sawCursor = false;
    for (const TiXmlElement* message = root->FirstChildElement(); message; message = message->NextSiblingElement()) {
        const char* name = message->Attribute("NAME");
        if (!name || std::strcmp(name, kCursorProfile) != 0) break;
        sawCursor = true;
        const TiXmlElement* argument = message->FirstChildElement();
        if (!argument) break;
        const char* command = argument->Attribute("VALUE");
        if (command && std::strcmp(command, "alive") == 0) {
            for (const TiXmlElement* id = argument->NextSiblingElement(); id; id = id->NextSiblingElement())
                m_alive.push_back(ReadInt(id->Attribute("VALUE")));
            continue;
        }
        if (!command || std::strcmp(command, "set") != 0) continue;  // "fseq", "source", ...

        // TUIO 1.1 cursors carry five values after the id, some producers seven: read what the
        // message has, never past its last argument, and take the missing values as 0.
        const TiXmlElement* values[kSetValues] = {};
        const TiXmlElement* next = argument->NextSiblingElement();
        for (int i = 0; i < kSetValues && next; ++i, next = next->NextSiblingElement()) values[i] = next;
        auto valueText = [&](int i) { return values[i] ? values[i]->Attribute("VALUE") : nullptr; };

        VexoTUIOTouch_Ele touch;
        touch.id = ReadInt(valueText(0));
        touch.x = ReadFloat(valueText(1));
        touch.y = ReadFloat(valueText(2));
        for (int k = 0; k < 5; ++k) touch.extra[k] = ReadFloat(valueText(3 + k));
        m_scratch.Add(touch);
    }
    if (!sawCursor) return TuioDecodeResult::NoCursor;

    // A touch that is still down but did not change gets no "set": without this a finger held
    // still would read as lifted.
    for (const int32_t id : m_alive) {
        if (m_scratch.Find(id)) continue;
        if (const VexoTUIOTouch_Ele* held = touches.Find(id)) m_scratch.Add(*held);
    }

    touches.CopyFrom(m_scratch);
    return TuioDecodeResult::Touches;
}

}  // namespace VexoSource
