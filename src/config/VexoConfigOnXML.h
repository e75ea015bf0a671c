// The configuration store: an abstract keyed interface and its XML file implementation.
#pragma once

#include <cstdint>
#include <string>

#include "config/VexoXmlDoc.h"
#include "foundation/VexoWString.h"

namespace VexoSource {

class VexoConfgBase {
public:
    virtual ~VexoConfgBase() = default;
    virtual int32_t Load() = 0;
    virtual int32_t Save() = 0;
    virtual int32_t Count(std::string key) = 0;
    virtual int32_t WriteText(std::string key, VexoWString value, int32_t index) = 0;
    virtual int32_t WriteFloat(std::string key, double value, int32_t index) = 0;
    virtual int32_t WriteInt(std::string key, int32_t value, int32_t index) = 0;
    virtual VexoWString ReadText(std::string key, VexoWString def, int32_t index) = 0;
    virtual double ReadFloat(std::string key, double def, int32_t index) = 0;
    virtual int32_t ReadInt(std::string key, int32_t def, int32_t index) = 0;
    virtual int32_t PushTag(std::string tag, int32_t index) = 0;
    virtual int32_t PopTag() = 0;
};

// Binds one document to one file. The constructor loads the file (creating it when it is missing
// or empty); the destructor writes the document back.
//
// A file that exists with content but does not load is the user's, not ours to replace: the store
// then runs on an empty document (every read gives its default) and never saves over that file.
//
// A store opened without write-back only reads its file: it never creates, replaces or saves it
// (the shipped configuration of an installed program, when the user's folder cannot be used).
class VexoConfigOnXML : public VexoConfgBase {
public:
    explicit VexoConfigOnXML(const std::string& path, bool writeBack = true);
    ~VexoConfigOnXML() override;

    // 1 when the file was loaded (or created afresh), 0 when it is kept aside unread or, without
    // write-back, missing.
    int32_t Load() override;
    // 1 when the document was written to the file, 0 when the save failed or was withheld.
    int32_t Save() override;
    int32_t Count(std::string key) override;
    int32_t WriteText(std::string key, VexoWString value, int32_t index) override;
    int32_t WriteFloat(std::string key, double value, int32_t index) override;
    int32_t WriteInt(std::string key, int32_t value, int32_t index) override;
    VexoWString ReadText(std::string key, VexoWString def, int32_t index) override;
    double ReadFloat(std::string key, double def, int32_t index) override;
    int32_t ReadInt(std::string key, int32_t def, int32_t index) override;
    int32_t PushTag(std::string tag, int32_t index) override;
    int32_t PopTag() override;

    const std::string& Path() const { return path_; }
    // False while an unreadable file is being protected from overwriting, and without write-back.
    bool SaveAllowed() const { return saveAllowed_; }

private:
    VexoXmlDoc xml_;
    std::string path_;
    bool saveAllowed_ = true;
    bool writeBack_ = true;
};

}  // namespace VexoSource
