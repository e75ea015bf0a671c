// A TinyXML document with a cursor, read and written through colon-separated keys.
//
// Keys resolve from the cursor: "Configuration:Version" is the `Configuration` child of the cursor,
// then its `Version` child. The index picks among same-named elements for the last component only.
// Values are UTF-8 inside the document and UTF-16 outside; a read hands out at most 1023 units.
//
// One thread at a time per instance; nothing here locks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tinyxml.h>

#include "foundation/VexoWString.h"

namespace VexoSource {

class VexoXmlDoc {
public:
    // Units of the caller's read buffer; the last one always stays the terminating zero.
    static constexpr size_t kReadBufferUnits = 1024;
    static constexpr size_t kMaxValueUnits = kReadBufferUnits - 1;

    VexoXmlDoc();
    ~VexoXmlDoc();
    VexoXmlDoc(const VexoXmlDoc&) = delete;
    VexoXmlDoc& operator=(const VexoXmlDoc&) = delete;

    // Bounds of the files read whole (regular files only, BoundedRead.h). A configuration holds a
    // few dozen values, the language table every text in a few languages; each is far below its
    // bound, and a file past it is no such file.
    static constexpr size_t kConfigFileLimit = 1u << 20;
    static constexpr size_t kLanguageFileLimit = 4u << 20;

    // Replaces the content with the file's. A file that does not load leaves an empty document
    // (never a half-parsed one). The cursor returns to the document either way. A file that is
    // not a regular one or holds more than limit bytes is not read at all.
    bool LoadFile(const std::string& path, size_t limit = kConfigFileLimit);
    // Why the last LoadFile failed, for the log: the file's problem or the parser's; empty after
    // a load that succeeded.
    const std::string& LoadProblem() const { return loadProblem_; }

    // Writes the document through a temporary file in the same folder that is flushed and renamed
    // over `path`, so a crash mid-save never leaves a truncated file. Failures are logged.
    void SaveFile(const std::string& path);
    // As SaveFile, reporting the outcome.
    bool SaveFileChecked(const std::string& path);

    // Creates `path` empty (truncating an existing file). Logs "VexoFileCreate failed" on failure.
    bool CreateFile(const std::string& path);

    // Parses XML text (UTF-8). On success the document holds exactly that text's content and the
    // cursor is at the document; on failure the parser's error is logged and document and cursor
    // stay as they were. A reference from Document() is valid until the next successful
    // ParseText.
    bool ParseText(const std::string& text);

    // Copies the value of `key` (index among the last component's namesakes) into `buffer`, which
    // the caller zero-fills and which holds kReadBufferUnits units. False when there is no text
    // value or it is not valid UTF-8; the buffer is then untouched.
    bool ReadValue(const std::string& key, int32_t index, char16_t* buffer);

    int32_t ReadInt(const std::string& key, int32_t def, int32_t index = 0);
    float ReadFloat(const std::string& key, double def, int32_t index = 0);
    // The result carries the default's ignore-case flag.
    VexoWString ReadText(const std::string& key, const VexoWString& def, int32_t index = 0);

    // Sets the value of `key`; index -1 appends a whole new record rooted at the first component.
    // Returns how many elements named like the first component the cursor now has, or 0 when the
    // write is rejected (empty key, a component that is not an XML name, text with an unpaired
    // surrogate); a rejected write leaves the document untouched.
    int32_t WriteValue(const std::string& key, const std::u16string& value, int32_t index);
    // The typed writers return WriteValue's result minus 1: the position of the last record of
    // the first component's name, -1 when rejected.
    int32_t WriteInt(const std::string& key, int32_t value, int32_t index = 0);
    int32_t WriteFloat(const std::string& key, double value, int32_t index = 0);
    int32_t WriteText(const std::string& key, const VexoWString& value, int32_t index = 0);

    // Number of nodes named like the key's last component, from the first one on along its
    // siblings. An empty key is rejected with 0.
    int32_t Count(const std::string& key);

    // Moves the cursor into the index-th child element named `tag` (text before a ':' only).
    bool PushTag(const std::string& tag, int32_t index);
    // Moves the cursor one level up; returns the new depth (0 at the document).
    int32_t PopTag();

    TiXmlDocument& Document() { return *document_; }

private:
    std::unique_ptr<TiXmlDocument> document_;
    std::unique_ptr<TiXmlNode*> cursor_;  // a cell of its own: it survives document replacement
    int32_t depth_ = 0;
    std::string loadProblem_;

    void ResetCursor();
};

}  // namespace VexoSource
