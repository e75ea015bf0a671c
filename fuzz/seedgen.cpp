// Writes the seed corpora of the fuzz targets from the repository's fixtures: the recorded touch
// stream, the shipped data files, the simulated service's replies and profiles exported from it. Run by make-seeds.sh:
//   fuzz_seedgen <repository> <output folder>
// Each target's inputs are laid out as its entry reads them (FuzzedDataProvider takes integers
// and flags from the input's end, byte strings from its front).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "servicelink/ServiceContract.h"
#include "touchsim/DeviceModel.h"
#include "touchsim/RpcFrame.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& folder, const std::string& name, const Bytes& bytes) {
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes Of(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The mirror image of FuzzedDataProvider: front bytes in order, back values in consumption order.
class Provider {
public:
    void Raw(const Bytes& b) { front_.insert(front_.end(), b.begin(), b.end()); }
    void Raw(const std::string& s) { Raw(Of(s)); }
    // ConsumeRandomLengthString: a backslash is doubled; "\\" + any other character ends it.
    void String(const std::string& s) {
        for (char c : s) {
            front_.push_back(uint8_t(c));
            if (c == '\\') front_.push_back('\\');
        }
        front_.push_back('\\');
        front_.push_back('.');
    }
    // ConsumeIntegralInRange(min, max) taking value: as many bytes as the range needs, the most
    // significant one consumed first.
    void Integral(uint64_t value, uint64_t min, uint64_t max) {
        const uint64_t range = max - min;
        const uint64_t offset = value - min;
        std::vector<uint8_t> bytes;
        for (unsigned shift = 0; shift < 64 && (range >> shift) > 0; shift += 8) bytes.push_back(uint8_t(offset >> shift));
        for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) back_.push_back(*it);
    }
    void Bool(bool b) { back_.push_back(b ? 1 : 0); }
    void U32(uint32_t v) { Integral(v, 0, 0xFFFFFFFFu); }
    void I32(int32_t v) { Integral(uint64_t(uint32_t(v)) + 0x80000000u, 0, 0xFFFFFFFFu); }
    Bytes Finish() const {
        Bytes all = front_;
        all.insert(all.end(), back_.rbegin(), back_.rend());
        return all;
    }

private:
    Bytes front_, back_;
};

Bytes Reply(touchsim::DeviceModel& model, uint32_t code, uint32_t expected, const Bytes& payload = {}) {
    return touchsim::HandleCall(model, code, payload.data(), payload.size(), expected, true).reply;
}

// ---------------------------------------------------------------------------------------------
void TuioSeeds(const fs::path& repo, const fs::path& out) {
    const std::string stream = ReadAll(repo / "tests/data/tuio-stream-real.bin");
    std::vector<std::string> packets;  // each with its NUL
    size_t start = 0;
    for (size_t nul; (nul = stream.find('\0', start)) != std::string::npos; start = nul + 1)
        packets.push_back(stream.substr(start, nul + 1 - start));
    if (packets.size() < 60) {
        std::fprintf(stderr, "seedgen: the recorded stream has only %zu packets\n", packets.size());
        std::exit(1);
    }
    const fs::path folder = out / "tuio_stream_fuzz";
    auto seed = [&](const std::string& name, uint8_t chunkMinusOne, const std::string& bytes) {
        Bytes b{chunkMinusOne};
        b.insert(b.end(), bytes.begin(), bytes.end());
        Write(folder, name, b);
    };
    // Start-up packets (empty alive, other profiles), one packet per kind, whole and in pieces.
    for (size_t k = 0; k < 6; ++k) seed("startup-" + std::to_string(k), 255, packets[k]);
    const size_t picks[] = {3, 10, 40, 41, 80, 120, 160, 200, 240, packets.size() - 1};
    for (size_t k : picks) seed("packet-" + std::to_string(k), 255, packets[k]);
    for (uint8_t chunk : {0, 6, 31, 99}) {
        std::string run;
        for (size_t k = 38; k < 42; ++k) run += packets[k];
        seed("run-chunk" + std::to_string(chunk + 1), chunk, run);
    }
    // Several packets in one receive without their NULs, a cut packet, noise between packets.
    std::string joined = packets[40].substr(0, packets[40].size() - 1) + packets[41].substr(0, packets[41].size() - 1);
    seed("joined-no-nul", 255, joined);
    seed("cut-packet", 63, packets[40].substr(0, packets[40].size() / 2) + packets[41]);
    seed("noise-between", 127, "garbage\xff\x01" + packets[40] + "<OSC" + packets[41]);
    seed("end-only", 255, "</OSCPACKET>" + packets[42]);
}

