#include "device/AdvancedSettings.h"

#include "device/DeviceRequests.h"
#include "foundation/VexoLog.h"

namespace VexoSource {

bool LoadAdvancedSettings(const DeviceHandle& device, AdvancedSettings& out, DeviceConfigRecord& configCheck, MultiConfigRecord& penItem,
                          bool createMissingPen) {
    VexoLogDebug(L"Advanced Setting -> Loading Configuration...");
    // The configuration only shows that the service answers; the sliders show the effects, which
    // must be whole or they would show what an earlier read left.
    if (!ReadRecord(device, GetDeviceConfig, &configCheck, sizeof configCheck, ReadRule::AsAnswered) ||
        !ReadWhole(device, GetEffects, out.effects)) {
        VexoLogException(L"Get response failed! ");
        return false;
    }
    const EffectsRecord& e = out.effects;
    out.positions = PositionsFromEffects(e);
    // The record is packed and the log takes its arguments by reference: pass copies.
    VexoLogDebug(L"msRClickDelay %i:%i", uint32_t{e.msRClickDelay}, out.positions.rClickDelay);
    VexoLogDebug(L"msDClickDelay %i:%i", uint32_t{e.msDClickDelay}, out.positions.dClickDelay);
    VexoLogDebug(L"msRDClickRange %f:%i", static_cast<double>(e.msRDClickRange), out.positions.clickRange);
    VexoLogDebug(L"smoothValue %i:%i", uint32_t{e.smoothValue}, out.positions.smooth);

    const bool answered = ReadMultiConfigItem(device, kPenItemId, penItem);
    out.penState = ReadPenItem(answered, penItem, out.pen);
    if (out.penState == PenItemState::Missing && createMissingPen) {
        // Built afresh: what the service answered for an item it does not hold is no item data.
        penItem = MultiConfigRecord{};
        FillPenItem(penItem, 0);
        WriteWhole(device, SetMultiConfig, penItem);  // its answer is not looked at
    }
    return true;
}

AdvancedWriteResult WriteAdvancedSettings(const DeviceHandle& device, const AdvSettingPositions& positions, bool pen, EffectsRecord& effects,
                                          MultiConfigRecord& penItem, const AdvSettingFields& fields) {
    VexoLogDebug(L"Advanced Setting -> Update Configuration...");
    if (!ReadWhole(device, GetEffects, effects)) {
        VexoLogException(L"Get effects failed! ");
        return AdvancedWriteResult::ReadFailed;
    }
    const EffectsRecord stored = effects;
    WritePositionsToEffects(effects, positions);
    if (!fields.rightClick) effects.rightClick = stored.rightClick;
    if (!fields.rClickDelay) effects.msRClickDelay = stored.msRClickDelay;
    if (!fields.dClickDelay) effects.msDClickDelay = stored.msDClickDelay;
    if (!fields.clickRange) effects.msRDClickRange = stored.msRDClickRange;
    if (!fields.smooth) effects.smoothValue = stored.smoothValue;
    VexoLogDebug(L"msRClickDelay %i", positions.rClickDelay);
    VexoLogDebug(L"msDClickDelay %i", positions.dClickDelay);
    VexoLogDebug(L"msRDClickRange %i", positions.clickRange);
    VexoLogDebug(L"smoothValue %i", positions.smooth);
    if (!WriteWhole(device, SetEffects, effects)) {
        VexoLogException(L"Set effections failed! ");
        return AdvancedWriteResult::EffectsFailed;
    }
    FillPenItem(penItem, pen ? 1 : 0);
    if (!WriteWhole(device, SetMultiConfig, penItem)) {
        VexoLogException(L"Set multi-config failed! ");
        return AdvancedWriteResult::PenFailed;
    }
    return AdvancedWriteResult::Done;
}

}  // namespace VexoSource
