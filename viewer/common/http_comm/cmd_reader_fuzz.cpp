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
    std::string body(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    switch (Data[0] % 3) {
        case 0:  // a plain reply, as from "localhost"
            LoadReply(body);
            break;
        case 1:  // a reply with a status, the rest being its results
            LoadReply("<root><status><value>1</value></status>" + body + "</root>");
            break;
        default:  // a gzip reply, as from any other host
            Guarded([&] { LoadReply(GzipDecompress(body)); });
            break;
    }
    return 0;
}