// ---------------------------------------------------------------------------------------------
Bytes Frame(uint32_t kind, const Bytes& payload, const std::string& name = touchsim::kChannelName) {
    return touchsim::BuildFrame(name, kind, payload.data(), payload.size());
}

void RpcSeeds(const fs::path& out) {
    const fs::path folder = out / "rpc_receive_fuzz";
    auto seed = [&](const std::string& name, uint32_t expected, const std::vector<Bytes>& frames) {
        Bytes b(4);
        std::memcpy(b.data(), &expected, 4);
        for (const Bytes& f : frames) {
            const uint16_t n = uint16_t(f.size());
            b.push_back(uint8_t(n));
            b.push_back(uint8_t(n >> 8));
            b.insert(b.end(), f.begin(), f.end());
        }
        Write(folder, name, b);
    };
    using namespace VexoSource;
    touchsim::DeviceModel model;
    struct Request {
        const char* name;
        uint32_t code;
        uint32_t expected;
    };
    const Request requests[] = {
        {"device-list", GetDeviceList, kDeviceListReplyLength},
        {"access", GetAccessState, 1},
        {"reset", ResetDevice, 1},
        {"device-info", GetDeviceInfo, sizeof(DeviceInfoRecord)},
        {"runtime", GetRuntimeStatus, kRuntimeStatusLength},
        {"calibration", GetCalibration, sizeof(CalibrationRecord)},
        {"effects", GetEffects, sizeof(EffectsRecord)},
        {"device-config", GetDeviceConfig, sizeof(DeviceConfigRecord)},
        {"product-series", GetProductSeries, kProductSeriesLength},
    };
    for (const Request& r : requests) seed(r.name, r.expected, {Frame(touchsim::kKindReply, Reply(model, r.code, r.expected))});

    const Bytes effects = Reply(model, GetEffects, sizeof(EffectsRecord));
    seed("reply-too-long", 8, {Frame(touchsim::kKindReply, effects)});
    seed("empty-reply-none-expected", 0, {Frame(touchsim::kKindReply, {})});
    seed("empty-reply-one-expected", 1, {Frame(touchsim::kKindReply, {})});
    seed("huge-capacity", 0xFFFFFFFFu, {Frame(touchsim::kKindReply, Bytes(touchsim::kMaxFrameSize - touchsim::kFrameHeadSize, 0x41))});
    seed("short-then-reply", 1, {Bytes{'F', 'e', 'n'}, Frame(touchsim::kKindReply, {1})});
    seed("call-then-reply", 36, {Frame(touchsim::kKindCall, {4, 0, 9, 9}), Frame(touchsim::kKindReply, effects)});
    seed("call-too-long-answer", 1, {Frame(touchsim::kKindCall, {0xFF, 0x7F}), Frame(touchsim::kKindReply, {1})});
    seed("unknown-kind-then-late", 1,
         {Frame(7, {1, 2, 3}), Frame(touchsim::kKindReply, {1}), Frame(touchsim::kKindReply, effects)});
    seed("other-name", 1, {Frame(touchsim::kKindCall, {1}, "Other"), Frame(touchsim::kKindReply, {1}, "Other")});
}

// ---------------------------------------------------------------------------------------------
template <typename Record>
void RecordInto(Provider& p, const Record& r, size_t length = sizeof(Record)) {
    p.Integral(length, 0, sizeof(Record));
    Bytes b(sizeof r);
    std::memcpy(b.data(), &r, sizeof r);
    b.resize(length);
    p.Raw(b);
}

void ListInto(Provider& p, const Bytes& reply) {
    p.Integral(reply.size(), 0, VexoSource::kDeviceListReplyLength);
    p.Raw(reply);
}

