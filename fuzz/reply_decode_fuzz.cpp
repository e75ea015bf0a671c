// The application's decoding of service replies: the device list (and the device choice it
// drives), the product series, the information texts and the records the windows read back.
// Each reply lies in a buffer of exactly its length, so any read past it is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "device/FactoryRules.h"
#include "device/MainFrameRules.h"
#include "device/AdvSettingRules.h"
#include "device/CalibRules.h"
#include "device/TapJudge.h"
#include "foundation/VexoWString.h"
#include "servicelink/ServiceContract.h"
#include "servicelink/VexoRPC.h"

using namespace VexoSource;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// A record as the service sent it: its bytes (short replies leave the rest as the buffer held).
template <typename Record>
Record TakeRecord(FuzzedDataProvider& in) {
    Record record;
    std::memset(&record, 0, sizeof record);
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, sizeof record));
    if (!bytes.empty()) std::memcpy(&record, bytes.data(), bytes.size());
    return record;
}

std::vector<VexoWString> DeviceList(FuzzedDataProvider& in) {
    const std::vector<uint8_t> reply =
        in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, kDeviceListReplyLength));
    std::vector<VexoWString> list{VexoWString(u"untouched")};
    const bool parsed = ParseDeviceList(reply.empty() ? nullptr : reply.data(), int32_t(reply.size()), list);
    if (!parsed) {
        Check(list.size() == 1 && list[0].str == u"untouched");
        return {};
    }
    for (const VexoWString& id : list) {
        Check(!id.str.empty());
        Check(id.str.find(u':') == std::u16string::npos && id.str.find(u'\0') == std::u16string::npos);
        // Choosing a device computes its selector from the identifier's text.
        uint32_t selector = 0xFFFFFFFFu;
        if (DeviceSelectorFromIdentifier(ToNarrow(id.str), selector)) Check(selector <= 8u * 0xFFu);
    }
    return list;
}

void DeviceChoice(FuzzedDataProvider& in) {
    const std::vector<VexoWString> shown = DeviceList(in);
    const std::vector<VexoWString> fresh = DeviceList(in);
    std::vector<std::u16string> items;
    for (const VexoWString& id : shown) items.push_back(id.str);
    std::u16string current;
    if (!items.empty()) current = items[in.ConsumeIntegralInRange<size_t>(0, items.size() - 1)];

    const ChoiceEdit edit = PlanChoiceEdit(items, current, fresh);
    // Replaying the edit as the window does must end with one item per listed device.
    std::vector<std::u16string> after = items;
    bool currentDeleted = false;
    for (size_t index : edit.deletions) {
        Check(index < after.size());
        if (after[index] == current) currentDeleted = true;
        after.erase(after.begin() + long(index));
    }
    for (const std::u16string& id : edit.appends) after.push_back(id);
    Check(after.size() == fresh.size());
    Check(edit.currentGone == currentDeleted);
}

void ProductSeries(FuzzedDataProvider& in) {
    const std::vector<uint8_t> reply = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, kProductSeriesLength));
    std::string series = "kept";
    uint32_t required = 7;
    const bool parsed = ParseProductSeries(reply.empty() ? nullptr : reply.data(), reply.size(), series, required);
    if (!parsed) {
        Check(series == "kept" && required == 7);
        return;
    }
    Check(required == [&] { uint32_t v; std::memcpy(&v, reply.data(), 4); return v; }());
    // Without a non-empty field the previous series stays; otherwise it is a field of the text.
    if (series != "kept") {
        const std::string text(reinterpret_cast<const char*>(reply.data()) + 4, reply.size() - 4);
        Check(!series.empty() && text.find(series) != std::string::npos);
        Check(series.find(':') == std::string::npos && series.find('\0') == std::string::npos);
    }

    DeviceInfoRecord info = TakeRecord<DeviceInfoRecord>(in);
    const std::u16string inches = ScreenSizeNumber(info, series);
    Check(!inches.empty() && inches.size() <= 3);
}

void InformationTexts(FuzzedDataProvider& in) {
    uint8_t status[kRuntimeStatusLength] = {};
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, sizeof status));
    if (!bytes.empty()) std::memcpy(status, bytes.data(), bytes.size());
    Check(TouchPointsText(status).size() <= 3);
    ServiceModeKey(RuntimeRunMode(status));
    const DeviceInfoRecord start = TakeRecord<DeviceInfoRecord>(in);
    const DeviceInfoRecord now = TakeRecord<DeviceInfoRecord>(in);
    const std::u16string firmware = FirmwareText(start.VersionByte(), now.VersionByte());
    Check(firmware.size() >= 3 && firmware.size() <= 4);
}

