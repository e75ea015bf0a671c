#include "touchsim/DeviceModel.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace touchsim {

using namespace VexoSource;

namespace {

constexpr uint32_t kPenSimulationItem = 2;
constexpr uint32_t kItemLength = 40;
constexpr size_t kSeriesTextRoom = kProductSeriesLength - 4;

template <class T>
std::vector<uint8_t> Bytes(const T& record) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(p, p + sizeof(T));
}

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

// Copies a record out of a payload that may be short; false when it is.
template <class T>
bool ReadRecord(const uint8_t* payload, size_t length, T& out) {
    if (length < sizeof(T)) return false;
    std::memcpy(&out, payload, sizeof(T));
    return true;
}

std::string DeviceListText(const DeviceModel& model) {
    std::string text;
    for (size_t i = 0; i < model.deviceIds.size(); ++i) {
        if (i) text += ':';
        text += model.deviceIds[i];
    }
    return text;
}

std::string ShortPayload(size_t got, size_t need) {
    return Format("short payload (%zu of %zu bytes), not stored", got, need);
}

}  // namespace

DeviceRecords::DeviceRecords()
    : deviceConfig(DeviceModel::FactoryDeviceConfig()),
      effects(DeviceModel::FactoryEffects()),
      calibration(DeviceModel::FactoryCalibration()),
      calibrationInForce(calibration) {
    // Item 2 (pen simulation) is stored from the start; the orientation item 13 is not, so that
    // a client has to write one.
    multiConfig[kPenSimulationItem] = DeviceModel::StoredItem(kPenSimulationItem, 0);
}

uint32_t SelectorOf(const std::string& id) {
    uint32_t sum = 0;
    for (size_t k = 0; k + 1 < id.size(); k += 2) sum += uint32_t(std::strtoul(id.substr(k, 2).c_str(), nullptr, 16));
    return sum;
}

DeviceRecords& DeviceModel::RecordsFor(uint32_t selector) {
    if (selector != 0) {
        for (const std::string& id : deviceIds) {
            if (SelectorOf(id) != selector) continue;
            auto own = ownRecords.find(id);
            if (own != ownRecords.end()) return own->second;
            break;
        }
    }
    return *this;
}

const DeviceRecords& DeviceModel::StreamDevice() const {
    if (!deviceIds.empty()) {
        auto own = ownRecords.find(deviceIds.front());
        if (own != ownRecords.end()) return own->second;
    }
    return *this;
}

StreamPosition DeviceModel::ReportedAtDisplay(double u, double v) const {
    const StreamPosition raw = RawFromDisplay(mounting, u, v);
    return ReportedFromRaw(StreamDevice().calibrationInForce, raw.x, raw.y);
}

DeviceRecords& DeviceModel::OwnRecords(const std::string& id) {
    if (std::find(deviceIds.begin(), deviceIds.end(), id) == deviceIds.end()) deviceIds.push_back(id);
    auto own = ownRecords.find(id);
    if (own == ownRecords.end()) own = ownRecords.emplace(id, static_cast<const DeviceRecords&>(*this)).first;
    return own->second;
}

DeviceConfigRecord DeviceModel::FactoryDeviceConfig() {
    DeviceConfigRecord r;
    std::memset(&r, 0, sizeof r);
    r.byte0 = 1;
    r.bytes1to4[0] = 127;
    r.value7 = 3333;
    r.value11 = 3000;
    r.value15 = 1;
    r.value19 = 1;
    r.mouseMode = 0;
    r.multiTouchMode = 1;
    return r;
}

EffectsRecord DeviceModel::FactoryEffects() {
    EffectsRecord r;
    std::memset(&r, 0, sizeof r);
    r.reserved12 = 0.05f;
    r.rightClick = 1;
    r.msRClickDelay = 2000;
    r.msRDClickRange = 0.3f;
    r.msDClickDelay = 500;
    r.smoothValue = 1;
    return r;
}

CalibrationRecord DeviceModel::FactoryCalibration() {
    CalibrationRecord r;
    std::memset(&r, 0, sizeof r);
    return r;
}

MultiConfigRecord DeviceModel::StoredItem(uint32_t itemId, uint32_t firstWord, uint32_t secondWord) {
    MultiConfigRecord r;
    std::memset(&r, 0, sizeof r);
    r.itemId = itemId;
    r.length = kItemLength;
    r.mark = kMultiConfigMark;
    std::memcpy(r.data, &firstWord, 4);
    std::memcpy(r.data + 4, &secondWord, 4);
    return r;
}