void ReplySeeds(const fs::path& out) {
    using namespace VexoSource;
    const fs::path folder = out / "reply_decode_fuzz";
    touchsim::DeviceModel model;
    model.deviceIds = {"0102030405060708", "A1B2C3D4E5F60718"};
    const Bytes list = Reply(model, GetDeviceList, kDeviceListReplyLength);
    const std::string odd = std::string("01:02::0102030405060708:zz:") + '\0';

    auto build = [&](int which, auto fill) {
        Provider p;
        p.Integral(which, 0, 6);
        fill(p);
        return p.Finish();
    };
    Write(folder, "device-list", build(0, [&](Provider& p) { ListInto(p, list); }));
    Write(folder, "device-list-odd", build(0, [&](Provider& p) { ListInto(p, Of(odd)); }));
    Write(folder, "device-list-no-nul", build(0, [&](Provider& p) { ListInto(p, Of("0102030405060708")); }));
    Write(folder, "device-choice", build(1, [&](Provider& p) {
              ListInto(p, Of(std::string("0102030405060708:1111111111111111") + '\0'));
              ListInto(p, list);
              p.Integral(1, 0, 1);
          }));
    for (const char* series : {"Infrared:IR65:10", "camera", "::camera:x", ""}) {
        touchsim::DeviceModel m;
        m.seriesText = series;
        Write(folder, std::string("product-series-") + (*series ? series : "empty"), build(2, [&](Provider& p) {
                  const Bytes reply = Reply(m, GetProductSeries, kProductSeriesLength);
                  p.Integral(reply.size(), 0, kProductSeriesLength);
                  p.Raw(reply);
                  DeviceInfoRecord info;
                  const Bytes b = Reply(m, GetDeviceInfo, sizeof info);
                  std::memcpy(&info, b.data(), sizeof info);
                  RecordInto(p, info);
              }));
    }
    Write(folder, "information", build(3, [&](Provider& p) {
              const Bytes status = Reply(model, GetRuntimeStatus, kRuntimeStatusLength);
              p.Integral(status.size(), 0, kRuntimeStatusLength);
              p.Raw(status);
              DeviceInfoRecord info;
              const Bytes b = Reply(model, GetDeviceInfo, sizeof info);
              std::memcpy(&info, b.data(), sizeof info);
              RecordInto(p, info);
              RecordInto(p, info);
          }));
    for (uint32_t stored : {0u, 1u, 3u}) {
        Write(folder, "orientation-" + std::to_string(stored), build(4, [&](Provider& p) {
                  RecordInto(p, touchsim::DeviceModel::StoredItem(13, 28, stored));
                  p.U32(1);
              }));
    }
    Write(folder, "orientation-missing", build(4, [&](Provider& p) {
              MultiConfigRecord none{};
              none.itemId = 13;
              RecordInto(p, none);
              p.U32(0);
          }));
    Write(folder, "advanced", build(5, [&](Provider& p) {
              RecordInto(p, touchsim::DeviceModel::FactoryEffects());
              RecordInto(p, touchsim::DeviceModel::StoredItem(2, 1));
              p.Bool(true);
          }));
    Write(folder, "advanced-short", build(5, [&](Provider& p) {
              RecordInto(p, touchsim::DeviceModel::FactoryEffects(), 20);
              MultiConfigRecord none{};
              RecordInto(p, none, 12);
              p.Bool(true);
          }));
    Write(folder, "factory-calibration", build(6, [&](Provider& p) {
              RecordInto(p, touchsim::DeviceModel::FactoryDeviceConfig());
              p.Bool(false);
              RecordInto(p, touchsim::DeviceModel::FactoryEffects());
              RecordInto(p, touchsim::DeviceModel::FactoryCalibration());
              p.Integral(1920, 0, 8192);
              p.Integral(1080, 0, 8192);
          }));
}

// ---------------------------------------------------------------------------------------------
enum Op { ReadText, ReadInt, ReadFloat, WriteText, WriteInt, WriteFloat, Count, PushTag, PopTag };

// UTF-16LE bytes of a value, as the store target reads values.
std::string Wide(const std::u16string& text) {
    std::string bytes;
    for (char16_t u : text) {
        bytes.push_back(char(u & 0xFF));
        bytes.push_back(char(u >> 8));
    }
    return bytes;
}

// The store target's operations, each written in the order the target takes its fields.
struct Ops {
    Provider& p;
    void Known(size_t k) {
        p.Bool(true);
        p.Integral(k, 0, 5);
    }
    void Key(const std::string& k) {
        p.Bool(false);
        p.String(k);
    }
    void Index(int32_t i) {
        p.Bool(true);
        p.Integral(uint64_t(i + 1), 0, 4);
    }
    void Op(Op op) { p.Integral(op, 0, 8); }
};