void Orientation(FuzzedDataProvider& in) {
    const MultiConfigRecord read = TakeRecord<MultiConfigRecord>(in);
    const uint32_t display = in.ConsumeIntegral<uint32_t>();
    MultiConfigRecord out;
    const OrientationAction action = PlanOrientation(read, display, out);
    if (action != OrientationAction::None) {
        uint32_t itemLength = 0;
        std::memcpy(&itemLength, out.data, 4);
        Check(out.itemId == kOrientationItem && out.length == 40 && out.mark == kMultiConfigMark &&
              itemLength == kOrientationItemLength);
    }
}

void AdvancedSettings(FuzzedDataProvider& in) {
    EffectsRecord effects = TakeRecord<EffectsRecord>(in);
    AdvSettingPositions p = PositionsFromEffects(effects);
    // The sliders show each value at its nearest end; what the user then applies must read back
    // as the same positions.
    p.rClickDelay = ClampToSlider(p.rClickDelay, kRClickDelaySlider);
    p.dClickDelay = ClampToSlider(p.dClickDelay, kDClickDelaySlider);
    p.clickRange = ClampToSlider(p.clickRange, kClickRangeSlider);
    p.smooth = ClampToSlider(p.smooth, kSmoothSlider);
    WritePositionsToEffects(effects, p);
    const AdvSettingPositions back = PositionsFromEffects(effects);
    Check(back.rightClick == p.rightClick && back.rClickDelay == p.rClickDelay && back.dClickDelay == p.dClickDelay &&
          back.clickRange == p.clickRange && back.smooth == p.smooth);

    const MultiConfigRecord penReply = TakeRecord<MultiConfigRecord>(in);
    uint32_t pen = 0xFFFFFFFFu;
    const PenItemState state = ReadPenItem(in.ConsumeBool(), penReply, pen);
    if (state != PenItemState::Stored) Check(pen == 0);
    MultiConfigRecord item = penReply;
    FillPenItem(item, pen);
    uint32_t again = 1;
    Check(ReadPenItem(true, item, again) == PenItemState::Stored && again == pen);
}

void Factory(FuzzedDataProvider& in) {
    DeviceConfigRecord config = TakeRecord<DeviceConfigRecord>(in);
    ApplyFactoryDeviceConfig(config);
    Check(config.mouseMode != 0 || config.multiTouchMode != 0);
    const bool multi = in.ConsumeBool();
    SetTouchMode(config, multi);
    Check(config.multiTouchMode == (multi ? 1u : 0u) && config.mouseMode == (multi ? 0u : 1u));
    EffectsRecord effects = TakeRecord<EffectsRecord>(in);
    ApplyFactoryEffects(effects);
    CalibrationRecord calibration = TakeRecord<CalibrationRecord>(in);
    ApplyFactoryCalibration(calibration);
    Check(calibration.enabled == 0);
}

// Any bit pattern: NaN, infinities, denormals, huge values, as a decoded stream may carry them.
float AnyFloat(FuzzedDataProvider& in) {
    const uint32_t bits = in.ConsumeIntegral<uint32_t>();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The calibration's use of the touch stream: any touch sets (any float: NaN, infinities, huge;
// ids that come and go) at any pace.
void Calibration(FuzzedDataProvider& in) {
    TapJudge judge;
    const int32_t width = in.ConsumeIntegralInRange<int32_t>(0, 8192);
    const int32_t height = in.ConsumeIntegralInRange<int32_t>(0, 8192);
    uint64_t now = 0;
    judge.Begin(now);
    for (int packet = 0; packet < 64 && in.remaining_bytes() > 0; ++packet) {
        now += in.ConsumeIntegralInRange<uint64_t>(0, 1000);
        std::vector<TapTouch> set(in.ConsumeIntegralInRange<size_t>(0, 3));
        for (TapTouch& t : set) {
            t.id = in.ConsumeIntegralInRange<int32_t>(0, 4);
            t.x = AnyFloat(in);
            t.y = AnyFloat(in);
        }
        judge.OnTouchSet(set, now);
        Check(judge.CurrentTarget() >= 0 && judge.CurrentTarget() <= kCalibTargetCount);
    }
    const CalibrationRecord record = judge.Record(width, height);
    Check(record.enabled == 0);
    const float value = AnyFloat(in);
    const uint16_t touch = CalibTouchValue(value);
    Check(touch <= kCalibScale);
    if (std::isnan(value) || value <= 0.0f) Check(touch == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QlnFuzz::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // The first byte picks the reply; the rest is what the service sent.
    switch (in.ConsumeIntegralInRange<int>(0, 6)) {
        case 0: DeviceList(in); break;
        case 1: DeviceChoice(in); break;
        case 2: ProductSeries(in); break;
        case 3: InformationTexts(in); break;
        case 4: Orientation(in); break;
        case 5: AdvancedSettings(in); break;
        default: Factory(in); Calibration(in); break;
    }
    return 0;
}
