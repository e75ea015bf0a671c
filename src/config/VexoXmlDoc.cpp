#include "config/VexoXmlDoc.h"

#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/VexoLog.h"
#include "foundation/XmlParse.h"
#include "platform/BoundedRead.h"
#include "platform/FileReplace.h"
#include "platform/LastError.h"

namespace VexoSource {

// ---------------------------------------------------------------------------------------------
// Key and text helpers

namespace {

// Components between ':'; an empty stretch becomes `filler`. An empty key gives none.
std::vector<std::string> SplitKey(const std::string& key, const std::string& filler) {
    return Split(key, ":", false, filler);
}

// Element names that TinyXML writes back in a form it can parse again. A component outside this
// set (the " " filler of an empty component, a blank, a leading digit) would make the saved file
// unreadable, so writes refuse it.
bool IsWritableName(const std::string& name) {
    if (name.empty()) return false;
    auto first = static_cast<unsigned char>(name[0]);
    if (!(std::isalpha(first) || first == '_' || first >= 0x80)) return false;
    for (unsigned char c : name) {
        if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.' || c >= 0x80)) return false;
    }
    return true;
}

// The number readers work in the "C" locale whatever the process locale says, so that a stored
// "0.300000" reads the same everywhere. Units outside ASCII end the number, as they would for
// wcstol/wcstod.
locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return c;
}

std::string NumberText(const char16_t* text) {
    std::string narrow;
    for (const char16_t* p = text; *p; ++p) narrow.push_back(*p < 0x80 ? char(*p) : '\x01');
    return narrow;
}

// A file as TinyXML's own LoadFile hands it to the parser: up to its first zero byte, with CR LF
// and a lone CR made LF. problem says why it could not be read.
bool ReadXmlFile(const std::string& path, size_t limit, std::string& out, std::string& problem) {
    std::string raw;
    const VexoPlatform::FileReadResult read = VexoPlatform::ReadBoundedFile(path, limit, raw);
    if (!read.Ok()) {
        problem = VexoPlatform::FileReadReason(read);
        return false;
    }
    out.clear();
    out.reserve(raw.size());
    for (size_t k = 0; k < raw.size() && raw[k] != '\0'; ++k) {
        if (raw[k] == '\r') {
            out.push_back('\n');
            if (k + 1 < raw.size() && raw[k + 1] == '\n') ++k;
        } else {
            out.push_back(raw[k]);
        }
    }
    return true;
}

TiXmlElement* NthChildElement(TiXmlNode* node, const std::string& name, int32_t index) {
    if (!node) return nullptr;
    return TiXmlHandle(node).ChildElement(name.c_str(), index).ToElement();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

VexoXmlDoc::VexoXmlDoc() : document_(new TiXmlDocument), cursor_(new TiXmlNode*(nullptr)) { ResetCursor(); }

VexoXmlDoc::~VexoXmlDoc() = default;

void VexoXmlDoc::ResetCursor() {
    *cursor_ = document_.get();
    depth_ = 0;
}

bool VexoXmlDoc::LoadFile(const std::string& path, size_t limit) {
    // Read here rather than by TinyXML so that the parser gets a padded buffer (XmlParse.h), and
    // so that a FIFO or /dev/zero behind the name cannot hang or exhaust the program.
    document_->Clear();
    document_->ClearError();
    loadProblem_.clear();
    std::string text;
    bool ok = false;
    if (!ReadXmlFile(path, limit, text, loadProblem_)) {
        document_->SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
    } else {
        ok = ParseXmlInto(*document_, text, TIXML_DEFAULT_ENCODING);
        if (!ok) loadProblem_ = document_->ErrorDesc();
    }
    if (!ok) document_->Clear();  // a failed parse may have left half a tree behind
    ResetCursor();
    return ok;
}

void VexoXmlDoc::SaveFile(const std::string& path) { SaveFileChecked(path); }

bool VexoXmlDoc::SaveFileChecked(const std::string& path) {
    const VexoPlatform::FileReplaceResult result =
        VexoPlatform::ReplaceFile(path, [this](std::FILE* fp) { return document_->SaveFile(fp); });
    if (result.Ok()) return true;
    VexoPlatform::SetLastError(uint32_t(result.error));
    switch (result.failed) {
        case VexoPlatform::FileReplaceResult::Step::CreateTemp:
            VexoLogException(L"Saving %hs failed: cannot create a temporary file", path);
            break;
        case VexoPlatform::FileReplaceResult::Step::Refused:
            VexoLogException(L"Saving %hs refused: %hs", path, result.refusal);
            break;
        case VexoPlatform::FileReplaceResult::Step::Rename:
            VexoLogException(L"Saving %hs failed: cannot replace the file", path);
            break;
        default:
            VexoLogException(L"Saving %hs failed while writing; the previous file is kept", path);
            break;
    }
    return false;
}

bool VexoXmlDoc::CreateFile(const std::string& path) {
    // Through the file replacer, which keeps its rules for what a name may lead to.
    const VexoPlatform::FileReplaceResult result = VexoPlatform::ReplaceFileWith(path, std::string());
    if (!result.Ok()) {
        VexoPlatform::SetLastError(uint32_t(result.error));
        VexoLogException(L"VexoFileCreate failed");
        return false;
    }
    return true;
}

bool VexoXmlDoc::ParseText(const std::string& text) {
    // TinyXML's Parse appends to what a document already holds; parse into a fresh one so that a
    // reused instance holds exactly the new text, and a failure changes nothing.
    std::unique_ptr<TiXmlDocument> fresh(new TiXmlDocument);
    if (!ParseXmlInto(*fresh, text, TIXML_ENCODING_UTF8)) {
        VexoLogException(L"%hs", fresh->ErrorDesc());
        return false;
    }
    document_ = std::move(fresh);
    ResetCursor();
    return true;
}

bool VexoXmlDoc::ReadValue(const std::string& key, int32_t index, char16_t* buffer) {
    std::vector<std::string> parts = SplitKey(key, " ");
    TiXmlNode* node = *cursor_;
    for (size_t i = 0; i < parts.size() && node; ++i) {
        if (i + 1 < parts.size())
            node = node->FirstChildElement(parts[i].c_str());
        else
            node = NthChildElement(node, parts[i], index);
    }
    if (!node) return false;
    TiXmlNode* first = node->FirstChild();
    if (!first || !first->ToText()) return false;
    std::u16string wide;
    if (!Utf8ToUtf16Strict(first->ValueStr(), wide)) {
        VexoLogDebug(L"Value of %hs is not valid UTF-8; using the default", key);
        return false;
    }
    size_t units = wide.size() < kMaxValueUnits ? wide.size() : kMaxValueUnits;
    // A cut between the two halves of a surrogate pair would leave a lone high surrogate, which
    // makes the whole label fail to show: cut before the pair instead.
    if (units < wide.size() && units > 0 && wide[units - 1] >= 0xD800 && wide[units - 1] <= 0xDBFF) --units;
    std::copy(wide.begin(), wide.begin() + units, buffer);
    return true;
}

int32_t VexoXmlDoc::ReadInt(const std::string& key, int32_t def, int32_t index) {
    std::vector<char16_t> buffer(kReadBufferUnits, 0);
    if (!ReadValue(key, index, buffer.data())) return def;
    // Base 0 as wcstol: "0x" hexadecimal, a leading "0" octal. Values beyond 32 bits saturate,
    // as a 32-bit long would.
    std::string text = NumberText(buffer.data());
    long long v = strtoll_l(text.c_str(), nullptr, 0, CLocale());
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

float VexoXmlDoc::ReadFloat(const std::string& key, double def, int32_t index) {
    std::vector<char16_t> buffer(kReadBufferUnits, 0);
    if (!ReadValue(key, index, buffer.data())) return float(def);
    std::string text = NumberText(buffer.data());
    return float(strtod_l(text.c_str(), nullptr, CLocale()));
}

VexoWString VexoXmlDoc::ReadText(const std::string& key, const VexoWString& def, int32_t index) {
    std::vector<char16_t> buffer(kReadBufferUnits, 0);
    if (!ReadValue(key, index, buffer.data())) return def;
    VexoWString result(std::u16string(buffer.data()));
    result.ignoreCase = def.ignoreCase;
    return result;
}

int32_t VexoXmlDoc::WriteValue(const std::string& key, const std::u16string& value, int32_t index) {
    std::vector<std::string> parts = SplitKey(key, " ");
    if (parts.empty()) {
        VexoLogException(L"Write rejected: empty key");
        return 0;
    }
    for (const std::string& part : parts) {
        if (!IsWritableName(part)) {
            VexoLogException(L"Write rejected: %hs is not a usable element name in key %hs", part, key);
            return 0;
        }
    }
    // The value is a C-style wide text: it ends at its first zero unit.
    std::u16string text = value.substr(0, value.find(u'\0'));
    std::string utf8;
    if (!Utf16ToUtf8Strict(text, utf8)) {
        VexoLogException(L"Write rejected: the value for %hs holds an unpaired surrogate", key);
        return 0;
    }

    const bool append = (index == -1);
    TiXmlNode* node = *cursor_;
    for (size_t j = 0; j < parts.size(); ++j) {
        const bool last = (j + 1 == parts.size());
        TiXmlElement* found = nullptr;
        if (!append) found = last ? NthChildElement(node, parts[j], index) : node->FirstChildElement(parts[j].c_str());
        if (!found) {
            // Build the missing tail j..n-1 and hang it under the current node.
            TiXmlElement* head = new TiXmlElement(parts[j].c_str());
            TiXmlElement* tail = head;
            for (size_t k = j + 1; k < parts.size(); ++k)
                tail = tail->LinkEndChild(new TiXmlElement(parts[k].c_str()))->ToElement();
            tail->LinkEndChild(new TiXmlText(utf8.c_str()));
            node->LinkEndChild(head);
            break;
        }
        node = found;
        if (last) {
            found->Clear();
            found->LinkEndChild(new TiXmlText(utf8.c_str()));
        }
    }

    int32_t count = 0;
    for (TiXmlElement* e = (*cursor_)->FirstChildElement(parts[0].c_str()); e; e = e->NextSiblingElement(parts[0].c_str()))
        ++count;
    return count;
}

int32_t VexoXmlDoc::WriteInt(const std::string& key, int32_t value, int32_t index) {
    return WriteValue(key, FormatText(L"%i", value), index) - 1;
}

int32_t VexoXmlDoc::WriteFloat(const std::string& key, double value, int32_t index) {
    // "%f" in the "C" locale (six decimals), whatever the process locale; the text must fit the
    // 256-unit buffer the value has always been formatted into.
    char buf[512];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    if (res.ec != std::errc() || res.ptr - buf > 255) {
        VexoLogException(L"Write rejected: %f does not fit a value of %hs", value, key);
        return -1;
    }
    return WriteValue(key, Widen(std::string(buf, res.ptr)), index) - 1;
}

int32_t VexoXmlDoc::WriteText(const std::string& key, const VexoWString& value, int32_t index) {
    return WriteValue(key, value.str, index) - 1;
}

int32_t VexoXmlDoc::Count(const std::string& key) {
    std::vector<std::string> parts = SplitKey(key, "");
    if (parts.empty()) {
        VexoLogException(L"Count rejected: empty key");
        return 0;
    }
    TiXmlNode* node = *cursor_;
    for (const std::string& part : parts) {
        node = node->FirstChild(part.c_str());
        if (!node) return 0;
    }
    int32_t count = 0;
    const char* name = parts.back().c_str();
    for (; node; node = node->NextSibling(name)) ++count;
    return count;
}

bool VexoXmlDoc::PushTag(const std::string& tag, int32_t index) {
    std::string name = tag;
    size_t colon = tag.find(':');
    if (colon != std::string::npos && colon > 0) name = tag.substr(0, colon);
    TiXmlElement* found = NthChildElement(*cursor_, name, index);
    if (!found) {
        VexoLogException(L"PushTag - tag not found");
        return false;
    }
    *cursor_ = found;
    ++depth_;
    return true;
}

int32_t VexoXmlDoc::PopTag() {
    if (depth_ <= 0) {
        ResetCursor();
        return 0;
    }
    *cursor_ = (*cursor_)->Parent();
    --depth_;
    return depth_;
}

}  // namespace VexoSource