void ConfigSeeds(const fs::path& repo, const fs::path& out) {
    const fs::path folder = out / "config_store_fuzz";
    const std::string shipped = ReadAll(repo / "Data/Configuration.xml");
    auto seed = [&](const std::string& name, const std::string& text, bool asFile, auto fill) {
        Provider p;
        p.String(text);
        p.Bool(asFile);
        Ops ops{p};
        fill(ops);
        Write(folder, name, p.Finish());
    };
    // The shipped file: read the version, switch the language and read it back, count, move the cursor.
    seed("shipped", shipped, true, [](Ops& o) {
        o.Op(ReadText), o.Known(0), o.Index(0);
        o.Op(ReadInt), o.Known(0), o.p.I32(0), o.Index(0);
        o.Op(WriteText), o.Known(1), o.p.String(Wide(u"Chinese")), o.p.Bool(true);
        o.Op(Count), o.Known(2);
        o.Op(PushTag), o.Known(2), o.Index(0);
        o.Op(ReadText), o.Key("Version"), o.Index(0);
        o.Op(WriteFloat), o.Key("Scale"), o.p.Bool(false), o.p.Integral(0, 0, 0xFFFFFFFFFFFFFFFFull), o.Index(0);
        o.Op(PopTag);
    });
    seed("missing-file", shipped, false, [](Ops& o) {
        o.Op(WriteText), o.Known(0), o.p.String(Wide(u"2.0.0.0")), o.p.Bool(true);
        o.Op(WriteInt), o.Key("Configuration:Count"), o.p.I32(-7), o.Index(-1);
    });
    seed("records", "<R><I>1</I><I>2</I><J/><I>3</I></R><R/>", true, [](Ops& o) {
        o.Op(Count), o.Key("R:I");
        o.Op(ReadInt), o.Key("R:I"), o.p.I32(0), o.Index(2);
        o.Op(WriteText), o.Key("R:I"), o.p.String(Wide(u"\u4e2d\u6587")), o.p.Bool(false), o.Index(1);
        o.Op(WriteText), o.Key("R:K"), o.p.String(Wide(u"x")), o.p.Bool(false), o.Index(-1);
    });
    seed("nested", "<A><B><!-- c --><X>1</X>old</B></A>", true, [](Ops& o) {
        o.Op(PushTag), o.Key("A"), o.Index(0);
        o.Op(PushTag), o.Key("B"), o.Index(0);
        o.Op(ReadFloat), o.Key("X"), o.p.Bool(false), o.p.Integral(0, 0, 0xFFFFFFFFFFFFFFFFull), o.Index(0);
        o.Op(PopTag), o.Op(PopTag), o.Op(PopTag);
    });
    seed("unreadable", "<Configuration><Version>2.0", true, [](Ops& o) {
        o.Op(WriteText), o.Known(1), o.p.String(Wide(u"English")), o.p.Bool(true);
    });
    seed("empty-file", "", true, [](Ops& o) { o.Op(ReadText), o.Known(1), o.Index(0); });
    seed("entities", "<?xml version=\"1.0\"?><A v=\"1\">&lt;&amp;&#x4e2d;\xF0\x9F\x98\x80</A>", true,
         [](Ops& o) { o.Op(ReadText), o.Key("A"), o.Index(0); });
}

// ---------------------------------------------------------------------------------------------
void LangSeeds(const fs::path& repo, const fs::path& out) {
    const fs::path folder = out / "lang_table_fuzz";
    const std::string shipped = ReadAll(repo / "Data/MultiLang.xml");
    auto seed = [&](const std::string& name, size_t language, const std::string& file,
                    const std::vector<std::string>& keys) {
        Provider p;
        p.Bool(true);
        p.Integral(language, 0, 5);
        p.String(file);
        for (const std::string& k : keys) {
            p.Bool(false);
            p.String(k);
        }
        Write(folder, name, p.Finish());
    };
    seed("shipped-english", 0, shipped, {"Apply", "Inches", "Device_Undetected", "Missing_Key"});
    seed("shipped-chinese", 1, shipped, {"Apply", "Running", "Hardware_Mode"});
    seed("shipped-lowercase", 2, shipped, {"Callibration"});
    seed("small", 0, "<Lang><EN><A>1.5</A><B>x</B></EN><CN><A>2</A></CN></Lang>", {"A", "B", "A:B", ""});
    seed("long-text", 0, "<Lang><EN><A>" + std::string(1100, 'x') + "</A></EN></Lang>", {"A"});
    seed("broken", 1, "<Lang><CN><A>1</A></CN>", {"A"});
}

// Profiles as qlncfg-cli exported them from the simulated service (fuzz/profiles/), each also cut
// short and with its device field damaged, so that refusals start from a real document too.
void ProfileSeeds(const fs::path& repo, const fs::path& out) {
    const fs::path folder = out / "profile_import_fuzz";
    for (const auto& entry : fs::directory_iterator(repo / "fuzz" / "profiles")) {
        const std::string text = ReadAll(entry.path());
        const std::string name = entry.path().stem().string();
        Write(folder, name, Of(text));
        Write(folder, name + "-cut", Of(text.substr(0, text.size() / 2)));
        std::string damaged = text;
        const size_t device = damaged.find("0102030405060708");
        if (device != std::string::npos) damaged.replace(device, 16, "\\u001b[2J0102");
        Write(folder, name + "-device", Of(damaged));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <repository> <output folder>\n", argv[0]);
        return 2;
    }
    const fs::path repo = argv[1];
    const fs::path out = argv[2];
    TuioSeeds(repo, out);
    RpcSeeds(out);
    ReplySeeds(out);
    ConfigSeeds(repo, out);
    LangSeeds(repo, out);
    ProfileSeeds(repo, out);
    return 0;
}
