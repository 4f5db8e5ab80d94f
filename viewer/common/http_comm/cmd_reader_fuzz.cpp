// Any reply body, plain or gzip, given to the command reader and to what the controller loads
// from it ends in a value or in one of the documented exceptions: never in a crash, a hang or
// another exception.
#include <cstddef>
#include <cstdint>
#include <string>

#include "http_comm/cmd_reader.h"
#include "http_comm/gzip.h"
#include "reports/report_item.h"
#include "rtl/exceptions.h"
#include "settings/common_settings.h"
#include "streaming/fuzz_document.h"
#include "streaming/stream_error.h"
#include "tree/file_oper_item.h"
#include "types/identified_name_dict.h"

namespace nimbrel {
namespace {

template <class Action>
void Guarded(Action&& Run) {
    try {
        Run();
    } catch (const EStreamError&) {
    } catch (const EXmlParseError&) {
    } catch (const EConvertError&) {
    } catch (const EListError&) {
    } catch (const ECompressionError&) {
    }
}

void LoadResults(TCMDReader& Reader) {
    Guarded([&] {
        TFileOperList list;
        list.LoadFromXML(Reader, "items");
    });
    Guarded([&] {
        TRemotableList<TCommonReportItem> list;
        list.LoadFromXML(Reader, "items");
    });
    Guarded([&] {
        TIdentifiedNameDict<std::uint32_t> names;
        names.LoadFromXML(Reader, "items");
    });
    Guarded([&] {
        TCommonSettings settings;
        TSavePoint point(Reader);
        Reader.SelectNode("item");
        settings.LoadFromXML(Reader);
    });
}

void LoadReply(const std::string& Body) {
    TMemoryStream stream(Body);
    TCMDReader reader(stream);
    Guarded([&] { reader.LoadFromStream(); });
    LoadResults(reader);
}

}  // namespace
}  // namespace nimbrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    using namespace nimbrel;
    VolatileMode = 1;
    if (Size == 0) {
        return 0;
    }
    const std::string raw(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    const std::string document = fuzzing::TokenDocument(Data + 1, Size - 1);
    switch (Data[0] % 4) {
        case 0:  // any bytes as a plain reply, as from "localhost"
            LoadReply(raw);
            break;
        case 1:  // any bytes as a gzip reply, as from every other host
            Guarded([&] { LoadReply(GzipDecompress(raw)); });
            break;
        case 2:  // a document of tokens, plain
            LoadReply(document);
            break;
        default:  // the same through gzip
            LoadReply(GzipDecompress(GzipCompress(document)));
            break;
    }
    return 0;
}
