// Any bytes given to the XML reader, and to the objects loading from it, end in a value or in
// one of the documented exceptions: never in a crash, a hang or another exception.
#include <cstddef>
#include <cstdint>
#include <string>

#include "logger/common_log_item.h"
#include "rtl/exceptions.h"
#include "settings/common_settings.h"
#include "streaming/fuzz_document.h"
#include "streaming/stream_error.h"
#include "streaming/xml_reader.h"
#include "tree/chronological_item.h"
#include "tree/file_tree_item.h"
#include "types/identified_name_dict.h"

namespace nimbrel {
namespace {

constexpr const char* kNames[] = {"id",  "kind", "operdata", "timestamp", "pastdate",   "value",
                                  "key", "item", "items",    "status",    "attributes", "name"};

template <class Action>
void Guarded(Action&& Run) {
    try {
        Run();
    } catch (const EStreamError&) {
    } catch (const EXmlParseError&) {
    } catch (const EConvertError&) {
    } catch (const EListError&) {
    }
}

void ReadEverything(TXMLReader& Reader, int Depth) {
    for (const char* name : kNames) {
        Guarded([&] { Reader.ReadInteger(name); });
        Guarded([&] { Reader.ReadUInt(name); });
        Guarded([&] { Reader.ReadInt64(name); });
        Guarded([&] { Reader.ReadUInt64(name); });
        Reader.ReadString(name);
        Reader.ReadFloat(name);
        Reader.ReadDate(name);
        Reader.ReadDateTime(name);
        Reader.ReadBool(name);
    }
    const int count = Reader.ItemCount();
    for (int i = 0; i < count && i < 8 && Depth < 4; ++i) {
        TSavePoint point(Reader);
        Reader.SelectNode(i);
        ReadEverything(Reader, Depth + 1);
    }
}

}  // namespace
}  // namespace nimbrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    using namespace nimbrel;
    VolatileMode = 1;
    if (Size == 0) {
        return 0;
    }
    // The first byte chooses: the rest as raw bytes, or as tokens of a document.
    const std::string bytes = Data[0] % 2 == 0
                                  ? std::string(reinterpret_cast<const char*>(Data) + 1, Size - 1)
                                  : fuzzing::TokenDocument(Data + 1, Size - 1);
    TMemoryStream stream(bytes);
    TXMLReader reader(stream);
    Guarded([&] { reader.LoadFromStream(); });
    ReadEverything(reader, 0);
    Guarded([&] {
        TFileOperList list;
        list.LoadFromXML(reader, "items");
    });
    Guarded([&] {
        TChronologicalList list;
        list.LoadFromXML(reader, "items");
    });
    Guarded([&] {
        TFileTreeList list;
        list.LoadFromXML(reader, "items");
    });
    Guarded([&] {
        TRemotableList<TCommonLogItem> list;
        list.LoadFromXML(reader, "items");
    });
    Guarded([&] {
        TIdentifiedNameDict<std::uint64_t> names;
        names.LoadFromXML(reader, "items");
    });
    Guarded([&] {
        TCommonSettings settings;
        TSavePoint point(reader);
        reader.SelectNode("item");
        settings.LoadFromXML(reader);
    });
    return 0;
}