const char* RequestName(uint32_t code) {
    switch (code) {
    case GetDeviceList: return "GetDeviceList";
    case GetAccessState: return "GetAccessState";
    case ResetDevice: return "ResetDevice";
    case GetDeviceInfo: return "GetDeviceInfo";
    case GetRuntimeStatus: return "GetRuntimeStatus";
    case SetRunMode: return "SetRunMode";
    case GetRunMode: return "GetRunMode";
    case SetCalibration: return "SetCalibration";
    case GetCalibration: return "GetCalibration";
    case SetEffects: return "SetEffects";
    case GetEffects: return "GetEffects";
    case SetDeviceConfig: return "SetDeviceConfig";
    case GetDeviceConfig: return "GetDeviceConfig";
    case GetMultiConfig: return "GetMultiConfig";
    case SetMultiConfig: return "SetMultiConfig";
    case GetProductSeries: return "GetProductSeries";
    default: return "Unknown";
    }
}

std::string DescribeDeviceConfig(const DeviceConfigRecord& r) {
    return Format("byte0=%u bytes1-4=%u,%u,%u,%u bytes5-6=%u,%u v7=%u v11=%u v15=%u v19=%u mouse=%u multitouch=%u",
                  r.byte0, r.bytes1to4[0], r.bytes1to4[1], r.bytes1to4[2], r.bytes1to4[3], r.bytes5to6[0],
                  r.bytes5to6[1], r.value7, r.value11, r.value15, r.value19, r.mouseMode, r.multiTouchMode);
}

std::string DescribeEffects(const EffectsRecord& r) {
    return Format("r0=%u r4=%g r8=%g r12=%g rightClick=%u rClickDelay=%u range=%g dClickDelay=%u smooth=%u",
                  r.reserved0, r.reserved4, r.reserved8, r.reserved12, r.rightClick, r.msRClickDelay,
                  r.msRDClickRange, r.msDClickDelay, r.smoothValue);
}

std::string DescribeCalibration(const CalibrationRecord& r) {
    auto point = [](const CalibrationPoint& p) {
        return Format("(%u,%u->%u,%u)", p.touchX, p.touchY, p.screenX, p.screenY);
    };
    return Format("enabled=%u tl=%s tr=%s bl=%s br=%s", r.enabled, point(r.topLeft).c_str(),
                  point(r.topRight).c_str(), point(r.bottomLeft).c_str(), point(r.bottomRight).c_str());
}

std::string DescribeMultiConfig(const MultiConfigRecord& r) {
    uint32_t w0, w1;
    std::memcpy(&w0, r.data, 4);
    std::memcpy(&w1, r.data + 4, 4);
    return Format("item=%u length=%u mark=0x%08X data0=%u data1=%u", r.itemId, r.length, r.mark, w0, w1);
}

