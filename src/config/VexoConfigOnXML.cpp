#include "config/VexoConfigOnXML.h"

#include <cerrno>

#include "foundation/VexoLog.h"
#include "platform/FileSystem.h"

namespace VexoSource {

VexoConfigOnXML::VexoConfigOnXML(const std::string& path, bool writeBack) : path_(path), writeBack_(writeBack) {
    Load();
}

VexoConfigOnXML::~VexoConfigOnXML() { Save(); }

int32_t VexoConfigOnXML::Load() {
    if (xml_.LoadFile(path_)) {
        saveAllowed_ = writeBack_;
        return 1;
    }
    if (!writeBack_) {
        saveAllowed_ = false;
        VexoLogException(L"Configuration file %hs cannot be read; running on defaults", path_);
        return 0;
    }
    if (VexoPlatform::IsMissingOrEmpty(path_)) {
        // Missing or empty: start a new file; the empty document is what gets saved later.
        xml_.CreateFile(path_);
        xml_.LoadFile(path_);
        saveAllowed_ = true;
        return 1;
    }
    const std::string reason = xml_.LoadProblem();
    VexoLogException(L"Configuration file %hs cannot be read (%hs); running on defaults and keeping the file",
                     path_, reason);
    saveAllowed_ = false;
    return 0;
}

int32_t VexoConfigOnXML::Save() {
    if (!writeBack_) {
        VexoLogInfo(L"Configuration file %hs is only read, not written back", path_);
        return 0;
    }
    if (!saveAllowed_) {
        VexoLogInfo(L"Configuration file %hs left as it was: it could not be read", path_);
        return 0;
    }
    return xml_.SaveFileChecked(path_) ? 1 : 0;
}

int32_t VexoConfigOnXML::Count(std::string key) { return xml_.Count(key); }

int32_t VexoConfigOnXML::WriteText(std::string key, VexoWString value, int32_t index) {
    return xml_.WriteText(key, value, index);
}

int32_t VexoConfigOnXML::WriteFloat(std::string key, double value, int32_t index) {
    return xml_.WriteFloat(key, value, index);
}

int32_t VexoConfigOnXML::WriteInt(std::string key, int32_t value, int32_t index) {
    return xml_.WriteInt(key, value, index);
}

VexoWString VexoConfigOnXML::ReadText(std::string key, VexoWString def, int32_t index) {
    return xml_.ReadText(key, def, index);
}

double VexoConfigOnXML::ReadFloat(std::string key, double def, int32_t index) {
    return xml_.ReadFloat(key, def, index);
}

int32_t VexoConfigOnXML::ReadInt(std::string key, int32_t def, int32_t index) {
    return xml_.ReadInt(key, def, index);
}

int32_t VexoConfigOnXML::PushTag(std::string tag, int32_t index) { return xml_.PushTag(tag, index) ? 1 : 0; }

int32_t VexoConfigOnXML::PopTag() { return xml_.PopTag(); }

}  // namespace VexoSource
