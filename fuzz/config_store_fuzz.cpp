// The configuration store: arbitrary XML text and an arbitrary configuration file, then a sequence
// of reads, writes, counts and cursor moves with fuzzed keys, values and indexes, then the save at
// shutdown and a reload of what was saved.
//
// Files live in a private folder under /dev/shm (a tmpfs), so saving costs no disk I/O.
#include <fuzzer/FuzzedDataProvider.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzSupport.h"
#include "config/VexoConfigOnXML.h"
#include "config/VexoXmlDoc.h"

using namespace VexoSource;

namespace {

using QlnFuzz::Check;

std::string g_folder;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// Keys are mostly short; a few real names keep the sequences meaningful.
std::string TakeKey(FuzzedDataProvider& in) {
    static const char* const kKnown[] = {"Configuration:Version", "Configuration:Language", "Configuration", "Lang:EN:Apply",
                                         "a:b", "a"};
    if (in.ConsumeBool()) return kKnown[in.ConsumeIntegralInRange<size_t>(0, std::size(kKnown) - 1)];
    return in.ConsumeRandomLengthString(48);
}

int32_t TakeIndex(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.ConsumeIntegralInRange<int32_t>(-1, 3);
    return in.ConsumeIntegral<int32_t>();
}

// Any UTF-16 units, unpaired surrogates and zeros included.
std::u16string TakeWide(FuzzedDataProvider& in) {
    const std::string bytes = in.ConsumeRandomLengthString(2200);
    std::u16string wide;
    for (size_t k = 0; k + 1 < bytes.size(); k += 2)
        wide.push_back(char16_t(uint8_t(bytes[k]) | (uint16_t(uint8_t(bytes[k + 1])) << 8)));
    return wide;
}

void RunOperations(FuzzedDataProvider& in, VexoConfgBase& store) {
    for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange<int>(0, 8)) {
            case 0: {
                const VexoWString def(u"default");
                const std::string key = TakeKey(in);
                const VexoWString text = store.ReadText(key, def, TakeIndex(in));
                Check(text.str.size() <= VexoXmlDoc::kMaxValueUnits);
                Check(text.ignoreCase == def.ignoreCase);
                break;
            }
            case 1: {
                const std::string key = TakeKey(in);
                const int32_t def = in.ConsumeIntegral<int32_t>();
                store.ReadInt(key, def, TakeIndex(in));
                break;
            }
            case 2: {
                const std::string key = TakeKey(in);
                const double def = in.ConsumeFloatingPoint<double>();
                store.ReadFloat(key, def, TakeIndex(in));
                break;
            }
            case 3: {
                const std::string key = TakeKey(in);
                const std::u16string value = TakeWide(in);
                const int32_t index = in.ConsumeBool() ? 0 : TakeIndex(in);
                const int32_t written = store.WriteText(key, VexoWString(value), index);
                if (written >= 0 && index == 0) {
                    // A write that reports success reads back (cut at its first zero and at 1023 units).
                    std::u16string expected = value.substr(0, value.find(u'\0'));
                    if (expected.size() > VexoXmlDoc::kMaxValueUnits) expected.resize(VexoXmlDoc::kMaxValueUnits);
                    Check(store.ReadText(key, VexoWString(u"\x01missing"), 0).str == expected);
                }
                break;
            }
            case 4: {
                const std::string key = TakeKey(in);
                const int32_t value = in.ConsumeIntegral<int32_t>();
                store.WriteInt(key, value, TakeIndex(in));
                break;
            }
            case 5: {
                const std::string key = TakeKey(in);
                const double value = in.ConsumeFloatingPoint<double>();
                store.WriteFloat(key, value, TakeIndex(in));
                break;
            }
            case 6: Check(store.Count(TakeKey(in)) >= 0); break;
            case 7: {
                const std::string key = TakeKey(in);
                store.PushTag(key, TakeIndex(in));
                break;
            }
            default: Check(store.PopTag() >= 0); break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QlnFuzz::QuietLog();
    g_folder = QlnFuzz::ScratchFolder("qln-config-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string text = in.ConsumeRandomLengthString(4096);

    // Parsing text: a failure leaves the document as it was.
    {
        VexoXmlDoc doc;
        Check(doc.ParseText("<Configuration><Version>2.0.0.0</Version></Configuration>"));
        const bool parsed = doc.ParseText(text);
        Check(doc.PopTag() == 0);
        if (!parsed) Check(doc.ReadText("Configuration:Version", VexoWString(u""), 0).str == u"2.0.0.0");
    }

    // The same text as the configuration file the program starts with.
    const std::string path = g_folder + "/Configuration.xml";
    std::remove(path.c_str());
    if (in.ConsumeBool()) WriteFile(path, text);
    const std::string before = ReadFile(path);
    bool allowed;
    {
        VexoConfigOnXML store(path);
        allowed = store.SaveAllowed();
        RunOperations(in, store);
    }  // shutdown: the store writes itself back
    if (!allowed) {
        // A file the store could not read is the user's: it must be exactly as it was.
        Check(ReadFile(path) == before);
        return 0;
    }
    // What the store saved must load at the next start (or the next start runs on defaults and
    // keeps the file, i.e. every later change would be lost).
    VexoConfigOnXML reloaded(path);
    if (reloaded.Load() != 1 || !reloaded.SaveAllowed()) std::abort();
    return 0;
}