CallOutcome HandleCall(DeviceModel& service, uint32_t code, const uint8_t* payload, size_t payloadLength,
                       uint32_t expectedLength, bool accessible, uint32_t selector) {
    DeviceRecords& model = service.RecordsFor(selector);
    CallOutcome out;
    std::vector<uint8_t>& reply = out.reply;
    const std::vector<uint8_t> ack{1};
    const std::vector<uint8_t> refused{0};

    switch (code) {
    case GetDeviceList: {
        std::string text = DeviceListText(service);
        reply.assign(text.begin(), text.end());
        reply.push_back(0);
        out.decoded = "ids=" + text;
        break;
    }
    case GetAccessState:
        reply = {static_cast<uint8_t>(accessible ? 1 : 0)};
        out.decoded = accessible ? "accessible" : "busy";
        break;
    case ResetDevice:
        ++service.resetCount;
        out.wasReset = true;
        model.calibrationInForce = model.calibration;
        reply = ack;
        out.decoded = Format("reset #%u", service.resetCount);
        break;
    case GetDeviceInfo: {
        DeviceInfoRecord info;
        std::memset(&info, 0, sizeof info);
        info.bytes[1] = model.versionByte;
        info.bytes[35] = model.inches;
        reply = Bytes(info);
        out.decoded = Format("version=%u inches=%u", model.versionByte, model.inches);
        break;
    }
    case GetRuntimeStatus:
        reply.assign(kRuntimeStatusLength, 0);
        reply[9] = model.touches;
        reply[15] = model.runMode;
        out.decoded = Format("touches=%u runMode=%u", model.touches, model.runMode);
        break;
    case GetRunMode:
        reply = {model.runMode};
        out.decoded = Format("runMode=%u", model.runMode);
        break;
    case SetRunMode:
        if (payloadLength >= 1 && (payload[0] == 2 || payload[0] == 3)) {
            model.runMode = payload[0];
            reply = ack;
            out.decoded = Format("runMode=%u", model.runMode);
        } else {
            reply = refused;
            out.decoded = payloadLength ? Format("runMode=%u refused", payload[0]) : ShortPayload(0, 1);
        }
        break;
    case GetCalibration:
        reply = Bytes(model.calibration);
        out.decoded = DescribeCalibration(model.calibration);
        break;
    case SetCalibration:
        if (ReadRecord(payload, payloadLength, model.calibration)) {
            reply = ack;
            out.decoded = DescribeCalibration(model.calibration);
        } else {
            reply = refused;
            out.decoded = ShortPayload(payloadLength, sizeof(CalibrationRecord));
        }
        break;
    case GetEffects:
        reply = Bytes(model.effects);
        out.decoded = DescribeEffects(model.effects);
        break;
    case SetEffects:
        if (ReadRecord(payload, payloadLength, model.effects)) {
            reply = ack;
            out.decoded = DescribeEffects(model.effects);
        } else {
            reply = refused;
            out.decoded = ShortPayload(payloadLength, sizeof(EffectsRecord));
        }
        break;
    case GetDeviceConfig:
        reply = Bytes(model.deviceConfig);
        out.decoded = DescribeDeviceConfig(model.deviceConfig);
        break;
    case SetDeviceConfig:
        if (ReadRecord(payload, payloadLength, model.deviceConfig)) {
            reply = ack;
            out.decoded = DescribeDeviceConfig(model.deviceConfig);
        } else {
            reply = refused;
            out.decoded = ShortPayload(payloadLength, sizeof(DeviceConfigRecord));
        }
        break;
    case GetMultiConfig: {
        MultiConfigRecord asked;
        if (!ReadRecord(payload, payloadLength, asked)) {
            // Without the record the item id is unknown: answer an empty record.
            std::memset(&asked, 0, sizeof asked);
            reply = Bytes(asked);
            out.decoded = ShortPayload(payloadLength, sizeof(MultiConfigRecord));
            break;
        }
        auto it = model.multiConfig.find(asked.itemId);
        if (it != model.multiConfig.end()) {
            reply = Bytes(it->second);
            out.decoded = DescribeMultiConfig(it->second);
        } else {
            // Not stored: the id comes back, everything else is zero (no mark).
            MultiConfigRecord empty;
            std::memset(&empty, 0, sizeof empty);
            empty.itemId = asked.itemId;
            reply = Bytes(empty);
            out.decoded = Format("item=%u not stored", asked.itemId);
        }
        break;
    }
    case SetMultiConfig: {
        MultiConfigRecord record;
        if (ReadRecord(payload, payloadLength, record)) {
            model.multiConfig[record.itemId] = record;
            reply = ack;
            out.decoded = DescribeMultiConfig(record);
        } else {
            reply = refused;
            out.decoded = ShortPayload(payloadLength, sizeof(MultiConfigRecord));
        }
        break;
    }
    case GetProductSeries: {
        reply.assign(kProductSeriesLength, 0);
        std::memcpy(reply.data(), &service.requiredConfigVersion, 4);
        // Keep a terminator inside the reply so a reader that wants one finds it.
        size_t n = std::min(service.seriesText.size(), kSeriesTextRoom - 1);
        std::memcpy(reply.data() + 4, service.seriesText.data(), n);
        out.decoded = Format("required=%u series=%s", service.requiredConfigVersion,
                             service.seriesText.substr(0, n).c_str());
        break;
    }
    default:
        // Codes this service does not know get one zero byte, so the caller is not left waiting.
        reply = refused;
        out.decoded = Format("unknown code %u", code);
        break;
    }

    if (reply.size() > expectedLength) reply.resize(expectedLength);
    return out;
}

}  // namespace touchsim
